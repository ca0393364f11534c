// The Ethernet datalink: NPDUs in IEEE 802.3 frames with an 802.2 LLC header (DSAP and SSAP
// 0x82, control 0x03) on one network adapter, opened for raw capture and sending through
// libpcap. bacnetethernet_send runs on the stack thread and only queues; everything else runs
// on the port's own thread, which owns the capture handle and waits on its descriptor together
// with the port's wake-up. Must not call the network layer other than through network_receive.
#pragma once

#include "bacnet/datalink/datalink_port.h"
#include "bacnet/network/datalink_queue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

inline constexpr std::size_t kEthernetMaxNpdu = 2050;
// A queued frame (length field, LLC header, NPDU) longer than this is not transmitted.
inline constexpr std::size_t kEthernetMaxQueuedFrame = 2040;
inline constexpr std::size_t kEthernetHeaderLength = 14;  // two MAC addresses and the length
inline constexpr std::size_t kEthernetMinimumFrame = 60;  // without the frame check sequence
inline constexpr int kEthernetSnapLength = 1514;
inline constexpr int kEthernetReadTimeoutMs = 20;
// The option byte of the driver context that switches on the frame trace, and its level.
inline constexpr int kEthernetTraceOption = 7;
inline constexpr int kEthernetLogLevel = 7;
// Lets only 802.3 frames whose LLC header begins with DSAP and SSAP 0x82 into the queue.
inline constexpr const char* kEthernetFilter = "ether[12:2] <= 1500 and ether[14:2] = 0x8282";

struct EthernetAdapter {
  std::string name;
  std::string description;  // empty when the library has none
};

// The capture library behind a port. Tests install their own to drive the port without an adapter.
class EthernetCapture {
public:
  virtual ~EthernetCapture() = default;
  // Every capture device, in the library's order. 0, or -1 with the library's message.
  virtual int list_adapters(std::vector<EthernetAdapter>* adapters, std::string* error) = 0;
  // Opens the adapter: snapshot length 1514, not promiscuous, 20 ms read timeout, frames handed
  // over as they arrive, reads that do not block. 0, or -1 with the library's message.
  virtual int open(const std::string& adapter, std::string* error) = 0;
  // The link-layer header type of the opened adapter (the library's DLT_ numbers).
  virtual int link_type() = 0;
  virtual int set_filter(const char* expression, std::string* error) = 0;
  // The descriptor that becomes readable when frames wait; -1 when the library has none.
  virtual int selectable_fd() = 0;
  // 1 with a frame (valid until the next call), 0 when none waits, -1 on a read error.
  virtual int next(std::span<const uint8_t>* frame, std::string* error) = 0;
  // 0 sent, or -1 with the library's message.
  virtual int send(std::span<const uint8_t> frame, std::string* error) = 0;
};
using EthernetCaptureFactory = std::unique_ptr<EthernetCapture> (*)();
// Null restores libpcap.
void bacnetethernet_set_capture_factory(EthernetCaptureFactory factory);

struct BacnetEthernetLink : DatalinkLinkData {
  int nic = 0;                              // the NIC key: position in the capture device list
  std::string adapter;                      // the device chosen by it
  uint8_t mac[6] = {};                      // its hardware address, the port's own MAC
  std::unique_ptr<EthernetCapture> capture;  // null while closed
  DatalinkQueue queue;
  std::atomic<uint32_t> dropped{0};  // received frames too short, mis-tagged or of a wrong length
};

void bacnetethernet_set_log_callback(const DriverContext& context);
std::unique_ptr<DatalinkLinkData> bacnetethernet_make_link_data();
int bacnetethernet_open(DatalinkPort* port);
// Picks the capture device at position NIC and logs the list. 0 or -1.
int bacnetethernet_find_adapter(DatalinkPort* port);
// The hardware address of the chosen device. 0 or -1.
int bacnetethernet_read_own_mac(DatalinkPort* port);
// Opens the chosen device as an Ethernet adapter with the LLC filter. 0 or -1.
int bacnetethernet_open_adapter(DatalinkPort* port);
// Runs passes while the port state is 1; returns the next state.
uint32_t bacnetethernet_run(DatalinkPort* port);
// One pass: the send queue, one wait for frames or a wake-up, the frames that arrived.
void bacnetethernet_run_pass(DatalinkPort* port);
int bacnetethernet_send(DatalinkPort* port, const BACnetAddress& source, const BACnetAddress& destination,
                        std::span<const uint8_t> npdu, uint8_t expecting_reply, uint8_t priority);
// Frees the frames still queued and closes the adapter (the datalink's close).
void bacnetethernet_clear_queue(DatalinkPort* port);

// A captured frame from the MAC addresses on; frames of the port itself and unicasts to other
// stations are skipped.
void bacnetethernet_handle_frame(DatalinkPort* port, std::span<const uint8_t> frame);
// The receive handler with its trace: `body` is the frame from its length field on,
// `wire_length` the whole frame's length. Hands the NPDU up or drops and counts the frame.
void bacnetethernet_log_frame(DatalinkPort* port, const BACnetAddress& source, std::span<const uint8_t> body,
                              std::size_t wire_length);

// The capture devices as a connect string's NIC key counts them; -1 when they cannot be listed.
int bacnetethernet_list_adapters(std::vector<EthernetAdapter>* adapters);

BacnetEthernetLink* bacnetethernet_link(DatalinkPort* port);
