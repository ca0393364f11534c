// A ReadProperty load generator for the BACnet/IP side of our stack: keeps N confirmed
// ReadProperty requests outstanding against one device for a while, each answer sending the
// next request, and prints requests per second with the 50th and 99th percentile of the
// round trips. Requests are built with our codec and sent from an ephemeral UDP port, so
// broadcasts of the device under test do not reach it.
// With --serve it is the other side instead: a single-threaded responder that answers every
// ReadProperty on UDP port 47808 with the object name, decoding and encoding with our codec
// but without a stack around it. Measured like the stack, it shows what the machine and the
// lab allow at that moment, so that the load of other processes can be told from our own cost.
// Only ever run inside the benchmarks' network namespaces: it refuses to start where it sees
// any interface but loopback and the lab's veths.
//
//   readproperty_load --target IP --device N --outstanding K --seconds S [--property P]
//                     [--warmup-ms W] [--object TYPE:INSTANCE]
//   --object reads that object instead of device N's Device object
//   prints: outstanding=K requests=R seconds=S rate=X p50_us=A p99_us=B lost=L
//   readproperty_load --serve 1     answers until killed
#include "bacnet/application/apdu.h"
#include "bacnet/codec/codec_acks.h"
#include "bacnet/codec/codec_requests.h"
#include "bacnet/codec/pdu_buffer.h"
#include "bacnet/datalink/bvlc.h"
#include "bacnet/foundation/bacnet_numbers.h"
#include "bacnet/network/npdu.h"
#include "bacnet/value/owned.h"
#include "bacnet/value/value.h"
#include "lab_guard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kMaxApdu1476 = 0x05;
constexpr int kInvokeIds = 256;
constexpr int kBatch = 64;
// An answer later than this is counted as lost and its request sent again under a new id.
constexpr auto kLostAfter = std::chrono::milliseconds(500);

struct Options {
  bool serve = false;
  std::string target;
  uint32_t device = 4711;
  uint32_t property = 77;  // object-name
  BACnetObjectId object{999, 0};  // none given: the Device object of `device`
  int outstanding = 1;
  double seconds = 3;
  int warmup_ms = 300;
};

bool parse(int argc, char** argv, Options* o)
{
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--serve")
      o->serve = std::atoi(value) != 0;
    else if (key == "--target")
      o->target = value;
    else if (key == "--device")
      o->device = uint32_t(std::atol(value));
    else if (key == "--property")
      o->property = uint32_t(std::atol(value));
    else if (key == "--outstanding")
      o->outstanding = std::atoi(value);
    else if (key == "--seconds")
      o->seconds = std::atof(value);
    else if (key == "--warmup-ms")
      o->warmup_ms = std::atoi(value);
    else if (key != "--object" || std::sscanf(value, "%u:%u", &o->object.type, &o->object.instance) != 2)
      return false;
  }
  return o->serve || (!o->target.empty() && o->outstanding >= 1 && o->outstanding <= 128 && o->seconds > 0);
}

// The whole datagram of one request: BVLC, NPDU expecting a reply, the confirmed request.
std::vector<uint8_t> request_datagram(const Options& o, uint8_t invoke_id)
{
  ReadPropertyRequest request;
  request.object = o.object.type == 999 ? BACnetObjectId{8, o.device} : o.object;
  request.property = o.property;
  pdu_buffer data{};
  pdu_encode_read_property_request(&data, &request);
  std::vector<uint8_t> apdu;
  apdu_encode_confirmed_request(0, kMaxApdu1476, invoke_id, 0, 0, SERVICE_READ_PROPERTY,
                                std::span<const uint8_t>(data.data, data.pos), &apdu);
  pdu_buffer_free(&data);
  NpduHeader header;
  header.expecting_reply = 1;
  std::vector<uint8_t> npdu;
  npdu_encode(header, apdu, &npdu);
  return bvlc_encode(kBvlcOriginalUnicast, npdu);
}

// The invoke id of a ComplexACK for ReadProperty, or -1 for anything else.
int answered_invoke_id(const uint8_t* datagram, std::size_t length)
{
  BvlcFrame frame;
  if (bvlc_decode(std::span<const uint8_t>(datagram, length), &frame) != 0)
    return -1;
  NpduHeader header;
  if (npdu_decode(frame.data, &header) != 0 || header.network_message)
    return -1;
  ApduPdu pdu;
  if (apdu_decode(std::span<const uint8_t>(header.apdu, header.apdu_length), &pdu) != 0)
    return -1;
  if (pdu.type != kApduComplexAck || pdu.service_choice != SERVICE_READ_PROPERTY)
    return -1;
  return pdu.invoke_id;
}

// The responder's answer to one datagram, or false when it is no ReadProperty request.
bool answer_datagram(const uint8_t* datagram, std::size_t length, std::vector<uint8_t>* out)
{
  BvlcFrame frame;
  NpduHeader header;
  ApduPdu pdu;
  if (bvlc_decode(std::span<const uint8_t>(datagram, length), &frame) != 0 || npdu_decode(frame.data, &header) != 0 ||
      header.network_message ||
      apdu_decode(std::span<const uint8_t>(header.apdu, header.apdu_length), &pdu) != 0 ||
      pdu.type != kApduConfirmedRequest || pdu.service_choice != SERVICE_READ_PROPERTY)
    return false;
  pdu_buffer request_data = pdu_buffer_view(pdu.data.data(), uint32_t(pdu.data.size()));
  ReadPropertyRequest request;
  if (pdu_decode_read_property_request(&request_data, &request) != 0)
    return false;
  Owned<ReadPropertyAck, pdu_free_read_property_ack> ack;
  ack->object = request.object;
  ack->property = request.property;
  value_set_charstring("ZOR17-Server", &ack->value);
  pdu_buffer data{};
  pdu_encode_read_property_ack(&data, ack.get());
  std::vector<uint8_t> apdu;
  apdu_encode_complex_ack(0, pdu.invoke_id, 0, 0, SERVICE_READ_PROPERTY, std::span<const uint8_t>(data.data, data.pos),
                          &apdu);
  pdu_buffer_free(&data);
  std::vector<uint8_t> npdu;
  npdu_encode(NpduHeader{}, apdu, &npdu);
  *out = bvlc_encode(kBvlcOriginalUnicast, npdu);
  return true;
}

int serve()
{
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(47808);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    std::perror("bind");
    return 1;
  }
  std::printf("serving\n");
  std::fflush(stdout);
  uint8_t buffer[2048];
  std::vector<uint8_t> answer;
  for (;;) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n > 0 && answer_datagram(buffer, std::size_t(n), &answer))
      ::sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&from), length);
  }
}

class Generator {
public:
  Generator(const Options& o, int fd, const sockaddr_in& target) : o_(o), fd_(fd), target_(target)
  {
    for (int id = 0; id < kInvokeIds; ++id)
      datagrams_[std::size_t(id)] = request_datagram(o, uint8_t(id));
  }

  void run()
  {
    const auto start = Clock::now();
    const auto measure_from = start + std::chrono::milliseconds(o_.warmup_ms);
    const auto end = measure_from + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o_.seconds));
    for (int i = 0; i < o_.outstanding; ++i)
      send_next(start);
    std::array<std::array<uint8_t, 1500>, kBatch> buffers{};
    std::array<iovec, kBatch> iov{};
    std::array<mmsghdr, kBatch> messages{};
    for (int i = 0; i < kBatch; ++i) {
      iov[std::size_t(i)] = {buffers[std::size_t(i)].data(), buffers[std::size_t(i)].size()};
      messages[std::size_t(i)].msg_hdr.msg_iov = &iov[std::size_t(i)];
      messages[std::size_t(i)].msg_hdr.msg_iovlen = 1;
    }
    for (;;) {
      auto now = Clock::now();
      if (now >= end)
        break;
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, 10);
      int n = ::recvmmsg(fd_, messages.data(), kBatch, MSG_DONTWAIT, nullptr);
      now = Clock::now();
      for (int i = 0; i < n; ++i) {
        int id = answered_invoke_id(buffers[std::size_t(i)].data(), messages[std::size_t(i)].msg_len);
        if (id < 0 || !in_flight_[std::size_t(id)])
          continue;
        in_flight_[std::size_t(id)] = false;
        if (sent_at_[std::size_t(id)] >= measure_from && now < end)
          latencies_us_.push_back(
              uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(now - sent_at_[std::size_t(id)]).count()));
        send_next(now);
      }
      resend_lost(now);
    }
    measured_seconds_ = std::chrono::duration<double>(end - measure_from).count();
  }

  void report() const
  {
    std::vector<uint32_t> sorted = latencies_us_;
    std::sort(sorted.begin(), sorted.end());
    auto percentile = [&](double p) -> uint32_t {
      if (sorted.empty())
        return 0;
      return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
    };
    std::printf("outstanding=%d requests=%zu seconds=%.2f rate=%.0f p50_us=%u p99_us=%u lost=%d\n", o_.outstanding,
                sorted.size(), measured_seconds_, double(sorted.size()) / measured_seconds_, percentile(0.50),
                percentile(0.99), lost_);
    std::fflush(stdout);
  }

private:
  // The next free invoke id in turn: an id comes back only after the other 255.
  void send_next(Clock::time_point now)
  {
    for (int tries = 0; tries < kInvokeIds; ++tries) {
      int id = next_id_;
      next_id_ = (next_id_ + 1) % kInvokeIds;
      if (in_flight_[std::size_t(id)])
        continue;
      const std::vector<uint8_t>& d = datagrams_[std::size_t(id)];
      in_flight_[std::size_t(id)] = true;
      sent_at_[std::size_t(id)] = now;
      ::sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&target_), sizeof target_);
      return;
    }
  }

  void resend_lost(Clock::time_point now)
  {
    for (int id = 0; id < kInvokeIds; ++id) {
      if (!in_flight_[std::size_t(id)] || now - sent_at_[std::size_t(id)] < kLostAfter)
        continue;
      in_flight_[std::size_t(id)] = false;
      ++lost_;
      send_next(now);
    }
  }

  const Options& o_;
  int fd_;
  sockaddr_in target_;
  std::array<std::vector<uint8_t>, kInvokeIds> datagrams_;
  std::array<bool, kInvokeIds> in_flight_{};
  std::array<Clock::time_point, kInvokeIds> sent_at_{};
  int next_id_ = 0;
  int lost_ = 0;
  std::vector<uint32_t> latencies_us_;
  double measured_seconds_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
  std::string stranger;
  if (!inside_lab(&stranger)) {
    std::fprintf(stderr, "interface %s is not the test lab's; refusing to start\n", stranger.c_str());
    return 2;
  }
  Options o;
  if (!parse(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: %s --target IP --device N --outstanding K --seconds S [--property P] [--warmup-ms W]"
                 " [--object TYPE:INSTANCE]\n",
                 argv[0]);
    return 1;
  }
  if (o.serve)
    return serve();
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(47808);
  if (::inet_pton(AF_INET, o.target.c_str(), &target.sin_addr) != 1) {
    std::fprintf(stderr, "not an IPv4 address: %s\n", o.target.c_str());
    return 1;
  }
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::perror("socket");
    return 1;
  }
  Generator generator(o, fd, target);
  generator.run();
  generator.report();
  ::close(fd);
  return 0;
}
