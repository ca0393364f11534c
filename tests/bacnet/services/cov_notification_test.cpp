#include "server_fixture.h"

#include "bacnet/cache/cache.h"
#include "bacnet/services/cov_notification_services.h"
#include "bacnet/value/owned.h"

#include <gmock/gmock.h>

using namespace servertest;
using ::testing::ElementsAre;

namespace {

// Device 1234 tells the Analog Value 1: present-value REAL 22.5, reliability ENUMERATED 0 and
// object-name "T1" (process 1, 60 s left).
const std::string kNotification =
    "09 01 1C 02 00 04 D2 2C 00 80 00 01 39 3C 4E"
    " 09 55 2E 44 41 B4 00 00 2F"
    " 09 67 2E 91 00 2F"
    " 09 4D 2E 73 00 54 31 2F 4F";

std::vector<std::string> g_log;
std::vector<std::pair<int, uint32_t>> g_hooked;  // slot, initiating device

template <int kSlot>
int hook(const void* r)
{
  g_hooked.emplace_back(kSlot, static_cast<const CovNotificationRequest*>(r)->device.instance);
  return 0;
}

CacheReference told(uint32_t property) { return cache_reference(1234, 2, 1, property); }

std::string cached(uint32_t property)
{
  OwnedValue v;
  CacheReference r = told(property);
  int rc = cache_get_value(&r, v.get());
  std::string out = std::to_string(rc);
  if (v->tag == TAG_REAL)
    out += " " + std::to_string(v->payload.real);
  else if (v->tag == TAG_ENUMERATED)
    out += " " + std::to_string(v->payload.enumerated);
  else if (v->tag == TAG_CHARACTER_STRING)
    out += std::string(" ") + (v->payload.text ? v->payload.text : "");
  return out;
}

class CovNotifications : public Server {
protected:
  void SetUp() override
  {
    Server::SetUp();
    g_log.clear();
    g_hooked.clear();
    context.log = [](int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); };
    context.options[kServicesTraceOption] = 1;
    hooks.slots[2] = hook<2>;
    hooks.slots[10] = hook<10>;
    services_init(&context, &hooks);
    ASSERT_EQ(cache_init(nullptr, nullptr), 0);
    // Only properties someone asked for are kept.
    for (uint32_t property : {85u, 103u, 77u})
      EXPECT_EQ(cached(property), "501");
  }

  void TearDown() override
  {
    cache_destroy();
    Server::TearDown();
  }

  DriverContext context;
  ServiceHooks hooks;
};

TEST_F(CovNotifications, UnconfirmedNotificationStoresEveryValueAndTracesEachOnPortZero)
{
  receive("10 02 " + kNotification, peer);
  EXPECT_EQ(cached(85), "0 22.500000");
  EXPECT_EQ(cached(103), "0 0");
  EXPECT_EQ(cached(77), "0 T1");
  EXPECT_THAT(g_log, ElementsAre("4 unconfirmedCOVNotification Device: 1234 ObjectTyp: 2 Instance 1 Property 85 Value: "
                                 "22.500000",
                                 "4 unconfirmedCOVNotification Device: 1234 ObjectTyp: 2 Instance 1 Property 103 Value: 0",
                                 "4 unconfirmedCOVNotification Device: 1234 ObjectTyp: 2 Instance 1 Property 77 Unused "
                                 "Datatype"));
  EXPECT_THAT(g_hooked, ElementsAre(std::pair(2, 1234u)));
  EXPECT_TRUE(take().empty());  // nothing is answered
  // A value nobody asked for makes no entry.
  EXPECT_EQ(cache_entry_count(), 3u);
}

TEST_F(CovNotifications, ConfirmedNotificationStoresTheValuesAndIsAcknowledged)
{
  EXPECT_EQ(ask(1, kNotification), answer("20", "01"));
  EXPECT_EQ(cached(77), "0 T1");
  EXPECT_THAT(g_hooked, ElementsAre(std::pair(10, 1234u)));
  EXPECT_TRUE(g_log.empty());  // the confirmed one has no trace lines

  // A notification that does not decode (the list is not closed) changes nothing.
  EXPECT_EQ(ask(1, kNotification.substr(0, kNotification.size() - 3)), answer("50", "01 91 01 91 FF"));
  EXPECT_EQ(g_hooked.size(), 1u);
}

TEST_F(CovNotifications, ListOfValuesWithoutElementsStoresNothing)
{
  CovNotificationRequest n;
  n.device = {8, 1234};
  n.object = {2, 1};
  n.values.tag = TAG_PROPERTY_VALUE_LIST;  // a list without its element storage
  EXPECT_EQ(services_cov_notification_to_cache(n, nullptr), -1);
  n.values = BACnetValue{};  // none at all: nothing to store, nothing wrong
  EXPECT_EQ(services_cov_notification_to_cache(n, nullptr), 0);
  EXPECT_EQ(cached(85), "501");
}

}  // namespace
