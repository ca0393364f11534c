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
  FuzzClock clock(line.now_ms);
  os_set_clock(&clock);
  // Bits 3 to 5 all set ask for 70 s of silence after the last burst, long enough for every
  // retry and the link's inactivity time-out. Other inputs end 300 ms after it, time to drop a
  // half-received frame and answer a whole one: those 70 s are 700 passes of the machines,
  // most inputs' own octets and pauses fewer than a hundred.
  const bool long_silence = (data[0] & 0x38) == 0x38;
  line.stop_at = line.last_burst() + (long_silence ? 70000 : 300);

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
  machine.run();
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
