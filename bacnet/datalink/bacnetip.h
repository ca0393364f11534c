// The BACnet/IP datalink: one UDP socket per port carrying NPDUs in virtual-link-layer frames,
// optionally acting as a broadcast management device (BDT and FDT) and as a foreign device
// registered with one. bacnetip_send runs on the stack thread and only queues; everything else
// runs on the port's own thread, which owns the socket, the tables and the registration, and
// which waits on its socket and the port's wake-up together. Must not call the network layer
// other than through network_receive.
#pragma once

#include "bacnet/datalink/bbmd_tables.h"
#include "bacnet/datalink/bvlc.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/network/datalink_queue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

inline constexpr uint16_t kBacnetIpDefaultPort = 47808;
inline constexpr std::size_t kBacnetIpMaxNpdu = 2052;
inline constexpr std::size_t kBacnetIpReceiveSize = 2048;
// The option byte of the driver context that switches on the frame trace, and its level.
inline constexpr int kBacnetIpTraceOption = 8;
inline constexpr int kBacnetIpLogLevel = 8;

// The UDP socket of a port. Tests install their own to drive the port without the network.
class BacnetIpTransport {
public:
  virtual ~BacnetIpTransport() = default;
  // Binds to any address and `port`; 0 or -1.
  virtual int open(uint16_t port) = 0;
  // Waits up to `milliseconds` for a datagram together with the port's wake-up (a frame
  // queued for sending, a stop), as datalink_wait_readable does, looking `spin_us` first.
  virtual OsWake::Result wait_readable(DatalinkPort* port, int milliseconds, int spin_us) = 0;
  // The datagram's length (at most `size`), kNothingWaiting, or -1 for a receive error; never
  // blocks. The sender and the address the datagram was sent to (255.255.255.255 when the
  // system does not tell) in host byte order.
  static constexpr int kNothingWaiting = -2;
  virtual int receive(uint8_t* buffer, std::size_t size, BipAddress* sender, uint32_t* destination) = 0;
  // 0 sent, -1 failed. `broadcast` says whether the target is a broadcast address.
  virtual int send(const BipAddress& target, std::span<const uint8_t> datagram, bool broadcast) = 0;
};
using BacnetIpTransportFactory = std::unique_ptr<BacnetIpTransport> (*)();
// Null restores the UDP socket.
void bacnetip_set_transport_factory(BacnetIpTransportFactory factory);

struct BacnetIpLink : DatalinkLinkData {
  std::unique_ptr<BacnetIpTransport> transport;  // null while closed
  uint16_t udp_port = kBacnetIpDefaultPort;
  uint32_t own_ip = 0xFFFFFFFF;  // host byte order, as the addresses below
  uint32_t netmask = 0;
  uint32_t broadcast_ip = 0xFFFFFFFF;
  uint32_t bbmd_ip = 0xFFFFFFFF;  // 255.255.255.255: no foreign-device registration
  uint16_t bbmd_port = 0;
  std::vector<FdtEntry> fdt;  // not empty: the port is a BBMD
  std::vector<BdtEntry> bdt;
  int eth = 0;
  uint16_t registration_ttl = 120;
  int32_t registration_countdown = 0;
  std::atomic<uint8_t> registered{0};
  DatalinkQueue queue;
  // Set with every frame queued, cleared when the port thread takes the queue: while set,
  // the port thread does not wait for datagrams but sends first.
  std::atomic<bool> frames_queued{false};
  std::vector<DatalinkQueueEntry> sending;  // port thread: the frames of one pass
  int64_t last_tick_ms = 0;
  std::atomic<uint32_t> ticks{0};  // one-second ticks run so far
  std::string bdt_path = "bdt.txt";

  bool is_bbmd() const { return !fdt.empty(); }
  bool is_foreign_device() const { return bbmd_ip != 0xFFFFFFFF; }
  BipAddress own() const { return {own_ip, udp_port}; }
};

void bacnetip_set_trace(const DriverContext& context);
std::unique_ptr<DatalinkLinkData> bacnetip_make_link_data();
int bacnetip_open(DatalinkPort* port);
// Runs passes while the port state is 1; returns the next state.
uint32_t bacnetip_run(DatalinkPort* port);
// One pass: the second tick when due, every queued frame, up to ten received datagrams (and
// more until the echoes of its own broadcasts are read, when they are there). The wait for a
// datagram (at most 5 ms) and the pause after ten (at most 1 ms) end as soon as a frame is
// queued or a stop comes.
void bacnetip_run_pass(DatalinkPort* port);
int bacnetip_send(DatalinkPort* port, const BACnetAddress& source, const BACnetAddress& destination,
                  std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority);
// The port's network-layer queued function: frames waiting in its send queue.
std::size_t bacnetip_queued(DatalinkPort* port);
void bacnetip_close(DatalinkPort* port);

// The port thread's handling of one received datagram from `source`; `broadcast` when it was
// not sent to the port's own address.
void bacnetip_handle_frame(DatalinkPort* port, const BACnetAddress& source, std::span<const uint8_t> frame,
                           bool broadcast);
// The one-second tick: foreign-device registration and FDT lifetimes.
void bacnetip_second_tick(DatalinkPort* port);

BacnetIpLink* bacnetip_link(DatalinkPort* port);
