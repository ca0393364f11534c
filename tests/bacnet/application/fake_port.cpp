#include "fake_port.h"

#include "bacnet/network/npdu.h"

#include <cstdio>
#include <cstring>

namespace apptest {

namespace {

StackFixture* current = nullptr;

}  // namespace

struct FixtureAccess {
  static int record(StackFixture* f, const BACnetAddress& destination, std::span<const uint8_t> npdu,
                    uint8_t expecting_reply)
  {
    if (f->refuse_sends)
      return -1;
    SentFrame frame;
    frame.destination = destination;
    frame.npdu.assign(npdu.begin(), npdu.end());
    frame.expecting_reply = expecting_reply;
    EXPECT_EQ(npdu_decode(frame.npdu, &frame.header), 0);
    if (!frame.header.network_message)
      frame.apdu.assign(frame.header.apdu, frame.header.apdu + frame.header.apdu_length);
    frame.header.apdu = nullptr;
    f->frames_.push_back(std::move(frame));
    return 0;
  }
};

namespace {

int fake_send(DatalinkPort*, const BACnetAddress&, const BACnetAddress& destination, std::span<const uint8_t> npdu,
              uint8_t expecting_reply, uint8_t)
{
  return FixtureAccess::record(current, destination, npdu, expecting_reply);
}

void request_done(void* user_data, int success, const BACnetAddress& destination, const ClientResult& result)
{
  auto* list = static_cast<std::vector<StackFixture::Completion>*>(user_data);
  list->push_back({success, destination, result});
}

}  // namespace

struct CallbackAccess {
  static int heard(uint8_t replied, const BACnetAddress& address)
  {
    current->heard.emplace_back(replied, address);
    return 0;
  }
  static int confirmed(const BACnetAddress& local, const ServiceRequest& request, ServiceAnswer* answer,
                       bool snet_present, const BACnetAddress& routed)
  {
    current->requests_seen.push_back(request);
    current->request_data_seen.emplace_back(request.data.begin(), request.data.end());
    current->requests_seen.back().data = {};
    current->routed_seen.emplace_back(snet_present, routed);
    current->local_seen.push_back(local);
    return current->on_request ? current->on_request(request, answer) : 1;
  }
  static int unconfirmed(uint8_t, bool, const BACnetAddress&, const ServiceRequest& request)
  {
    current->unconfirmed_seen.push_back(request);
    current->unconfirmed_seen.back().data = {};
    return 0;
  }
};

std::vector<uint8_t> hex(const std::string& text)
{
  std::vector<uint8_t> out;
  unsigned value = 0;
  int digits = 0;
  for (char c : text) {
    int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (v < 0)
      continue;
    value = value << 4 | unsigned(v);
    if (++digits == 2) {
      out.push_back(uint8_t(value));
      value = 0;
      digits = 0;
    }
  }
  return out;
}

std::string hex(std::span<const uint8_t> bytes)
{
  std::string out;
  char octet[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(octet, sizeof octet, i ? " %02X" : "%02X", bytes[i]);
    out += octet;
  }
  return out;
}

BACnetAddress ip_address(uint8_t last_octet, uint32_t network)
{
  BACnetAddress a{};
  a.network = network;
  a.mac_len = 6;
  const uint8_t mac[6] = {10, 0, 0, last_octet, 0xBA, 0xC0};
  std::memcpy(a.mac, mac, sizeof mac);
  return a;
}

const BACnetAddress StackFixture::own = ip_address(1);
const BACnetAddress StackFixture::peer = ip_address(2);

void StackFixture::init_layer(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries)
{
  application_layer_init(CallbackAccess::confirmed, CallbackAccess::unconfirmed, nullptr, CallbackAccess::heard,
                         driver_lock, driver_unlock, segment_timeout, apdu_timeout, retries);
}

void StackFixture::SetUp()
{
  current = this;
  os_set_clock(&clock);
  clock.set_wall(1700000000);
  NetworkPort port;
  port.address = own;
  port.send = fake_send;
  port.max_apdu_code = 5;
  ASSERT_EQ(network_init_port(&port), 0);
  init_layer(3000, 3000, 3);
  take_frames();
}

void StackFixture::TearDown()
{
  application_layer_destroy();
  application_layer_set_communication_state_function(nullptr);
  os_set_clock(nullptr);
  current = nullptr;
}

void StackFixture::restart(int32_t segment_timeout, int32_t apdu_timeout, int32_t retries)
{
  // The network layer forgets its ports when the application layer goes; register ours again.
  application_layer_destroy();
  NetworkPort port;
  port.address = own;
  port.send = fake_send;
  port.max_apdu_code = 5;
  ASSERT_EQ(network_init_port(&port), 0);
  init_layer(segment_timeout, apdu_timeout, retries);
  take_frames();
}

void StackFixture::receive(const std::string& apdu_hex, const BACnetAddress& source)
{
  receive(hex(apdu_hex), source);
}

void StackFixture::receive(const std::vector<uint8_t>& apdu, const BACnetAddress& source, const NpduHeader& header)
{
  std::vector<uint8_t> npdu;
  ASSERT_EQ(npdu_encode(header, apdu, &npdu), 0);
  ASSERT_EQ(network_receive(source, own, npdu, 0, 0), 0);
  application_layer_periodic();
}

std::vector<SentFrame> StackFixture::take_frames()
{
  std::vector<SentFrame> out;
  out.swap(frames_);
  return out;
}

std::vector<std::string> StackFixture::take_sent()
{
  std::vector<std::string> out;
  for (const SentFrame& f : take_frames())
    if (!f.header.network_message)
      out.push_back(hex(f.apdu));
  return out;
}

int StackFixture::request(uint8_t invoke_id, const std::vector<uint8_t>& data, uint8_t max_apdu_code,
                          const BACnetAddress& destination, uint8_t service_choice)
{
  ApduRequest r;
  r.destination = destination;
  r.kind = kRequestConfirmed;
  r.service_choice = service_choice;
  r.max_apdu_code = max_apdu_code;
  r.invoke_id = invoke_id;
  r.data = data;
  int result = application_layer_send_request(-1, request_done, &completions, r);
  application_layer_periodic();
  return result;
}

}  // namespace apptest
