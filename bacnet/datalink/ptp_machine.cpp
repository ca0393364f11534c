#include "bacnet/datalink/ptp_machine.h"

#include "bacnet/datalink/ptp_modem.h"
#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr int kPassMs = 100;
constexpr int kWriteTimeoutMs = 100;
constexpr int64_t kConnectRetryMs = 15000;
constexpr int64_t kDisconnectRetryMs = 5000;
constexpr int64_t kDataRetryMs = 5000;
constexpr int64_t kHeartbeatMs = 15000;
constexpr int64_t kInactivityMs = 60000;
constexpr int64_t kLongestCallBackOffMs = 16 * 60 * 1000;
constexpr uint32_t kMaxRetries = 3;
// Enough for the longest text looked for.
constexpr std::size_t kHeardLength = 32;

// "BACnet\r" and a zero octet: the caller's call for a Connect Request.
constexpr uint8_t kTrigger[] = {'B', 'A', 'C', 'n', 'e', 't', '\r', 0};
constexpr std::string_view kTriggerText("BACnet\r", 7);
constexpr std::string_view kNoCarrier = "NO CARRIER";

int64_t now() { return os_monotonic_ms(); }

}  // namespace

int ptp_connection_state(uint8_t link_state)
{
  switch (link_state) {
  case kPtpDisconnected:
  case kPtpDisconnecting:
    return 0;
  case kPtpOutbound:
  case kPtpInbound:
    return 1;
  case kPtpConnected:
    return 2;
  default:
    return -1;
  }
}

PtpMachine::PtpMachine(const PtpSettings& settings, ByteLine& line, PtpShared& shared, Deliver deliver, Trace trace)
    : settings_(settings),
      line_(line),
      shared_(shared),
      deliver_(std::move(deliver)),
      trace_(std::move(trace)),
      frame_abort_ms_(serial_frame_abort_ms(settings.baud_rate))
{
  DRIVER_LOCK_SCOPE();
  link_state_ = shared_.link_state = kPtpDisconnected;
}

void PtpMachine::run()
{
  while (pass()) {
  }
}

bool PtpMachine::pass()
{
  if (!receive())
    return false;
  link_step();
  receive_step();
  transmit_step();
  // A frame that no machine takes in this state is dropped, so that reading goes on.
  receiver_.clear_frame();
  return !line_.stopping();
}

int64_t PtpMachine::since(int64_t start) const { return now() - start; }

bool PtpMachine::receive()
{
  if (line_.stopping())
    return false;
  std::vector<uint8_t> octets;  // for the trace
  const int64_t start = now();
  int64_t last_octet = start;
  // The clock is read once per read, right after it: the work between two reads takes no
  // measurable time.
  int64_t read_end = start;
  for (;;) {
    const bool in_frame = receiver_.in_frame();
    const int64_t left = in_frame ? frame_abort_ms_ - (read_end - last_octet) : kPassMs - (read_end - start);
    uint8_t octet = 0;
    const ByteLine::Result result = line_.read(&octet, int(std::max<int64_t>(left, 0)));
    if (result == ByteLine::kStopped)
      return false;
    read_end = now();
    if (result == ByteLine::kOctet) {
      last_octet = read_end;
      if (trace_)
        octets.push_back(octet);
      receiver_.feed(octet);
      remember(line_text_, octet);
      // A good frame's data may hold any text.
      if (receiver_.valid_frame())
        line_text_.clear();
      if (!in_frame && !receiver_.in_frame())
        remember(heard_, octet);
      if (receiver_.frame_waiting())
        break;
      continue;
    }
    if (result == ByteLine::kFailed) {
      // A line that failed for good fails every read at once: no spinning on it.
      receiver_.abort_frame();
      line_.wait(kPassMs);
      break;
    }
    // A wake-up ends a read early; only silence abandons a half-received frame.
    if (in_frame && read_end - last_octet < frame_abort_ms_)
      continue;
    receiver_.abort_frame();
    break;
  }
  if (!octets.empty())
    trace_octets("Received ", octets);
  return true;
}

void PtpMachine::remember(std::string& text, uint8_t octet)
{
  // Trimmed only when twice as long as needed, not at every octet: the texts are looked for
  // in the latest octets alone.
  if (text.size() == 2 * kHeardLength)
    text.erase(0, kHeardLength);
  text.push_back(char(octet));
}

std::string_view PtpMachine::latest(const std::string& text)
{
  return std::string_view(text).substr(text.size() - std::min(text.size(), kHeardLength));
}

bool PtpMachine::heard(std::string_view text) const { return latest(heard_).find(text) != std::string_view::npos; }

bool PtpMachine::carrier_lost() const
{
  return !receiver_.valid_frame() && (heard(kNoCarrier) || latest(line_text_).find(kNoCarrier) != std::string_view::npos);
}

// The answering side refused our password, and would refuse a call made at once again: the
// next call waits one connect retry time, twice as long after each further refusal.
void PtpMachine::back_off_call()
{
  call_back_off_ms_ = call_back_off_ms_ ? std::min(2 * call_back_off_ms_, kLongestCallBackOffMs) : kConnectRetryMs;
  call_after_ = now() + call_back_off_ms_;
  if (trace_)
    trace_("Password refused - calling again in " + std::to_string(call_back_off_ms_ / 1000) + " s.");
  if (!settings_.dial_command.empty())
    PtpModem(line_, [this](std::span<const uint8_t> octets) { send_raw(octets); }, trace_, settings_.guard_ms)
        .hang_up();
}

void PtpMachine::set_link(uint8_t state)
{
  {
    DRIVER_LOCK_SCOPE();
    shared_.link_state = state;
  }
  link_state_ = state;
  awaiting_acceptance_ = false;
  // What was heard before belongs to the state that ends here.
  heard_.clear();
  line_text_.clear();
  if (state == kPtpConnected)
    inactivity_since_ = now();
}

bool PtpMachine::take_request(bool PtpShared::*flag)
{
  DRIVER_LOCK_SCOPE();
  return std::exchange(shared_.*flag, false);
}

void PtpMachine::trace_octets(const char* head, std::span<const uint8_t> octets)
{
  if (!trace_)
    return;
  char text[48];
  std::snprintf(text, sizeof text, "PTP %u %s", unsigned(settings_.network), head);
  std::string line = text;
  for (uint8_t b : octets) {
    std::snprintf(text, sizeof text, " %02X", b);
    line += text;
  }
  trace_(line);
}

void PtpMachine::send_raw(std::span<const uint8_t> octets)
{
  trace_octets("Sent     ", octets);
  line_.write(octets, kWriteTimeoutMs);
}

void PtpMachine::send_frame(uint8_t type, std::span<const uint8_t> data)
{
  if (ptp_encode_frame(type, data, &frame_) != 0)
    return;
  send_raw(frame_);
  // Any frame of ours keeps the peer's inactivity timer from running out.
  heartbeat_since_ = now();
}

void PtpMachine::link_step()
{
  const bool frame = receiver_.valid_frame();
  const int type = frame ? receiver_.frame_type() : PtpReceiver::kNoFrameType;
  auto take = [&] { receiver_.clear_frame(); };
  if (take_request(&PtpShared::disconnect_request)) {
    if (link_state_ == kPtpConnected) {
      send_frame(kPtpDisconnectRequest);
      response_since_ = now();
      set_link(kPtpDisconnecting);
      return;
    }
    // A call still being made is given up; there is nothing to hang up yet.
    if (link_state_ == kPtpOutbound || link_state_ == kPtpInbound)
      set_link(kPtpDisconnected);
  }
  switch (link_state_) {
  case kPtpDisconnected: {
    bool connect;
    {
      DRIVER_LOCK_SCOPE();
      connect = shared_.connect_request;
    }
    if (connect && now() >= call_after_) {
      PtpModem modem(line_, [this](std::span<const uint8_t> octets) { send_raw(octets); },
                     trace_, settings_.guard_ms);
      if (settings_.dial_command.empty() || modem.dial(settings_.dial_command)) {
        send_raw(kTrigger);
        retry_count_ = 0;
        response_since_ = now();
        set_link(kPtpOutbound);
        return;
      }
    }
    if (heard(kTriggerText)) {
      send_frame(kPtpConnectRequest);
      retry_count_ = 0;
      response_since_ = now();
      take_request(&PtpShared::connect_request);
      set_link(kPtpInbound);
    }
    return;
  }
  case kPtpOutbound:
    if (type == kPtpConnectRequest) {
      take();
      const std::string password = settings_.password.value_or("");
      send_frame(kPtpConnectResponse, std::span(reinterpret_cast<const uint8_t*>(password.data()), password.size()));
      set_link(kPtpConnected);
      awaiting_acceptance_ = true;
    } else if (since(response_since_) >= kConnectRetryMs) {
      if (retry_count_ == kMaxRetries) {
        set_link(kPtpDisconnected);
      } else {
        ++retry_count_;
        send_raw(kTrigger);
        response_since_ = now();
      }
    }
    return;
  case kPtpInbound:
    if (type == kPtpConnectResponse) {
      const std::span<const uint8_t> data = receiver_.data();
      const bool accepted = !settings_.password ||
                            std::string_view(reinterpret_cast<const char*>(data.data()), data.size()) == *settings_.password;
      take();
      if (accepted) {
        set_link(kPtpConnected);
      } else {
        send_frame(kPtpDisconnectRequest);
        response_since_ = now();
        set_link(kPtpDisconnecting);
      }
    } else if (since(response_since_) >= kConnectRetryMs) {
      if (retry_count_ == kMaxRetries) {
        set_link(kPtpDisconnected);
      } else {
        ++retry_count_;
        send_frame(kPtpConnectRequest);
        response_since_ = now();
      }
    } else if (type == kPtpDisconnectRequest) {
      take();
      send_frame(kPtpDisconnectResponse);
      set_link(kPtpDisconnected);
    }
    return;
  case kPtpConnected:
    if (type == kPtpDisconnectRequest) {
      take();
      send_frame(kPtpDisconnectResponse);
      const bool refused = awaiting_acceptance_;
      set_link(kPtpDisconnected);
      if (refused)
        back_off_call();
      return;
    }
    if (frame && awaiting_acceptance_) {
      awaiting_acceptance_ = false;
      call_back_off_ms_ = 0;
    }
    if (type == kPtpConnectRequest) {
      take();
      send_frame(kPtpConnectResponse);
    } else if (since(inactivity_since_) > kInactivityMs || carrier_lost()) {
      set_link(kPtpDisconnected);
    }
    return;
  case kPtpDisconnecting:
    if (receiver_.frame_waiting()) {
      if (type == kPtpDisconnectRequest)
        send_frame(kPtpDisconnectResponse);
      if (type == kPtpDisconnectRequest || type == kPtpDisconnectResponse)
        set_link(kPtpDisconnected);
      take();
    } else if (since(response_since_) >= kDisconnectRetryMs) {
      if (retry_count_ == kMaxRetries) {
        set_link(kPtpDisconnected);
      } else {
        ++retry_count_;
        send_frame(kPtpDisconnectRequest);
        response_since_ = now();
      }
    }
    return;
  default:
    set_link(kPtpDisconnected);
    return;
  }
}

void PtpMachine::receive_step()
{
  if (receive_state_ == kReceiveWaiting) {
    if (link_state_ != kPtpConnected)
      return;
    expected_bit_ = 0;
    receive_state_ = kReceiveIdle;
  }
  bool taken = true;
  if (receiver_.valid_frame()) {
    const int type = receiver_.frame_type();
    switch (type) {
    case kPtpHeartbeatXoff:
    case kPtpHeartbeatXon:
      peer_xoff_ = type == kPtpHeartbeatXoff;
      break;
    case kPtpData0:
    case kPtpData1:
      on_data();
      break;
    case kPtpDataAck0Xoff:
    case kPtpDataAck1Xoff:
    case kPtpDataAck0Xon:
    case kPtpDataAck1Xon:
    case kPtpDataNak0Xoff:
    case kPtpDataNak1Xoff:
    case kPtpDataNak0Xon:
    case kPtpDataNak1Xon: {
      // Bit 0 of the type names the sequence bit, bit 1 the flow state, bit 3 a Nak.
      const bool nak = type >= kPtpDataNak0Xoff;
      peer_xoff_ = (type & 2) == 0;
      const uint8_t bit = uint8_t(type & 1);
      if (bit == transmit_bit_)
        (nak ? nak_ : ack_)[bit] = true;
      break;
    }
    case kPtpEchoRequest:
      send_frame(kPtpEchoResponse);
      break;
    case kPtpEchoResponse:
      break;
    default:
      taken = false;  // the link machine's
      break;
    }
  } else if (receiver_.invalid_frame()) {
    // A damaged data frame is asked for again; other damaged frames are only dropped.
    if (receiver_.frame_type() == kPtpData0)
      send_frame(kPtpDataNak0Xon);
    else if (receiver_.frame_type() == kPtpData1)
      send_frame(kPtpDataNak1Xon);
  } else {
    taken = false;
  }
  if (taken) {
    receiver_.clear_frame();
    inactivity_since_ = now();
  } else if (link_state_ == kPtpDisconnected) {
    receive_state_ = kReceiveWaiting;
  }
}

void PtpMachine::on_data()
{
  const uint8_t bit = uint8_t(receiver_.frame_type() - kPtpData0);
  // A repeat (our acknowledgement was lost) is acknowledged again but not handed up twice.
  if (bit == expected_bit_) {
    if (!receiver_.data().empty() && deliver_)
      deliver_(receiver_.data());
    expected_bit_ ^= 1;
  }
  send_frame(bit ? kPtpDataAck1Xon : kPtpDataAck0Xon);
}

void PtpMachine::send_data()
{
  send_frame(transmit_bit_ ? kPtpData1 : kPtpData0, transmit_buffer_);
  response_since_ = now();
}

void PtpMachine::transmit_step()
{
  if (transmit_state_ != kTransmitWaiting && link_state_ == kPtpDisconnected) {
    transmit_state_ = kTransmitWaiting;
    return;
  }
  switch (transmit_state_) {
  case kTransmitWaiting:
    if (link_state_ == kPtpConnected) {
      transmit_bit_ = 0;
      send_frame(kPtpHeartbeatXon);
      transmit_state_ = kTransmitIdle;
    }
    return;
  case kTransmitIdle:
    if (!peer_xoff_)
      transmit_state_ = kTransmitReady;
    break;
  case kTransmitReady: {
    if (peer_xoff_) {
      transmit_state_ = kTransmitIdle;
      return;
    }
    bool taken;
    {
      DRIVER_LOCK_SCOPE();
      taken = shared_.queue.get(transmit_buffer_);
    }
    if (taken) {
      ack_[0] = ack_[1] = nak_[0] = nak_[1] = false;
      retry_count_ = 0;
      send_data();
      transmit_state_ = kTransmitPending;
      return;
    }
    break;
  }
  case kTransmitPending:
    if (ack_[transmit_bit_]) {
      transmit_bit_ ^= 1;
      ack_[0] = ack_[1] = false;
      transmit_state_ = kTransmitReady;
      return;
    }
    if (nak_[transmit_bit_] || since(response_since_) > kDataRetryMs) {
      nak_[0] = nak_[1] = false;
      if (retry_count_ < kMaxRetries) {
        ++retry_count_;
        send_data();
      } else {
        // Given up: the next NPDU goes with the same sequence bit.
        retry_count_ = 0;
        response_since_ = now();
        transmit_state_ = kTransmitReady;
      }
    }
    return;
  }
  if (since(heartbeat_since_) > kHeartbeatMs)
    send_frame(kPtpHeartbeatXon);
}
