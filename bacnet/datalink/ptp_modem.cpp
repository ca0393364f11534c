#include "bacnet/datalink/ptp_modem.h"

#include "bacnet/foundation/os_wrappers.h"

#include <cstdint>

namespace {

constexpr int kModemTries = 3;
constexpr int kAnswerMs = 1000;
constexpr int kConnectMs = 20000;
constexpr int kAfterHangUpMs = 1;
// The silence that ends an answer once it holds what was looked for.
constexpr int kLineEndMs = 100;

}  // namespace

void PtpModem::log(const std::string& text)
{
  if (log_)
    log_(text);
}

void PtpModem::send(std::string_view text)
{
  send_(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::string PtpModem::collect(int timeout_ms, std::string_view wanted)
{
  std::string answer;
  // Once the wanted text is there, only the rest of its line is waited for, not the whole
  // silence. The silence is measured on the clock: a wake-up may end a read early.
  int64_t last = os_monotonic_ms();
  for (;;) {
    const int64_t quiet = answer.find(wanted) == std::string::npos ? timeout_ms : kLineEndMs;
    const int64_t left = quiet - (os_monotonic_ms() - last);
    if (left <= 0)
      break;
    uint8_t octet = 0;
    const ByteLine::Result result = line_.read(&octet, int(left));
    if (result == ByteLine::kOctet) {
      answer.push_back(char(octet));
      last = os_monotonic_ms();
    } else if (result != ByteLine::kTimeout) {
      break;
    }
  }
  if (answer.size() >= 2)
    log("Modem returned :- " + std::string(answer.c_str()));
  return answer;
}

bool PtpModem::hang_up()
{
  // The modem takes "+++" as its escape only with the line quiet for the guard time on both
  // sides of it.
  if (!line_.hold(guard_ms_))
    return false;
  send("+++");
  if (!line_.hold(guard_ms_))
    return false;
  send("ATH\r");
  if (!line_.hold(kAfterHangUpMs))
    return false;
  collect(kAnswerMs, "OK");
  return true;
}

bool PtpModem::dial(const std::string& dial_command)
{
  for (int attempt = 1;; ++attempt) {
    send("AT\r");
    const std::string answer = collect(kAnswerMs, "OK");
    if (line_.stopping())
      return false;
    if (answer.size() <= 1 || answer.find("OK") != std::string::npos)
      break;
    log("No response.  Hang up and try again.");
    if (!hang_up())
      return false;
    if (attempt == kModemTries) {
      log("No response from Modem - Aborting connection.");
      return false;
    }
  }
  log("dialing");
  send(dial_command);
  const std::string answer = collect(kConnectMs, "CONNECT");
  if (line_.stopping())
    return false;
  if (answer.empty()) {
    log("No connection response from Modem - Aborting connection.");
    return false;
  }
  if (answer.size() == 1 || answer.find("CONNECT") != std::string::npos)
    return true;
  log("Connection Failed.");
  return false;
}
