#include "bacnet/services/unconfirmed_services.h"

#include "bacnet/client/client_request.h"

#include "bacnet/codec/codec_alarm_services.h"
#include "bacnet/codec/codec_device_services.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/network/network_main.h"
#include "bacnet/objects/object_summaries.h"
#include "bacnet/services/cov_notification_services.h"
#include "bacnet/services/service_answers.h"
#include "bacnet/services/service_dispatch.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

enum HookSlot : std::size_t {
  kHookIAm = 0,
  kHookIHave = 1,
  kHookUnconfirmedEventNotification = 3,
  kHookUnconfirmedPrivateTransfer = 4,
  kHookUnconfirmedTextMessage = 5,
  kHookTimeSynchronization = 6,
  kHookWhoHas = 7,
  kHookWhoIs = 8,
  kHookUtcTimeSynchronization = 9,
};

constexpr uint8_t kAnyField = 255;
constexpr int kLastYear = 2036 - 1900;

// Port 0 only, like the hooks: the first port is the one the host program listens on.
void trace(uint8_t port_index, const char* text)
{
  if (DriverLogFunction log = services_trace(); log && port_index == 0)
    log(kServicesLogLevel, text);
}

bool same_address(const BACnetAddress& a, const BACnetAddress& b)
{
  return a.network == b.network && a.mac_len == b.mac_len && std::memcmp(a.mac, b.mac, std::min<uint8_t>(a.mac_len, 6)) == 0;
}

bool leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month)
{
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap(year) ? 29 : kDays[month - 1];
}

int time_synchronization(uint8_t port_index, const ServiceRequest& request, std::size_t hook, bool utc)
{
  BACnetDateTime time{};
  pdu_buffer buffer = services_request_view(request);
  if (!services_decoded(pdu_decode_datetime(&buffer, &time), buffer))
    return -1;
  services_call_hook(hook, port_index, &time);
  BACnetDateTime checked{};
  if (!services_clock_time_valid(time, &checked))
    return -1;
  if (auto set_clock = services_seams().set_clock)
    set_clock(checked, utc);
  return 0;
}

// Services that only go to the host: decoded into their record, handed to the hook of their
// slot (port 0), released.
template <class Record, int (*Decode)(pdu_buffer*, Record*), void (*Free)(Record*)>
int to_hook(uint8_t port_index, const ServiceRequest& request, std::size_t hook)
{
  Owned<Record, Free> record;
  pdu_buffer buffer = services_request_view(request);
  bool ok = services_decoded(Decode(&buffer, record.get()), buffer);
  if (ok)
    services_call_hook(hook, port_index, record.get());
  return ok ? 0 : -1;
}

}  // namespace

int services_i_am(uint8_t port_index, bool snet_present, const BACnetAddress& routed_source, const ServiceRequest& request)
{
  IAmRequest iam;
  pdu_buffer buffer = services_request_view(request);
  if (!services_decoded(pdu_decode_iam_request(&buffer, &iam), buffer) || iam.device.type != OBJECT_DEVICE)
    return -1;
  services_call_hook(kHookIAm, port_index, &iam);
  char text[64];
  std::snprintf(text, sizeof text, "Iam recieved from device %u", iam.device.instance);
  trace(port_index, text);
  address_binding_note_i_am();

  BACnetAddress own{};
  if (network_get_port(port_index, &own) != 0)
    return -1;
  // The device's own broadcast heard back: it must never bind itself.
  if (same_address(request.source, own))
    return -1;
  const BACnetAddress& sender = snet_present ? routed_source : request.source;
  address_binding_add_from_i_am(int32_t(iam.device.instance), services_max_apdu_code(iam.max_apdu), sender);
  client_send_bound_parked();
  return 0;
}

int services_i_have(uint8_t port_index, bool, const BACnetAddress&, const ServiceRequest& request)
{
  IHaveRequest ihave;
  pdu_buffer buffer = services_request_view(request);
  if (!services_decoded(pdu_decode_ihave_request(&buffer, &ihave), buffer))
    return -1;
  services_call_hook(kHookIHave, port_index, &ihave);
  return 0;
}

int services_unconfirmed_cov_notification(uint8_t port_index, bool, const BACnetAddress&, const ServiceRequest& request)
{
  return services_unconfirmed_cov_notification_received(port_index, request);
}

int services_unconfirmed_event_notification(uint8_t port_index, bool, const BACnetAddress&,
                                            const ServiceRequest& request)
{
  return to_hook<EventNotificationRequest, pdu_decode_event_notification_request, pdu_free_event_notification_request>(
      port_index, request, kHookUnconfirmedEventNotification);
}

int services_unconfirmed_private_transfer(uint8_t port_index, bool, const BACnetAddress&,
                                          const ServiceRequest& request)
{
  return to_hook<PrivateTransferRequest, pdu_decode_private_transfer, pdu_free_private_transfer>(
      port_index, request, kHookUnconfirmedPrivateTransfer);
}

int services_unconfirmed_text_message(uint8_t port_index, bool, const BACnetAddress&,
                                      const ServiceRequest& request)
{
  return to_hook<TextMessageRequest, pdu_decode_text_message_request, pdu_free_text_message_request>(
      port_index, request, kHookUnconfirmedTextMessage);
}

int services_time_synchronization(uint8_t port_index, bool, const BACnetAddress&, const ServiceRequest& request)
{
  return time_synchronization(port_index, request, kHookTimeSynchronization, false);
}

int services_utc_time_synchronization(uint8_t port_index, bool, const BACnetAddress&, const ServiceRequest& request)
{
  return time_synchronization(port_index, request, kHookUtcTimeSynchronization, true);
}

int services_who_has(uint8_t port_index, bool, const BACnetAddress&, const ServiceRequest& request)
{
  WhoHasRequest whohas;
  pdu_buffer buffer = services_request_view(request);
  if (!services_decoded(pdu_decode_who_has_request(&buffer, &whohas), buffer) || whohas.choice < 0)
    return -1;
  services_call_hook(kHookWhoHas, port_index, &whohas);
  auto who_has = services_seams().who_has;
  if (!who_has)
    return 0;
  std::vector<IHaveMatch> matches;
  who_has(whohas, services_access_origin(request), &matches);
  for (const IHaveMatch& match : matches)
    address_binding_send_i_have(port_index, match);
  return 0;
}

int services_who_is(uint8_t port_index, bool, const BACnetAddress&, const ServiceRequest& request)
{
  WhoIsRequest whois;
  pdu_buffer buffer = services_request_view(request);
  if (!services_decoded(pdu_decode_who_is_request(&buffer, &whois), buffer))
    return -1;
  services_call_hook(kHookWhoIs, port_index, &whois);
  address_binding_send_i_am(port_index, whois.low_limit, whois.high_limit);
  return 0;
}

bool services_clock_time_valid(const BACnetDateTime& time, BACnetDateTime* out)
{
  const BACnetDate& d = time.date;
  const BACnetTime& t = time.time;
  if (d.year > kLastYear || d.month < 1 || d.month > 12)
    return false;
  if (d.day < 1 || d.day > days_in_month(1900 + d.year, d.month))
    return false;
  if (t.hour > 23 || t.minute > 59 || t.second > 59)
    return false;
  uint8_t hundredths = t.hundredths == kAnyField ? 0 : t.hundredths;
  if (hundredths > 99)
    return false;
  if (out) {
    *out = time;
    out->time.hundredths = hundredths;
  }
  return true;
}

int services_object_table_who_has(const WhoHasRequest& request, int32_t network, std::vector<IHaveMatch>* matches)
{
  if (!matches)
    return -1;
  OwnedValue name;
  if (request.choice == WHO_HAS_BY_NAME)
    value_set_charstring(request.object_name.c_str(), name.get());
  // A Who-Has comes to the station a port shares with the devices set up on its network.
  SummaryStation station{network, uint32_t(address_binding_get_local_instance(nullptr))};
  std::vector<WhoHasMatch> found;
  int rc = objtable_who_has(request.low_limit, request.high_limit, uint32_t(request.choice), &request.object,
                            name.get(), found, &station);
  for (WhoHasMatch& m : found)
    matches->push_back({m.owner, m.object, std::move(m.name)});
  return rc;
}

int services_system_clock_setter(const BACnetDateTime& time, bool utc)
{
  std::tm broken{};
  broken.tm_year = time.date.year;
  broken.tm_mon = time.date.month - 1;
  broken.tm_mday = time.date.day;
  broken.tm_hour = time.time.hour;
  broken.tm_min = time.time.minute;
  broken.tm_sec = time.time.second;
  broken.tm_isdst = -1;
  std::time_t seconds = utc ? timegm(&broken) : std::mktime(&broken);
  if (seconds == std::time_t(-1))
    return -1;
  timespec ts{seconds, long(time.time.hundredths) * 10000000L};
  return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 0 : -1;
}
