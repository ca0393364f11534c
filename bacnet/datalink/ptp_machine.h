// The state machines of a point-to-point link: the link machine (trigger, connect with
// password, disconnect, and the modem dialler before it), the receive machine (data with the
// alternating sequence bit, acknowledgements, heartbeats) and the transmit machine (one NPDU
// in flight, repeated on Nak or silence, held while the peer says XOFF). Runs on the port
// thread; octets and time come only through its ByteLine and the stack's clock
// (os_monotonic_ms), so tests drive it on a scripted line in virtual time. The shared part
// (send queue, link state, the two request flags) is touched only under the global lock.
#pragma once

#include "bacnet/datalink/byte_line.h"
#include "bacnet/datalink/ptp_frame.h"
#include "bacnet/foundation/ring.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum PtpLinkState : uint8_t {
  kPtpDisconnected = 0,
  kPtpOutbound = 1,  // trigger sent, waiting for a Connect Request
  kPtpInbound = 2,   // Connect Request sent, waiting for a Connect Response
  kPtpConnected = 3,
  kPtpDisconnecting = 4,
};

inline constexpr std::size_t kPtpQueueSize = 32;

// What the stack thread and the port manager share with the port thread.
struct PtpShared {
  Ring<std::vector<uint8_t>, kPtpQueueSize> queue;  // NPDUs, oldest first
  uint8_t link_state = kPtpDisconnected;
  bool connect_request = false;
  bool disconnect_request = false;
};

struct PtpSettings {
  std::optional<std::string> password;  // none: every Connect Response is accepted
  std::string dial_command;             // with its carriage return; empty: no modem
  int guard_ms = 1000;                  // the modem's escape guard time
  uint32_t baud_rate = 9600;
  uint32_t network = 0;                 // names the port in the trace
};

// The connection as others see it: 0 down (also while hanging up), 1 connecting, 2 up.
int ptp_connection_state(uint8_t link_state);

class PtpMachine {
public:
  using Deliver = std::function<void(std::span<const uint8_t> npdu)>;
  using Trace = std::function<void(const std::string& text)>;

  PtpMachine(const PtpSettings& settings, ByteLine& line, PtpShared& shared, Deliver deliver, Trace trace = nullptr);

  // Reads what the line brings (up to a frame), then runs the link, receive and transmit
  // machines once. False once the line is to stop.
  bool pass();
  void run();

  uint8_t link_state() const { return link_state_; }

private:
  bool receive();
  // Keeps the latest octets in `text`; `latest` is the part that counts.
  static void remember(std::string& text, uint8_t octet);
  static std::string_view latest(const std::string& text);
  bool heard(std::string_view text) const;
  bool carrier_lost() const;
  void back_off_call();
  void set_link(uint8_t state);
  void link_step();
  void receive_step();
  void transmit_step();
  void on_data();
  void send_frame(uint8_t type, std::span<const uint8_t> data = {});
  void send_raw(std::span<const uint8_t> octets);
  void send_data();
  void trace_octets(const char* head, std::span<const uint8_t> octets);
  bool take_request(bool PtpShared::*flag);
  int64_t since(int64_t start) const;

  PtpSettings settings_;
  ByteLine& line_;
  PtpShared& shared_;
  Deliver deliver_;
  Trace trace_;
  PtpReceiver receiver_;
  int frame_abort_ms_;
  // The latest octets heard outside frames, where the trigger and the modem's texts come.
  std::string heard_;
  // The latest octets of all, frames included, since the last good frame: a modem that loses
  // the carrier says so in the middle of a frame too.
  std::string line_text_;

  uint8_t link_state_ = kPtpDisconnected;
  // Our call is connected, but the answering side has sent nothing since our password: a
  // Disconnect Request now refuses the password.
  bool awaiting_acceptance_ = false;
  // After a refused password the next call waits (0: no refusal since the last accepted call).
  int64_t call_back_off_ms_ = 0;
  int64_t call_after_ = 0;
  uint32_t retry_count_ = 0;
  int64_t response_since_ = 0;
  int64_t inactivity_since_ = 0;

  enum ReceiveState : uint8_t { kReceiveWaiting = 0, kReceiveIdle = 1 };
  ReceiveState receive_state_ = kReceiveWaiting;
  uint8_t expected_bit_ = 0;
  bool ack_[2] = {};
  bool nak_[2] = {};

  enum TransmitState : uint8_t { kTransmitWaiting = 0, kTransmitIdle = 1, kTransmitReady = 2, kTransmitPending = 3 };
  TransmitState transmit_state_ = kTransmitWaiting;
  uint8_t transmit_bit_ = 0;
  int64_t heartbeat_since_ = 0;
  bool peer_xoff_ = false;
  std::vector<uint8_t> transmit_buffer_;
  // The frame being sent; a member so that every frame reuses its room.
  std::vector<uint8_t> frame_;
};
