#include "bacnet/datalink/bacnetip.h"

#include "bacnet/datalink/netif.h"
#include "bacnet/foundation/os_wrappers.h"
#include "bacnet/network/network_main.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kBindAttempts = 10;
constexpr int kBindIntervalMs = 1000;
constexpr int kReceiveWaitMs = 5;
constexpr int kReceivesPerPass = 10;
// After ten datagrams in a row the port thread gives the others a moment, unless it has
// frames to send.
constexpr int kPauseAfterReceivesMs = 1;
// How long a port thread busy with traffic looks for the next datagram or queued frame
// before it sleeps.
constexpr int kBusySpinUs = 100;
constexpr int64_t kTickIntervalMs = 1000;
constexpr uint8_t kLargestIpMaxApduCode = 3;  // 480 octets
constexpr uint16_t kMinimumRegistrationTtl = 60;
constexpr int32_t kReregistrationLead = 30;
constexpr uint32_t kNoAddress = 0xFFFFFFFF;
constexpr uint32_t kHostMask = 0xFFFFFFFF;
constexpr long kLargestFdtSize = 65535;

DriverLogFunction g_log = nullptr;
bool g_trace = false;

class UdpTransport : public BacnetIpTransport {
public:
  ~UdpTransport() override
  {
    if (fd_ >= 0)
      ::close(fd_);
  }

  int open(uint16_t port) override
  {
    if (fd_ < 0)
      fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
      return -1;
    // The address each datagram was sent to tells a broadcast from a datagram meant for us alone.
    int on = 1;
    if (::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0)
      return -1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
      return -1;
    return 0;
  }

  OsWake::Result wait_readable(DatalinkPort* port, int milliseconds, int spin_us) override
  {
    return datalink_wait_readable(port, fd_, milliseconds, spin_us);
  }

  int receive(uint8_t* buffer, std::size_t size, BipAddress* sender, uint32_t* destination) override
  {
    sockaddr_in from{};
    iovec data{buffer, size};
    alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = ::recvmsg(fd_, &message, MSG_DONTWAIT);
    if (n < 0)
      return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNothingWaiting : -1;
    sender->ip = ntohl(from.sin_addr.s_addr);
    sender->port = ntohs(from.sin_port);
    *destination = kNoAddress;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
        in_pktinfo info;
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        *destination = ntohl(info.ipi_addr.s_addr);
      }
    return int(n);
  }

  int send(const BipAddress& target, std::span<const uint8_t> datagram, bool broadcast) override
  {
    // Unicasts go out without broadcast permission, so a unicast target that turns out to be
    // a broadcast address is refused by the system instead of reaching the whole subnet.
    if (!set_broadcast(broadcast))
      return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(target.port);
    to.sin_addr.s_addr = htonl(target.ip);
    ssize_t n = ::sendto(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                         sizeof to);
    return n == ssize_t(datagram.size()) ? 0 : -1;
  }

private:
  // The permission is changed only when the next target needs the other one: a run of
  // unicasts costs no system call beyond the datagrams.
  bool set_broadcast(bool on)
  {
    int value = on ? 1 : 0;
    if (value == broadcast_)
      return true;
    if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
      std::perror("setsockopt");
      broadcast_ = -1;
      return false;
    }
    broadcast_ = value;
    return true;
  }

  int fd_ = -1;
  int broadcast_ = -1;  // the socket's permission: 0 off, 1 on, -1 not known
};

std::unique_ptr<BacnetIpTransport> make_udp_transport() { return std::make_unique<UdpTransport>(); }

BacnetIpTransportFactory g_factory = make_udp_transport;

bool tracing() { return g_log && g_trace; }

// "a.b.c.d (BAC0)"
std::string peer_text(const BipAddress& peer)
{
  char text[48];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u (%02X%02X)", unsigned(peer.ip >> 24), unsigned(peer.ip >> 16 & 0xFF),
                unsigned(peer.ip >> 8 & 0xFF), unsigned(peer.ip & 0xFF), unsigned(peer.port >> 8),
                unsigned(peer.port & 0xFF));
  return text;
}

void trace_frame(const char* direction, const DatalinkPort* port, const BipAddress& peer,
                 std::span<const uint8_t> frame)
{
  if (!tracing())
    return;
  char head[32];
  std::snprintf(head, sizeof head, "Port %02d %s ", int(port->net.index), direction);
  std::string text = head + peer_text(peer) + ":- ";
  datalink_append_hex(text, frame);
  g_log(kBacnetIpLogLevel, text.c_str());
}

// Sends one datagram from the port thread; 0 sent, -1 otherwise (counted and traced).
int transmit(DatalinkPort* port, BacnetIpLink& link, const BipAddress& target, std::span<const uint8_t> frame,
             bool broadcast)
{
  if (frame.empty())
    return -1;
  trace_frame("To  ", port, target, frame);
  if (link.transport && link.transport->send(target, frame, broadcast) == 0)
    return 0;
  datalink_send_failed(port, tracing() ? g_log : nullptr, kBacnetIpLogLevel, peer_text(target), "datagram");
  return -1;
}

int transmit_entry(DatalinkPort* port, BacnetIpLink& link, const DatalinkQueueEntry& entry)
{
  if (entry.destination.network == kGlobalBroadcastNetwork)
    return transmit(port, link, {link.broadcast_ip, link.udp_port}, entry.frame, true);
  return transmit(port, link, bip_decode(entry.destination.mac), entry.frame, false);
}

void send_result(DatalinkPort* port, BacnetIpLink& link, const BipAddress& to, uint16_t code)
{
  transmit(port, link, to, bvlc_encode_result(code), false);
}

void forward_to_peers(DatalinkPort* port, BacnetIpLink& link, std::span<const uint8_t> forwarded)
{
  for (const BdtEntry& peer : link.bdt) {
    if (peer.ip == link.own_ip && peer.port == link.udp_port)
      continue;
    transmit(port, link, bdt_forward_target(peer), forwarded, bdt_forward_is_broadcast(peer));
  }
}

void forward_to_foreign_devices(DatalinkPort* port, BacnetIpLink& link, const BipAddress& sender,
                                std::span<const uint8_t> forwarded)
{
  for (const FdtEntry& device : link.fdt)
    if (device.remaining > 0 && !(device.ip == sender.ip && device.port == sender.port))
      transmit(port, link, {device.ip, device.port}, forwarded, false);
}

void pass_up(DatalinkPort* port, const BACnetAddress& source, std::span<const uint8_t> npdu)
{
  network_receive(source, port->net.address, npdu, 0, 0);
}

// One received frame, already checked for its header.
struct Received {
  DatalinkPort* port;
  BacnetIpLink& link;
  const BACnetAddress& source;
  BipAddress sender;
  bool from_self;
  bool broadcast;  // not sent to our own address
  std::span<const uint8_t> frame;
  std::span<const uint8_t> data;
};

void on_result(Received& r)
{
  if (r.data.size() < 2 || !r.link.is_foreign_device() || r.sender.ip != r.link.bbmd_ip)
    return;
  uint16_t code = bvlc_get16(r.data.data());
  if (code == kBvlcSuccess)
    r.link.registered = 1;
  else if (code == kBvlcRegisterForeignDeviceNak)
    r.link.registered = 0;
}

void on_write_bdt(Received& r)
{
  if (!r.link.is_bbmd() || bdt_decode_list(r.data, &r.link.bdt) != 0) {
    send_result(r.port, r.link, r.sender, kBvlcWriteBdtNak);
    return;
  }
  bdt_write_file(r.link.bdt_path.c_str(), r.link.bdt);
  send_result(r.port, r.link, r.sender, kBvlcSuccess);
}

void on_read_bdt(Received& r)
{
  if (!r.link.is_bbmd()) {
    send_result(r.port, r.link, r.sender, kBvlcReadBdtNak);
    return;
  }
  transmit(r.port, r.link, r.sender, bvlc_encode(kBvlcReadBdtAck, bdt_encode_list(r.link.bdt)), false);
}

// With a host mask in our own entry the peers send to us alone, and the subnet hears their
// forwards from us. Only such a forward is sent on: one that came as a broadcast, from our own
// subnet or from no peer of ours has reached the subnet already, and sent again it would pass
// back and forth between two BBMDs that hear each other.
bool rebroadcasts(const Received& r)
{
  const BacnetIpLink& link = r.link;
  if (r.broadcast || (r.sender.ip & link.netmask) == (link.own_ip & link.netmask))
    return false;
  auto own = std::find_if(link.bdt.begin(), link.bdt.end(), [&](const BdtEntry& entry) {
    return entry.ip == link.own_ip && entry.port == link.udp_port;
  });
  return own != link.bdt.end() && own->mask == kHostMask &&
         std::any_of(link.bdt.begin(), link.bdt.end(),
                     [&](const BdtEntry& entry) { return entry.ip == r.sender.ip && entry.port == r.sender.port; });
}

void on_forwarded(Received& r)
{
  if (r.data.size() < kBipAddressLength)
    return;
  BipAddress origin = bip_decode(r.data.data());
  std::span<const uint8_t> npdu = r.data.subspan(kBipAddressLength);
  if (!r.from_self) {
    // The subnet hears a forward we send on from us, and so do we, when it comes back.
    bool rebroadcast = rebroadcasts(r);
    if (rebroadcast)
      transmit(r.port, r.link, {r.link.broadcast_ip, r.link.udp_port}, r.frame, true);
    forward_to_foreign_devices(r.port, r.link, r.sender, r.frame);
    if (rebroadcast)
      return;
  }
  pass_up(r.port, bip_to_bacnet_address(r.port->net.address.network, origin), npdu);
}

void on_register(Received& r)
{
  // A registration without its time-to-live is refused rather than read past its end.
  if (!r.link.is_bbmd() || r.data.size() != 2 ||
      fdt_register(r.link.fdt, r.sender, bvlc_get16(r.data.data())) != 0) {
    send_result(r.port, r.link, r.sender, kBvlcRegisterForeignDeviceNak);
    return;
  }
  send_result(r.port, r.link, r.sender, kBvlcSuccess);
}

void on_read_fdt(Received& r)
{
  if (!r.link.is_bbmd()) {
    send_result(r.port, r.link, r.sender, kBvlcReadFdtNak);
    return;
  }
  transmit(r.port, r.link, r.sender, bvlc_encode(kBvlcReadFdtAck, fdt_encode_ack(r.link.fdt)), false);
}

void on_delete_fdt_entry(Received& r)
{
  if (!r.link.is_bbmd() || r.data.size() != kBipAddressLength ||
      fdt_delete(r.link.fdt, bip_decode(r.data.data())) != 0) {
    send_result(r.port, r.link, r.sender, kBvlcDeleteFdtEntryNak);
    return;
  }
  send_result(r.port, r.link, r.sender, kBvlcSuccess);
}

void on_distribute(Received& r)
{
  if (!r.link.is_bbmd()) {
    send_result(r.port, r.link, r.sender, kBvlcDistributeBroadcastNak);
    return;
  }
  std::vector<uint8_t> forwarded = bvlc_encode_forwarded(r.sender, r.data);
  // The local copy comes back to us and goes up from there.
  transmit(r.port, r.link, {r.link.broadcast_ip, r.link.udp_port}, forwarded, true);
  forward_to_peers(r.port, r.link, forwarded);
  forward_to_foreign_devices(r.port, r.link, r.sender, forwarded);
}

void on_original_unicast(Received& r) { pass_up(r.port, r.source, r.data); }

void on_original_broadcast(Received& r)
{
  if (r.link.is_foreign_device() && r.from_self && r.link.registered)
    transmit(r.port, r.link, {r.link.bbmd_ip, r.link.bbmd_port}, bvlc_encode(kBvlcDistributeBroadcast, r.data),
             false);
  if (r.link.is_bbmd()) {
    std::vector<uint8_t> forwarded = bvlc_encode_forwarded(r.sender, r.data);
    forward_to_peers(r.port, r.link, forwarded);
    forward_to_foreign_devices(r.port, r.link, r.sender, forwarded);
  }
  pass_up(r.port, r.source, r.data);
}

// Indexed by the BVLC function; null entries (the acks, which only we send) are dropped.
void (*const kHandlers[])(Received&) = {
    on_result,           on_write_bdt,          on_read_bdt, nullptr,
    on_forwarded,        on_register,           on_read_fdt, nullptr,
    on_delete_fdt_entry, on_distribute,         on_original_unicast, on_original_broadcast,
};
constexpr std::size_t kHandlerCount = sizeof kHandlers / sizeof kHandlers[0];

struct SentFrames {
  std::size_t frames = 0;
  std::size_t broadcasts = 0;
};

// Every queued frame, oldest first, taken under one lock and sent outside it.
SentFrames send_queued(DatalinkPort* port, BacnetIpLink& link)
{
  std::vector<DatalinkQueueEntry>& frames = link.sending;
  {
    DRIVER_LOCK_SCOPE();
    link.frames_queued.store(false, std::memory_order_relaxed);
    for (DatalinkQueueEntry entry; link.queue.get(entry);)
      frames.push_back(std::move(entry));
  }
  SentFrames sent;
  for (const DatalinkQueueEntry& entry : frames)
    if (transmit_entry(port, link, entry) == 0 && entry.destination.network == kGlobalBroadcastNetwork)
      ++sent.broadcasts;
  sent.frames = frames.size();
  frames.clear();
  return sent;
}

void close_transport(BacnetIpLink& link) { link.transport.reset(); }

// The first address of the host's own name, or 255.255.255.255.
uint32_t host_name_address()
{
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0)
    return kNoAddress;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found)
    return kNoAddress;
  uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(found);
  return address;
}

// The keys of the connect string. A value that is given must parse: a port on a guessed
// interface or an ephemeral UDP port would look like a working device that nobody reaches.
struct IpKeys {
  long udp_port = kBacnetIpDefaultPort;
  uint32_t address = kNoAddress;  // none: the host name's address
  long eth = 0;
  uint32_t bbmd_ip = kNoAddress;
  long bbmd_port = 0;
  long foreign_devices = 0;
  long ttl = 120;
};

bool number_key(const DatalinkPort* port, const char* key, long min, long max, long* out)
{
  std::string value;
  return !datalink_param(port, key, &value) || datalink_parse_number(value, min, max, out);
}

bool ipv4_key(const DatalinkPort* port, const char* key, uint32_t* out)
{
  std::string value;
  return !datalink_param(port, key, &value) || datalink_parse_ipv4(value, out);
}

bool read_keys(const DatalinkPort* port, IpKeys* keys)
{
  if (!number_key(port, "UDPPORT", 1, 0xFFFF, &keys->udp_port))
    return false;
  keys->bbmd_port = keys->udp_port;
  keys->address = datalink_param(port, "IPADDRESS", nullptr) ? kNoAddress : host_name_address();
  // Counts and times outside their bounds are clamped by the caller, as they always were.
  return ipv4_key(port, "IPADDRESS", &keys->address) && ipv4_key(port, "BBMDIPADDRESS", &keys->bbmd_ip) &&
         number_key(port, "ETH", INT32_MIN, INT32_MAX, &keys->eth) &&
         number_key(port, "BBMDPORTNO", 1, 0xFFFF, &keys->bbmd_port) &&
         number_key(port, "BBMDMAXFOREIGNDEVICES", LONG_MIN, LONG_MAX, &keys->foreign_devices) &&
         number_key(port, "FOREIGNDEVICEEXPIRYTIME", LONG_MIN, LONG_MAX, &keys->ttl);
}

}  // namespace

void bacnetip_set_transport_factory(BacnetIpTransportFactory factory)
{
  g_factory = factory ? factory : make_udp_transport;
}

void bacnetip_set_trace(const DriverContext& context)
{
  g_log = context.log;
  g_trace = context.options[kBacnetIpTraceOption] != 0;
}

std::unique_ptr<DatalinkLinkData> bacnetip_make_link_data() { return std::make_unique<BacnetIpLink>(); }

BacnetIpLink* bacnetip_link(DatalinkPort* port)
{
  return port ? dynamic_cast<BacnetIpLink*>(port->link_data.get()) : nullptr;
}

int bacnetip_open(DatalinkPort* port)
{
  BacnetIpLink* link = bacnetip_link(port);
  if (!link)
    return -1;
  if (!port->has_connect_string) {
    datalink_set_error(port, "No connect string");
    return -1;
  }
  // A re-open starts from nothing: the old socket and the frames queued for it go.
  close_transport(*link);
  {
    DRIVER_LOCK_SCOPE();
    link->queue.clear();
  }

  IpKeys keys;
  if (!read_keys(port, &keys))
    return -1;  // the port manager reports "Error creating link layer"
  link->udp_port = uint16_t(keys.udp_port);
  uint32_t configured = keys.address;
  link->eth = int(keys.eth);
  link->bbmd_ip = keys.bbmd_ip;
  link->bbmd_port = uint16_t(keys.bbmd_port);
  long foreign_devices = std::clamp<long>(keys.foreign_devices, 0, kLargestFdtSize);
  link->registration_ttl = uint16_t(std::clamp<long>(keys.ttl, kMinimumRegistrationTtl, 0xFFFF));
  link->registration_countdown = 0;
  link->registered = 0;
  link->own_ip = kNoAddress;
  link->fdt.assign(std::size_t(foreign_devices), FdtEntry{});
  link->bdt.assign(foreign_devices > 0 ? 1 : 0, BdtEntry{});
  port->state = kPortOpened;
  {
    DRIVER_LOCK_SCOPE();
    port->net.send = bacnetip_send;
    port->net.queued = bacnetip_queued;
  }

  auto fail = [&]() {
    close_transport(*link);
    datalink_set_error(port, "Error Binding to Socket");
    return -1;
  };
  link->transport = g_factory();
  bool bound = false;
  for (int attempt = 1; attempt <= kBindAttempts && !bound; ++attempt) {
    bound = link->transport && link->transport->open(link->udp_port) == 0;
    if (bound)
      break;
    std::fprintf(stderr, "error binding to socket\n");
    std::fprintf(stderr, "PID %i\n", int(gettid()));
    if (attempt < kBindAttempts && !datalink_wait(port, kBindIntervalMs))
      break;
  }
  if (!bound)
    return fail();

  if (netif_query_interfaces(configured, &link->own_ip, &link->netmask, &link->broadcast_ip) != 0)
    return fail();
  {
    DRIVER_LOCK_SCOPE();
    port->net.address = bip_to_bacnet_address(port->net.address.network, link->own());
  }

  if (link->is_bbmd()) {
    link->bdt[0] = BdtEntry{link->own_ip, link->udp_port, kHostMask};
    bdt_read_file(link->bdt_path.c_str(), &link->bdt);
  }
  link->last_tick_ms = os_monotonic_ms();
  datalink_register_opened(port, kLargestIpMaxApduCode);
  return 0;
}

int bacnetip_send(DatalinkPort* port, const BACnetAddress&, const BACnetAddress& destination,
                  std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority)
{
  BacnetIpLink* link = bacnetip_link(port);
  if (!link || npdu.empty() || npdu.size() > kBacnetIpMaxNpdu)
    return -1;
  bool broadcast = destination.network == kGlobalBroadcastNetwork;
  // Without a B/IP address there is nobody to send to.
  if (!broadcast && destination.mac_len != kBipAddressLength)
    return -1;
  DatalinkQueueEntry entry;
  entry.destination = destination;
  entry.frame = bvlc_encode(broadcast ? kBvlcOriginalBroadcast : kBvlcOriginalUnicast, npdu);
  entry.expecting_reply = expecting_reply;
  entry.priority = priority;
  {
    DRIVER_LOCK_SCOPE();
    entry.source = port->net.address;
    if (!link->queue.put(std::move(entry)))
      return -1;
    link->frames_queued.store(true, std::memory_order_release);
  }
  datalink_wake(port);
  return 0;
}

std::size_t bacnetip_queued(DatalinkPort* port)
{
  BacnetIpLink* link = bacnetip_link(port);
  DRIVER_LOCK_SCOPE();
  return link ? link->queue.count() : 0;
}

void bacnetip_close(DatalinkPort* port)
{
  BacnetIpLink* link = bacnetip_link(port);
  if (!link)
    return;
  {
    DRIVER_LOCK_SCOPE();
    link->queue.clear();
  }
  close_transport(*link);
}

void bacnetip_second_tick(DatalinkPort* port)
{
  BacnetIpLink* link = bacnetip_link(port);
  if (!link)
    return;
  if (link->is_foreign_device()) {
    if (link->registration_countdown-- <= 0) {
      transmit(port, *link, {link->bbmd_ip, link->bbmd_port}, bvlc_encode_register(link->registration_ttl), false);
      link->registration_countdown = int32_t(link->registration_ttl) - kReregistrationLead;
    }
  }
  if (link->is_bbmd())
    fdt_second_tick(link->fdt);
  ++link->ticks;
}

void bacnetip_handle_frame(DatalinkPort* port, const BACnetAddress& source, std::span<const uint8_t> frame,
                           bool broadcast)
{
  BacnetIpLink* link = bacnetip_link(port);
  if (!link || source.mac_len != kBipAddressLength)
    return;
  BipAddress sender = bip_decode(source.mac);
  trace_frame("From", port, sender, frame);
  BvlcFrame bvlc;
  if (bvlc_decode(frame, &bvlc) != 0 || bvlc.function >= kHandlerCount || !kHandlers[bvlc.function])
    return;
  Received r{port, *link, source, sender, sender == link->own(), broadcast, frame, bvlc.data};
  kHandlers[bvlc.function](r);
}

void bacnetip_run_pass(DatalinkPort* port)
{
  BacnetIpLink* link = bacnetip_link(port);
  if (!link)
    return;
  int64_t now = os_monotonic_ms();
  if (now - link->last_tick_ms >= kTickIntervalMs) {
    bacnetip_second_tick(port);
    link->last_tick_ms = now;
  }

  SentFrames sent = send_queued(port, *link);
  bool busy = sent.frames > 0;

  if (!link->transport) {
    port->state = kPortReopenAfterSocketFailure;
    return;
  }
  // The system hands every broadcast we send back to our own socket. Their echoes are read
  // before the next frames go, so that a burst of broadcasts cannot fill the socket's buffer
  // and push out the requests of peers arriving meanwhile.
  std::size_t echoes = sent.broadcasts;
  uint8_t buffer[kBacnetIpReceiveSize];
  for (int i = 0; i < kReceivesPerPass || echoes > 0; ++i) {
    // A frame queued meanwhile goes first: the next pass sends it.
    if (echoes == 0 && link->frames_queued.load(std::memory_order_acquire))
      return;
    // A datagram already waiting is taken without a wait; the wait comes only when none is.
    BipAddress sender;
    uint32_t destination = kNoAddress;
    int n = link->transport->receive(buffer, sizeof buffer, &sender, &destination);
    if (n == BacnetIpTransport::kNothingWaiting) {
      // Busy with traffic, the next datagram or the answer to one just handed up is near.
      OsWake::Result waited = link->transport->wait_readable(port, kReceiveWaitMs, busy ? kBusySpinUs : 0);
      if (waited == OsWake::kTimeout || waited == OsWake::kSignalled) {
        if (port->running == 0) {
          close_transport(*link);
          port->state = kPortStopped;
        }
        return;
      }
      n = link->transport->receive(buffer, sizeof buffer, &sender, &destination);
      if (n == BacnetIpTransport::kNothingWaiting)
        continue;  // readable, yet nothing to take (a datagram the system dropped)
    }
    if (n < 0) {
      close_transport(*link);
      port->state = kPortReopenAfterSocketFailure;
      return;
    }
    BACnetAddress source = bip_to_bacnet_address(port->net.address.network, sender);
    bacnetip_handle_frame(port, source, std::span<const uint8_t>(buffer, std::size_t(n)), destination != link->own_ip);
    busy = true;
    if (echoes > 0 && sender == link->own())
      --echoes;
  }
  if (!link->frames_queued.load(std::memory_order_acquire))
    datalink_wait_readable(port, -1, kPauseAfterReceivesMs);
}

uint32_t bacnetip_run(DatalinkPort* port)
{
  BacnetIpLink* link = bacnetip_link(port);
  if (!link)
    return kPortStopped;
  datalink_run_passes(port, bacnetip_run_pass, [](DatalinkPort* p) { close_transport(*bacnetip_link(p)); });
  link->bdt.clear();
  link->fdt.clear();
  return port->state;
}
