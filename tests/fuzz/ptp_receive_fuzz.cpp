// Arbitrary octets on a point-to-point line, as what the link, receive and transmit machines
// (and the receive-frame machine under them) hear on a scripted line in virtual time. The first
// octet picks a password, a modem, a call and how long the line stays silent at the end;
// NPDUs wait to be sent.
#include "fuzz_line.h"
#include "bacnet/datalink/ptp_machine.h"

#include <cstddef>
#include <cstdint>

namespace {

void check_machines(const uint8_t* data, size_t size)
{
  if (size == 0)
    return;
  // The octets come in bursts: 0xF0 stands for 700 ms of silence before the rest.
  FuzzLine line({data + 1, size - 1}, 700);
  // Bursts spread over more than 90 s (more than 128 pauses) reach no timer that 70 s of silence
  // does not, and cost a pass of the machines every 100 ms.
  if (line.last_burst() > 90000)
    return;
  FuzzClock clock(line.now_ms);
  os_set_clock(&clock);
  // Bits 3 to 6 all set ask for 70 s of silence after the last burst, long enough for every
  // retry and the link's inactivity time-out; bits 3 to 5 alone for 20 s, enough for the
  // heartbeat, the data and disconnect retries and a first connect retry. Other inputs end
  // 300 ms after it, time to drop a half-received frame and answer a whole one. Every 100 ms
  // of silence is a pass of the machines, most inputs' own octets and pauses fewer than a
  // hundred: the long silences are kept rare.
  const int64_t silence = (data[0] & 0x78) == 0x78 ? 70000 : (data[0] & 0x38) == 0x38 ? 20000 : 300;
  line.stop_at = line.last_burst() + silence;

  PtpSettings settings;
  if (data[0] & 1)
    settings.password = "pw";
  if (data[0] & 2)
    settings.dial_command = "ATD1\r";
  PtpShared shared;
  shared.connect_request = data[0] & 4;
  for (int i = 0; i < 3; ++i)
    shared.queue.put({0x01, 0x00, 0x10, uint8_t(i)});
  PtpMachine machine(settings, line, shared, [](std::span<const uint8_t> npdu) {
    if (npdu.empty() || npdu.size() > kPtpMaxData)
      __builtin_trap();
  });
  // A machine that is down with no call to make once the input is read stays down: the rest of
  // the silence would only repeat the same idle pass.
  while (machine.pass() && !(line.drained() && machine.link_state() == kPtpDisconnected && !shared.connect_request)) {
  }
  if (line.longest_write > kPtpMaxFrame)
    __builtin_trap();
  os_set_clock(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > 4096)
    return 0;
  check_machines(data, size);
  return 0;
}
