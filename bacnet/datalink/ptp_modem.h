// The dialler of a point-to-point link: wakes an AT-command modem (hanging up a call it may
// still hold with "+++" between guard times and "ATH"), sends the dial command and waits for
// CONNECT. Runs on the port thread inside the link machine; octets and time only through the
// ByteLine and the stack's clock. It writes through the machine's raw send (so the trace sees
// the commands) and reports to the trace only.
#pragma once

#include "bacnet/datalink/byte_line.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>

class PtpModem {
public:
  using Send = std::function<void(std::span<const uint8_t> octets)>;
  using Log = std::function<void(const std::string& text)>;

  PtpModem(ByteLine& line, Send send, Log log, int guard_ms)
      : line_(line), send_(std::move(send)), log_(std::move(log)), guard_ms_(guard_ms)
  {
  }

  // True once the modem answered the dial command with CONNECT; false when it failed or the
  // line is to stop.
  bool dial(const std::string& dial_command);
  // Ends the call the modem holds: "+++" between two guard times, then "ATH". False once the
  // line is to stop.
  bool hang_up();

private:
  void send(std::string_view text);
  // The modem's answer: octets until `wanted` shows up, or until `timeout_ms` pass without one.
  std::string collect(int timeout_ms, std::string_view wanted);
  void log(const std::string& text);

  ByteLine& line_;
  Send send_;
  Log log_;
  int guard_ms_;
};
