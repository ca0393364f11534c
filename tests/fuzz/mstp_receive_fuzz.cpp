// Arbitrary octets on an MS/TP line: first through the Receive Frame machine alone, then as
// what a station's Master Node machine hears on a scripted line in virtual time (with a request
// and an answer queued, so that it also sends while holding the token).
#include "fuzz_line.h"
#include "bacnet/datalink/mstp_master.h"
#include "bacnet/datalink/mstp_receive.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr uint8_t kStation = 5;

void check_receiver(const uint8_t* data, size_t size)
{
  MstpReceiver receiver(kStation);
  for (size_t i = 0; i < size; ++i) {
    receiver.feed(data[i]);
    if (receiver.valid_frame() && receiver.data().size() > kMstpMaxData)
      __builtin_trap();
    if (receiver.valid_frame() && receiver.invalid_frame())
      __builtin_trap();
    if (data[i] == 0x00 && i % 7 == 0)
      receiver.abort_frame();
    if (receiver.valid_frame() || receiver.invalid_frame())
      receiver.clear_frame();
  }
}

void check_master(const uint8_t* data, size_t size)
{
  // The octets come in bursts: 0xF0 on the line stands for 40 ms of silence before the rest.
  FuzzLine line({data, size}, 40);
  FuzzClock clock(line.now_ms);
  os_set_clock(&clock);
  line.stop_at = 3000;

  // The queues hold 512 entries: made once, and emptied after every input instead.
  static MstpQueues queues;
  DatalinkQueueEntry request;
  request.destination.network = 1;
  request.destination.mac[0] = 9;
  request.destination.mac_len = 1;
  request.frame = {0x01, 0x04, 0x00, 0x05, 0x01, 0x0C};
  request.expecting_reply = 1;
  DatalinkQueueEntry answer = request;
  answer.destination.mac[0] = 3;
  answer.frame = {0x01, 0x00, 0x30, 0x01, 0x0C};
  queues.token.put(std::move(request));
  queues.reply.put(std::move(answer));

  MstpParameters parameters;
  parameters.this_station = kStation;
  parameters.max_master = 9;
  size_t delivered = 0;
  MstpMaster master(parameters, line, queues, [&](uint8_t, std::span<const uint8_t> npdu) {
    if (npdu.size() > kMstpMaxData)
      __builtin_trap();
    for (uint8_t b : npdu)
      delivered += b;
  });
  master.run();
  os_set_clock(nullptr);
  DatalinkQueueEntry left;
  while (queues.token.get(left) || queues.reply.get(left)) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > 4096)
    return 0;
  check_receiver(data, size);
  check_master(data, size);
  return 0;
}
