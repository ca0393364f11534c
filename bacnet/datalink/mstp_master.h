// The Master Node machine of an MS/TP station: token passing, poll for master, sole master,
// lost-token recovery, and the two send queues it drains while it holds the token. It runs on
// the port thread and reads octets and time only through its ByteLine and the stack's clock
// (os_monotonic_ms), so tests drive every transition on a scripted line in virtual time.
// It must not touch the queues without the global lock; the stack thread fills them.
#pragma once

#include "bacnet/datalink/byte_line.h"
#include "bacnet/datalink/mstp_frame.h"
#include "bacnet/datalink/mstp_receive.h"
#include "bacnet/network/datalink_queue.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The station's parameters; times in milliseconds.
struct MstpParameters {
  uint8_t this_station = 0;
  uint16_t max_info_frames = 50;
  uint8_t max_master = 100;
  uint16_t poll = 50;
  uint16_t retry_token = 1;
  uint16_t min_octets = 4;
  uint32_t no_token = 500;
  uint32_t reply_timeout = 300;
  uint32_t slot = 10;
  uint32_t usage_delay = 15;
  uint32_t usage_timeout = 100;
  // The line's speed, for the silence that abandons a half-received frame.
  uint32_t baud_rate = 9600;
};

// The send queues of a station: requests wait for the token, answers for the station that
// asked. Put and get under the global lock.
struct MstpQueues {
  DatalinkQueue token;
  DatalinkQueue reply;
};

enum class MstpState : uint8_t {
  kIdle = 0,
  kUseToken = 1,
  kWaitForReply = 2,
  kDoneWithToken = 3,
  kPassToken = 4,
  kNoToken = 5,
  kPollForMaster = 6,
  kAnswerDataRequest = 7,
};

// How long a station that was asked for data waits for its stack's answer before it sends
// Reply Postponed.
inline constexpr int kMstpReplyDelayMs = 100;

class MstpMaster {
public:
  // A data frame for this station (or a broadcast) that goes up to the network layer.
  using Deliver = std::function<void(uint8_t source, std::span<const uint8_t> npdu)>;
  // Every data frame sent and received, as on the wire; set only while tracing.
  using FrameTrace = std::function<void(bool sent, std::span<const uint8_t> frame)>;

  MstpMaster(const MstpParameters& parameters, ByteLine& line, MstpQueues& queues, Deliver deliver,
             FrameTrace trace = nullptr);

  // The initial variables; the machine starts in IDLE with the line just gone silent.
  void start();
  // Runs the current state once; false when the line is to stop.
  bool step();
  // start, then steps until the line is to stop.
  void run();

  MstpState state() const { return state_; }
  uint8_t next_station() const { return next_station_; }
  uint8_t poll_station() const { return poll_station_; }
  bool sole_master() const { return sole_master_; }

private:
  int64_t silence() const;
  // The silence after which the lost token is this station's to claim.
  int64_t slot_start() const;
  int modulo(int station) const { return station % (int(params_.max_master) + 1); }
  bool receive_step(int64_t timeout_ms);
  void send_frame(uint8_t type, uint8_t destination, std::span<const uint8_t> data = {});
  void send_token();
  void poll_new_successor(uint8_t station);
  void handle_idle_frame();

  bool idle();
  bool use_token();
  bool wait_for_reply();
  bool done_with_token();
  bool pass_token();
  bool no_token();
  bool poll_for_master();
  bool answer_data_request();

  MstpParameters params_;
  ByteLine& line_;
  MstpQueues& queues_;
  Deliver deliver_;
  FrameTrace trace_;
  MstpReceiver receiver_;
  int frame_abort_;
  // The frame being sent; a member so that the token's many frames reuse its room.
  std::vector<uint8_t> frame_;

  MstpState state_ = MstpState::kIdle;
  uint8_t next_station_ = 0;
  uint8_t poll_station_ = 0;
  uint8_t requester_ = 0;  // the station whose Data Expecting Reply is being answered
  bool sole_master_ = false;
  uint32_t retry_count_ = 0;
  uint32_t token_count_ = 0;
  uint32_t frame_count_ = 0;
  uint32_t event_count_ = 0;
  int64_t silence_start_ = 0;
};

// The MS/TP station of a queued frame's destination: 255 for a broadcast.
uint8_t mstp_destination_station(const BACnetAddress& destination);
