// The remote-property cache on a fake client layer: every request the cycle sends is kept
// with its callback, and the test answers it as a device would. Time is the cache's own
// virtual tick; address binding is the real module with its clock held still.
#include "bacnet/cache/cache.h"
#include "bacnet/client/client_fixture.h"
#include "bacnet/codec/codec_acks.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <future>
#include <tuple>

using ::testing::ElementsAre;
using clienttest::encoded;

namespace {

constexpr uint32_t kDevice = 100;

struct Sent {
  uint8_t service = 0;
  std::vector<CacheReference> references;
  float written = 0;
  uint32_t priority = 0;
  ClientRequestCallback callback = nullptr;
  void* user_data = nullptr;
};

std::vector<Sent> g_sent;
bool g_refuse = false;
std::atomic<uint32_t> g_tick{0};  // the waiting helpers read it on their own threads
std::vector<std::string> g_log;
std::vector<std::tuple<uint32_t, uint32_t, int, float>> g_told;  // client, handle, error, REAL told

int keep(Sent s)
{
  g_sent.push_back(std::move(s));
  return g_refuse ? -1 : 0;
}

CacheReference reference_of(int32_t device, const BACnetObjectId& object, uint32_t property, int32_t index)
{
  return cache_reference(uint32_t(device), object.type, object.instance, property, index);
}

int fake_read(ClientRequestCallback callback, void* user_data, int32_t device, const ReadPropertyRequest* r)
{
  return keep({12, {reference_of(device, r->object, r->property, r->array_index)}, 0, 0, callback, user_data});
}

int fake_read_multiple(ClientRequestCallback callback, void* user_data, int32_t device,
                       const ReadPropertyMultipleRequest* r)
{
  Sent s{14, {}, 0, 0, callback, user_data};
  for (uint32_t i = 0; i < r->specifications.count; ++i) {
    const ReadAccessSpecification* spec = inline_list_get(&r->specifications, i);
    for (uint32_t j = 0; j < spec->references.count; ++j) {
      const BACnetPropertyReference* p = inline_list_get(&spec->references, j);
      s.references.push_back(reference_of(device, spec->object, p->property, p->array_index));
    }
  }
  return keep(std::move(s));
}

int fake_write(ClientRequestCallback callback, void* user_data, int32_t device, const WritePropertyRequest* r)
{
  return keep({15, {reference_of(device, r->object, r->property, r->array_index)},
               r->value.tag == TAG_REAL ? r->value.payload.real : -1.0f, r->priority, callback, user_data});
}

float real_of(const BACnetValue* v) { return v && v->tag == TAG_REAL ? v->payload.real : -1.0f; }

void on_event(const CacheReference*, const BACnetValue* value, int error, uint32_t client, uint32_t handle)
{
  g_told.emplace_back(client, handle, error, real_of(value));
}

// ---- Answers as a device gives them ----

ClientResult ack(uint8_t type, uint8_t service, std::vector<uint8_t> data = {})
{
  ClientResult r;
  r.present = true;
  r.type = type;
  r.service_choice = service;
  r.data = std::move(data);
  return r;
}
ClientResult reject(uint8_t reason) { return ack(kApduReject, 0, {reason}); }
ClientResult simple_ack(uint8_t service) { return ack(kApduSimpleAck, service); }
ClientResult no_answer() { return ClientResult{}; }

ClientResult read_ack(const CacheReference& reference, BACnetValue value)
{
  Owned<ReadPropertyAck, pdu_free_read_property_ack> a;
  a->object = reference.object;
  a->property = reference.property;
  a->array_index = reference.array_index;
  a->value = value;
  ClientResult r = ack(kApduComplexAck, SERVICE_READ_PROPERTY, encoded(pdu_encode_read_property_ack, *a));
  return r;
}

BACnetValue real(float f)
{
  BACnetValue v{};
  value_set_real(&f, &v);
  return v;
}

// A ReadPropertyMultiple answer: for each reference its REAL value, or an error when the
// value is negative.
ClientResult read_multiple_ack(const std::vector<CacheReference>& references, const std::vector<float>& values)
{
  Owned<ReadPropertyMultipleAck, pdu_free_read_property_multiple_ack> a;
  for (std::size_t i = 0; i < references.size(); ++i) {
    ReadAccessResult* object = inline_list_add(&a->results, nullptr);
    object->object = references[i].object;
    ReadAccessResultElement* e = inline_list_add(&object->results, nullptr);
    e->property = references[i].property;
    e->array_index = references[i].array_index;
    if (values[i] < 0) {
      e->choice = 1;
      e->error_class = 2;
      e->error_code = 32;
    } else {
      e->value = real(values[i]);
    }
  }
  ClientResult r = ack(kApduComplexAck, SERVICE_READ_PROPERTY_MULTIPLE,
                       encoded(pdu_encode_read_property_multiple_ack, *a));
  return r;
}

void answer(const Sent& s, const ClientResult& r)
{
  s.callback(s.user_data, r.present && (r.type == kApduSimpleAck || r.type == kApduComplexAck), BACnetAddress{}, r);
}

// The present value of an Analog Value of the device; `&av(n)` gives the pointer the cache takes.
struct Ref {
  CacheReference r;
  operator const CacheReference&() const { return r; }
  const CacheReference* operator&() const { return &r; }
};
Ref av(uint32_t instance, uint32_t device = kDevice) { return {cache_reference(device, 2, instance, 85)}; }

// The cached value: the get's result and the REAL it holds (-1 when none).
std::pair<int, float> get(const CacheReference& r)
{
  OwnedValue v;
  int rc = cache_get_value(&r, v.get());
  float f = real_of(v.get());
  return {rc, f};
}

CacheEntryView view(const CacheReference& r)
{
  CacheEntryView v;
  EXPECT_EQ(cache_inspect(&r, &v), 0);
  return v;
}

std::size_t count(const std::vector<Sent>& sent, uint8_t service)
{
  return std::size_t(std::count_if(sent.begin(), sent.end(), [&](const Sent& s) { return s.service == service; }));
}

class Cache : public ::testing::Test {
protected:
  void SetUp() override
  {
    os_set_clock(&clock);
    clock.set_wall(1700000000);
    address_binding_init(nullptr, 4711);
    bind(kDevice, false);
    g_sent.clear();
    g_told.clear();
    g_log.clear();
    g_refuse = false;
    g_tick = 5000;
    CacheSeams seams;
    seams.read_property = fake_read;
    seams.read_property_multiple = fake_read_multiple;
    seams.write_property = fake_write;
    seams.tick = [] { return g_tick.load(); };
    cache_set_seams(&seams);
    context.log = [](int level, const char* text) { g_log.push_back(std::to_string(level) + " " + text); };
    context.options[kCacheTraceOption] = 1;
    ASSERT_EQ(cache_init(&context, on_event), 0);
  }

  void TearDown() override
  {
    cache_destroy();
    cache_set_seams(nullptr);
    cache_set_list_limit(0);
    address_binding_clear();
    os_set_clock(nullptr);
  }

  // A device bound at an address, with or without ReadPropertyMultiple; probed unless `probe`.
  static void bind(uint32_t device, bool rpm, bool probe = false)
  {
    ASSERT_EQ(address_binding_add_from_i_am(int32_t(device), 5, clienttest::ip_address(uint8_t(device))), 0);
    if (probe)
      return;
    address_binding_set_device_flag(int32_t(device), kFlagSupportsRpm, rpm);
    address_binding_set_device_flag(int32_t(device), kFlagSegmentation, 0);
  }

  // One refresh cycle, a tick per pass from a second after the last one: what it sent. With
  // `respond`, the device answers each request in the pass that sent it.
  std::vector<Sent> cycle(const std::function<ClientResult(const Sent&)>& respond = nullptr)
  {
    std::vector<Sent> sent;
    auto pass = [&] {
      g_sent.clear();
      cache_execute();
      for (const Sent& s : g_sent) {
        sent.push_back(s);
        if (respond)
          answer(s, respond(s));
      }
    };
    g_tick += 101;
    pass();
    EXPECT_NE(cache_cycle_state(), 0) << "the cycle did not start";
    for (int i = 0; i < 100000 && cache_cycle_state() != 0; ++i) {
      ++g_tick;
      pass();
    }
    EXPECT_EQ(cache_cycle_state(), 0);
    return sent;
  }

  ManualClock clock;
  DriverContext context;
};

TEST_F(Cache, EntryGoesFromNeverReadToItsValueToNoAnswer)
{
  const std::pair<ClientResult, std::pair<int, float>> steps[] = {
      {read_ack(av(1), real(21.5f)), {0, 21.5f}},
      {no_answer(), {31, -1.0f}},  // the transaction ended without an answer
      {ack(kApduError, SERVICE_READ_PROPERTY, {0x91, 0x02, 0x91, 0x20}), {1, -1.0f}},  // an error of the device
  };
  std::pair<int, float> before(501, -1.0f);  // never read
  EXPECT_EQ(get(av(1)), before);
  for (const auto& [result, after] : steps) {
    std::vector<Sent> sent = cycle();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].service, 12);
    EXPECT_EQ(cache_key(sent[0].references[0]), "100|2|1|85|-1");
    EXPECT_EQ(get(av(1)), before);  // asked, not answered yet
    answer(sent[0], result);
    EXPECT_EQ(get(av(1)), before = after);
  }
  // An offline device is not asked; its entries go to no-answer at once.
  address_binding_set_device_flag(int32_t(kDevice), kFlagOnline, 0);
  EXPECT_TRUE(cycle().empty());
  EXPECT_EQ(get(av(1)), std::pair(31, -1.0f));
}

TEST_F(Cache, SubscribersAreToldOfChangesOnlyOnceAndNewOnesOfTheNextResult)
{
  uint32_t a = 0, b = 0, ha = 0, hb = 0;
  ASSERT_EQ(cache_register_client(&a), 0);
  ASSERT_EQ(cache_register_client(&b), 0);
  ASSERT_EQ(cache_add_property(&ha, &av(1), 60, a), 0);
  ASSERT_EQ(cache_add_property(&hb, &av(1), 60, b), 0);
  const std::tuple<ClientResult, std::size_t, const char*> steps[] = {
      {read_ack(av(1), real(20.0f)), 2, "the first result"},
      {read_ack(av(1), real(20.0f)), 0, "unchanged"},
      {read_ack(av(1), real(20.5f)), 2, "a new value"},
      {no_answer(), 2, "the status changes"},
      {no_answer(), 0, "still no answer"},
      {read_ack(av(1), real(20.5f)), 2, "valid again, same value"},
  };
  for (const auto& [result, told, why] : steps) {
    g_told.clear();
    std::vector<Sent> sent = cycle();
    ASSERT_EQ(sent.size(), 1u) << why;
    answer(sent[0], result);
    EXPECT_EQ(g_told.size(), told) << why;
  }
  EXPECT_THAT(g_told, ElementsAre(std::tuple(a, ha, 0, 20.5f), std::tuple(b, hb, 0, 20.5f)));

  // A new subscriber is told with the next result, unchanged as it is.
  uint32_t c = 0, hc = 0;
  ASSERT_EQ(cache_register_client(&c), 0);
  ASSERT_EQ(cache_add_property(&hc, &av(1), 0, c), 0);
  g_told.clear();
  answer(cycle().at(0), read_ack(av(1), real(20.5f)));
  EXPECT_THAT(g_told, ::testing::Contains(std::tuple(c, hc, 0, 20.5f)));
}

TEST_F(Cache, FortyFiveEntriesOfOneDeviceGoOutAsReadPropertyMultipleOf41And4)
{
  bind(kDevice, true);
  for (uint32_t i = 1; i <= 45; ++i)
    get(av(i));
  std::vector<Sent> sent = cycle();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ((std::tuple(sent[0].service, sent[0].references.size(), sent[0].references[0].object.instance)),
            std::tuple(uint8_t(14), std::size_t(41), 1u));
  EXPECT_EQ((std::tuple(sent[1].service, sent[1].references.size(), sent[1].references[3].object.instance)),
            std::tuple(uint8_t(14), std::size_t(4), 45u));

  std::vector<float> values(41, 7.0f);
  values[40] = -1;  // the device reports an error for the last one
  answer(sent[0], read_multiple_ack(sent[0].references, values));
  // The second answer holds only three of the four it was asked.
  std::vector<CacheReference> three(sent[1].references.begin(), sent[1].references.begin() + 3);
  answer(sent[1], read_multiple_ack(three, {8.0f, 8.0f, 8.0f}));
  EXPECT_EQ(get(av(1)), std::pair(0, 7.0f));
  EXPECT_EQ(get(av(41)), std::pair(1, -1.0f));
  EXPECT_EQ(get(av(44)), std::pair(0, 8.0f));
  EXPECT_EQ(get(av(45)), std::pair(1, -1.0f));
}

TEST_F(Cache, RejectOfReadPropertyMultipleAsUnrecognizedSwitchesTheDeviceToReadProperty)
{
  for (auto [reason, next_service] : {std::pair(9, 12), std::pair(2, 14)}) {
    bind(kDevice, true);
    get(av(1));
    std::vector<Sent> sent = cycle();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].service, 14);
    answer(sent[0], reject(uint8_t(reason)));
    EXPECT_EQ(get(av(1)).first, 1);
    sent = cycle();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].service, next_service) << reason;
    answer(sent[0], no_answer());
  }
}

TEST_F(Cache, ProbeAsksServicesAndSegmentationOnceAndLearnsReadPropertyMultiple)
{
  // The Device's services-supported as 40 bits, and its segmentation-supported: both.
  auto ack_of = [](uint32_t device, const std::string& property_and_value) {
    char object[16];
    std::snprintf(object, sizeof object, "0C 02 00 00 %02X ", device);
    return ack(kApduComplexAck, SERVICE_READ_PROPERTY, clienttest::hex(object + property_and_value));
  };
  const std::tuple<uint32_t, ClientResult, uint8_t, uint8_t> cases[] = {
      {201, ack_of(201, "19 61 3E 85 06 00 00 0B 00 00 00 3F"), 1, 14},  // 12, 14, 15: RP, RPM, WP
      {202, ack_of(202, "19 61 3E 85 06 00 00 09 80 00 00 3F"), 0, 12},  // 12, 15, 16: RP, WP, WPM
      {203, reject(9), 0, 12},
  };
  for (const auto& [device, answer_of_services, rpm, next_read] : cases) {
    bind(device, false, true);
    get(av(1, device));
    g_log.clear();
    std::vector<Sent> sent = cycle();
    ASSERT_EQ(sent.size(), 3u);
    const std::string object = std::to_string(device) + "|8|" + std::to_string(device);
    EXPECT_EQ(cache_key(sent[0].references[0]), object + "|97|-1");
    EXPECT_EQ(cache_key(sent[1].references[0]), object + "|107|-1");
    EXPECT_EQ(sent[2].service, 12);  // not probed when the reads were made
    EXPECT_THAT(g_log, ElementsAre("18 cache_read_services_supported", "18 cache_read_segmentation_supported",
                                   "18 cache_read_property"));
    answer(sent[0], answer_of_services);
    answer(sent[1], ack_of(device, "19 6B 3E 91 03 3F"));
    answer(sent[2], read_ack(av(1, device), real(1.0f)));
    DeviceBinding d;
    ASSERT_EQ(address_binding_get_device(int32_t(device), &d), 0);
    EXPECT_EQ((std::tuple(d.services_probed, d.supports_rpm, d.segmentation_probed, d.segmentation)),
              std::tuple(uint8_t(1), rpm, uint8_t(1), 3u));
    sent = cycle();
    ASSERT_EQ(sent.size(), 1u);  // probed devices are not asked again
    EXPECT_EQ(sent[0].service, next_read);
    answer(sent[0], no_answer());
    cache_destroy();
    ASSERT_EQ(cache_init(&context, on_event), 0);
  }
}

TEST_F(Cache, UnsubscribedEntriesGoFifteenMinutesAfterTheirLastAccess)
{
  uint32_t client = 0, handle = 0;
  cache_register_client(&client);
  get(av(1));
  get(av(2));
  ASSERT_EQ(cache_add_property(&handle, &av(3), 60, client), 0);
  g_tick += kCacheIdleTicks - 200;
  get(av(2));  // touched: its fifteen minutes start again
  g_tick += 200;
  cycle();
  CacheEntryView v;
  EXPECT_EQ(cache_inspect(&av(1), &v), -1);
  EXPECT_EQ(cache_inspect(&av(2), &v), 0);
  EXPECT_EQ(cache_inspect(&av(3), &v), 0);  // a subscriber keeps it however long
  EXPECT_EQ(cache_entry_count(), 2u);
  EXPECT_EQ(get(av(1)), std::pair(501, -1.0f));  // made again, never read
}

TEST_F(Cache, HandlesAndClientsLiveUntilRemoved)
{
  uint32_t a = 0, b = 0, h1 = 0, h2 = 0, h3 = 0;
  ASSERT_EQ(cache_register_client(&a), 0);
  ASSERT_EQ(cache_register_client(&b), 0);
  EXPECT_NE(a, b);
  ASSERT_EQ(cache_add_property(&h1, &av(1), 60, a), 0);
  ASSERT_EQ(cache_add_property(&h2, &av(2), 60, a), 0);
  ASSERT_EQ(cache_add_property(&h3, &av(1), 60, b), 0);
  EXPECT_NE(h1, h2);
  EXPECT_EQ(view(av(1)).subscribers, 2u);

  EXPECT_EQ(cache_remove_handle(a, h2), 0);
  EXPECT_EQ(cache_remove_handle(a, h2), -1);
  EXPECT_EQ(view(av(2)).subscribers, 0u);
  OwnedValue v;
  CacheReadResult r;
  EXPECT_EQ(cache_read_by_handle(a, h2, 1, v.get(), &r), -1);

  // The caller's own handle id; binding it again moves it to the new reference.
  ASSERT_EQ(cache_add_property_default(&av(5), a, 77), 0);
  ASSERT_EQ(cache_add_property_default(&av(6), a, 77), 0);
  EXPECT_EQ(view(av(5)).subscribers, 0u);
  EXPECT_EQ(view(av(6)).subscribers, 1u);

  EXPECT_EQ(cache_unregister_client(a), 0);
  EXPECT_EQ(cache_unregister_client(a), -1);
  EXPECT_EQ(view(av(1)).subscribers, 1u);  // b's stays
  EXPECT_EQ(view(av(6)).subscribers, 0u);
  EXPECT_EQ(cache_read_by_handle(a, h1, 1, v.get(), &r), -1);
  EXPECT_EQ(cache_read_by_handle(b, h3, 1, v.get(), &r), 0);
  EXPECT_EQ((std::tuple(r.result, r.error_class, r.error_code)), std::tuple(501, 5u, 500u));
}

TEST_F(Cache, WriteGoesOutOnceANewOneNextCycleAndItsAnswerIsTheWriteStatus)
{
  OwnedValue first(real(19.5f));
  OwnedValue second(real(2.0f));
  EXPECT_EQ(cache_set_value(&av(1), first.get(), 8), 0);
  g_log.clear();
  std::vector<Sent> sent = cycle();
  ASSERT_EQ(sent.size(), 2u);  // the read of the new entry, then the write
  EXPECT_EQ((std::tuple(sent[1].service, sent[1].written, sent[1].priority)), std::tuple(uint8_t(15), 19.5f, 8u));
  EXPECT_THAT(g_log, ElementsAre("18 cache_read_property", "18 cache_write_property Device=100 Object=2 Instance=1"));
  // Requested while the first is under way: it goes out with the next cycle.
  EXPECT_EQ(cache_set_value(&av(1), second.get(), 0), 0);
  answer(sent[1], simple_ack(SERVICE_WRITE_PROPERTY));
  answer(sent[0], no_answer());
  EXPECT_EQ(cache_get_write_status(&av(1)), 0);

  sent = cycle();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ((std::tuple(sent[1].service, sent[1].written, sent[1].priority)), std::tuple(uint8_t(15), 2.0f, 0u));
  answer(sent[0], no_answer());
  answer(sent[1], ack(kApduError, SERVICE_WRITE_PROPERTY, {0x91, 0x02, 0x91, 0x28}));
  EXPECT_EQ(cache_get_write_status(&av(1)), 1);
  sent = cycle();
  ASSERT_EQ(sent.size(), 1u);  // only the read: nothing more to write
  EXPECT_EQ(sent[0].service, 12);
}

TEST_F(Cache, WritesToAnOfflineDeviceOrRefusedByTheClientLayerAreDropped)
{
  OwnedValue v(real(1.0f));
  cache_set_value(&av(1), v.get(), 0);
  g_refuse = true;
  EXPECT_EQ(cycle().size(), 2u);
  g_refuse = false;
  // The refused read counts as unanswered: it waits for the retry rule; the write is gone.
  EXPECT_TRUE(cycle().empty());
  g_tick += kCacheRereadTicks;
  std::vector<Sent> sent = cycle();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].service, 12);
  answer(sent[0], no_answer());

  cache_set_value(&av(2), v.get(), 0);
  address_binding_set_device_flag(int32_t(kDevice), kFlagOnline, 0);
  EXPECT_TRUE(cycle().empty());
  address_binding_set_device_flag(int32_t(kDevice), kFlagOnline, 1);
  sent = cycle();
  EXPECT_EQ(sent.size(), 2u);  // both reads, but not the dropped write
  EXPECT_EQ(count(sent, 15), 0u);
}

TEST_F(Cache, WaitingReadAndWriteEndWithTheNextResultOrWhenTheCacheGoes)
{
  uint32_t client = 0, handle = 0;
  cache_register_client(&client);
  cache_add_property(&handle, &av(1), 60, client);
  auto waiting_read = [&] {
    return std::async(std::launch::async, [&] {
      OwnedValue v;
      CacheReadResult r;
      int rc = cache_read_by_handle(client, handle, 0, v.get(), &r);
      float f = real_of(v.get());
      return std::tuple(rc, r.result, f);
    });
  };
  auto until = [](auto ready) {
    for (int i = 0; i < 5000 && !ready(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  // The helper's own get stamps the access: from then on it waits for a result after it.
  g_tick += 7;
  auto read = waiting_read();
  until([] { return view(av(1)).last_access == g_tick; });
  std::vector<Sent> sent = cycle();
  EXPECT_EQ(read.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  answer(sent[0], read_ack(av(1), real(4.5f)));
  EXPECT_EQ(read.get(), std::tuple(0, 0, 4.5f));

  // A waiting write stores its value before the first cycle collects it, goes out once and
  // ends with the answer.
  OwnedValue v(real(6.0f));
  auto write = std::async(std::launch::async, [&] { return cache_write_by_handle(client, handle, 0, v.get(), 10); });
  until([] { return view(av(1)).write_requested != 0; });
  sent = cycle();
  ASSERT_EQ(count(sent, 15), 1u);
  EXPECT_EQ(write.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  for (const Sent& s : sent)
    answer(s, s.service == 15 ? simple_ack(SERVICE_WRITE_PROPERTY) : no_answer());
  EXPECT_EQ(write.get(), 0);
  EXPECT_EQ(count(cycle(), 15), 0u);  // no second write

  read = waiting_read();
  EXPECT_EQ(read.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  cache_destroy();
  EXPECT_EQ(std::get<0>(read.get()), -1);
}

TEST_F(Cache, ListThatCannotGrowKeepsItsContentsAndLosesNoWrite)
{
  cache_set_list_limit(100);
  OwnedValue v(real(1.0f));
  for (uint32_t i = 1; i <= 150; ++i)
    cache_set_value(&av(i), v.get(), 0);
  auto device = [](const Sent& s) { return s.service == 15 ? simple_ack(15) : read_ack(s.references[0], real(0.5f)); };
  std::vector<Sent> sent = cycle(device);
  EXPECT_EQ(count(sent, 12), 100u);
  EXPECT_EQ(count(sent, 15), 100u);
  EXPECT_EQ(count(cycle(device), 15), 50u);
}

TEST_F(Cache, ReadsOfASlowDeviceWaitForATransactionAndLeaveTheOthersTheirShare)
{
  // The client transactions as the application layer has them: those other callers hold,
  // and the cache's requests not answered yet. A request that finds none free would end at
  // once without an answer.
  static std::size_t others = 0;
  static std::vector<Sent> open;
  CacheSeams seams;
  seams.read_property = fake_read;
  seams.tick = [] { return g_tick.load(); };
  seams.free_transactions = [] { return kTransactionTableSize - others - open.size(); };
  cache_set_seams(&seams);
  // (transactions other callers hold, the most requests of the cache in flight)
  for (auto [held, most] : {std::pair<std::size_t, std::size_t>(0, kCacheRequestsInFlight), {100, 28}}) {
    ASSERT_EQ(cache_init(&context, on_event), 0);
    others = held;
    open.clear();
    for (uint32_t i = 1; i <= 300; ++i)
      get(av(i));
    std::size_t dropped = 0, in_flight = 0, answered = 0;
    g_tick += 101;
    // The device answers one request every third pass, in the order they came.
    for (int pass = 0; pass < 3000 && answered < 300; ++pass) {
      g_sent.clear();
      ++g_tick;
      cache_execute();
      for (const Sent& s : g_sent) {
        if (open.size() + others < kTransactionTableSize) {
          open.push_back(s);
        } else {
          ++dropped;
          answer(s, no_answer());
        }
      }
      in_flight = std::max(in_flight, open.size());
      if (pass % 3 == 0 && !open.empty()) {
        Sent first = open.front();
        open.erase(open.begin());
        answer(first, read_ack(first.references[0], real(float(first.references[0].object.instance))));
        ++answered;
      }
    }
    EXPECT_EQ(answered, 300u) << held;
    EXPECT_EQ(dropped, 0u) << held;
    EXPECT_EQ(in_flight, most) << held;
    for (uint32_t i = 1; i <= 300; ++i)
      ASSERT_EQ(get(av(i)), std::pair(0, float(i))) << held << " " << i;
  }
}

TEST_F(Cache, NoMoreThan10001EntriesExist)
{
  for (uint32_t i = 0; i < kCacheEntryLimit; ++i)
    ASSERT_EQ(get(av(i)).first, 501);
  OwnedValue v(real(1.0f));
  EXPECT_EQ(get(av(20000)).first, 19);
  EXPECT_EQ(cache_set_value(&av(20000), v.get(), 0), 21);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(cache_get_write_status(&av(20000)), 18);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "100 2 20000 85 -1 not found \n");
  uint32_t client = 0, handle = 0;
  cache_register_client(&client);
  EXPECT_EQ(cache_add_property(&handle, &av(20000), 0, client), -1);
  EXPECT_EQ(cache_entry_count(), kCacheEntryLimit);
}

}  // namespace
