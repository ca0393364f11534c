#include "bacnet/datalink/mstp_master.h"

#include "bacnet/foundation/driver.h"
#include "bacnet/foundation/os_wrappers.h"

#include <algorithm>
#include <vector>

namespace {

int64_t now() { return os_monotonic_ms(); }

}  // namespace

uint8_t mstp_destination_station(const BACnetAddress& destination)
{
  if (destination.network == kGlobalBroadcastNetwork || destination.mac_len == 0)
    return kMstpBroadcast;
  return destination.mac[0];
}

MstpMaster::MstpMaster(const MstpParameters& parameters, ByteLine& line, MstpQueues& queues, Deliver deliver,
                       FrameTrace trace)
    : params_(parameters),
      line_(line),
      queues_(queues),
      deliver_(std::move(deliver)),
      trace_(std::move(trace)),
      receiver_(parameters.this_station),
      frame_abort_(serial_frame_abort_ms(parameters.baud_rate))
{
}

void MstpMaster::start()
{
  next_station_ = poll_station_ = params_.this_station;
  token_count_ = params_.poll;
  sole_master_ = false;
  retry_count_ = frame_count_ = event_count_ = 0;
  receiver_.restart();
  receiver_.clear_frame();
  silence_start_ = now();
  state_ = MstpState::kIdle;
}

void MstpMaster::run()
{
  start();
  while (step()) {
  }
}

bool MstpMaster::step()
{
  switch (state_) {
  case MstpState::kIdle:
    return idle();
  case MstpState::kUseToken:
    return use_token();
  case MstpState::kWaitForReply:
    return wait_for_reply();
  case MstpState::kDoneWithToken:
    return done_with_token();
  case MstpState::kPassToken:
    return pass_token();
  case MstpState::kNoToken:
    return no_token();
  case MstpState::kPollForMaster:
    return poll_for_master();
  case MstpState::kAnswerDataRequest:
    return answer_data_request();
  }
  return false;
}

int64_t MstpMaster::silence() const { return now() - silence_start_; }

int64_t MstpMaster::slot_start() const
{
  return int64_t(params_.no_token) + int64_t(params_.slot) * params_.this_station;
}

bool MstpMaster::receive_step(int64_t timeout_ms)
{
  if (line_.stopping())
    return false;
  const int wait = int(std::clamp<int64_t>(timeout_ms, 0, INT32_MAX));
  receiver_.restart();
  for (;;) {
    uint8_t octet = 0;
    const bool in_frame = receiver_.state() != MstpReceiver::kIdle;
    switch (line_.read(&octet, in_frame ? frame_abort_ : wait)) {
    case ByteLine::kStopped:
      return false;
    case ByteLine::kOctet:
      silence_start_ = now();
      ++event_count_;
      receiver_.feed(octet);
      if (receiver_.state() == MstpReceiver::kIdle) {
        if (trace_ && receiver_.valid_frame())
          trace_(false, receiver_.frame_octets());
        return true;
      }
      break;
    case ByteLine::kTimeout:
      receiver_.abort_frame();
      return true;
    case ByteLine::kFailed:
      silence_start_ = now();
      receiver_.restart();
      receiver_.set_invalid_frame();
      // A line that failed for good (a closed pseudo-terminal) fails every read at once.
      if (!line_.hold(wait > 0 ? wait : frame_abort_))
        return false;
      silence_start_ = now();
      return true;
    }
  }
}

void MstpMaster::send_frame(uint8_t type, uint8_t destination, std::span<const uint8_t> data)
{
  if (mstp_encode_frame(type, destination, params_.this_station, data, &frame_) != 0)
    return;
  if (trace_)
    trace_(true, frame_);
  line_.write(frame_, int(params_.usage_timeout));
  // What was received before this frame answers nothing that comes after it.
  silence_start_ = now();
  receiver_.clear_frame();
}

void MstpMaster::send_token()
{
  send_frame(kMstpToken, next_station_);
  retry_count_ = 0;
  event_count_ = 0;
  state_ = MstpState::kPassToken;
}

void MstpMaster::poll_new_successor(uint8_t station)
{
  poll_station_ = station;
  send_frame(kMstpPollForMaster, poll_station_);
  next_station_ = params_.this_station;
  retry_count_ = token_count_ = event_count_ = 0;
  state_ = MstpState::kPollForMaster;
}

bool MstpMaster::idle()
{
  if (!receiver_.valid_frame() && !receiver_.invalid_frame()) {
    // Up to the start of this station's slot after the token was lost.
    if (!receive_step(slot_start() - silence()))
      return false;
  }
  if (receiver_.invalid_frame()) {
    receiver_.clear_frame();
  } else if (receiver_.valid_frame()) {
    handle_idle_frame();
  } else if (silence() >= params_.no_token) {
    event_count_ = 0;
    state_ = MstpState::kNoToken;
  }
  return true;
}

void MstpMaster::handle_idle_frame()
{
  const uint8_t type = receiver_.frame_type();
  const uint8_t source = receiver_.source();
  const bool for_us = receiver_.destination() == params_.this_station;
  const bool broadcast = receiver_.destination() == kMstpBroadcast;
  // The receiver's buffer holds the data until the next octet is fed: no copy is needed.
  const std::span<const uint8_t> data = receiver_.data();
  receiver_.clear_frame();
  if (!for_us && !broadcast)
    return;
  switch (type) {
  case kMstpToken:
    if (for_us) {
      sole_master_ = false;
      frame_count_ = 0;
      state_ = MstpState::kUseToken;
    }
    break;
  case kMstpPollForMaster:
    if (for_us)
      send_frame(kMstpReplyToPollForMaster, source);
    break;
  case kMstpDataNotExpectingReply:
    if (deliver_)
      deliver_(source, data);
    break;
  case kMstpDataExpectingReply:
    if (for_us) {
      if (deliver_)
        deliver_(source, data);
      requester_ = source;
      state_ = MstpState::kAnswerDataRequest;
    }
    break;
  case kMstpTestRequest:
    // Answered by the link itself; test frames never reach the network layer.
    if (for_us)
      send_frame(kMstpTestResponse, source, data);
    break;
  default:
    break;
  }
}

bool MstpMaster::use_token()
{
  DatalinkQueueEntry entry;
  bool found;
  bool reply = false;
  {
    DRIVER_LOCK_SCOPE();
    // Answers that missed their requester's wait go first: they are late already.
    reply = found = queues_.reply.get(entry);
    if (!found)
      found = queues_.token.get(entry);
  }
  if (!found) {
    frame_count_ = params_.max_info_frames;
    state_ = MstpState::kDoneWithToken;
    return true;
  }
  const uint8_t destination = mstp_destination_station(entry.destination);
  // Nobody answers a broadcast: it never waits for a reply.
  const bool expecting = !reply && entry.expecting_reply && destination != kMstpBroadcast;
  send_frame(expecting ? kMstpDataExpectingReply : kMstpDataNotExpectingReply, destination, entry.frame);
  ++frame_count_;
  state_ = expecting ? MstpState::kWaitForReply : MstpState::kDoneWithToken;
  return true;
}

bool MstpMaster::wait_for_reply()
{
  if (!receive_step(int64_t(params_.reply_timeout) - silence()))
    return false;
  if (receiver_.invalid_frame()) {
    receiver_.clear_frame();
    state_ = MstpState::kDoneWithToken;
  } else if (receiver_.valid_frame()) {
    const uint8_t type = receiver_.frame_type();
    const bool for_us = receiver_.destination() == params_.this_station;
    if (for_us && type == kMstpDataNotExpectingReply) {
      if (deliver_)
        deliver_(receiver_.source(), receiver_.data());
      state_ = MstpState::kDoneWithToken;
    } else if (for_us && (type == kMstpTestResponse || type == kMstpReplyPostponed)) {
      state_ = MstpState::kDoneWithToken;
    } else {
      state_ = MstpState::kIdle;
    }
    receiver_.clear_frame();
  } else if (silence() >= params_.reply_timeout) {
    frame_count_ = params_.max_info_frames;
    state_ = MstpState::kDoneWithToken;
  }
  return true;
}

bool MstpMaster::done_with_token()
{
  const uint8_t ts = params_.this_station;
  if (frame_count_ < params_.max_info_frames) {
    state_ = MstpState::kUseToken;
  } else if (token_count_ < params_.poll) {
    ++token_count_;
    if (sole_master_) {
      frame_count_ = 0;
      state_ = MstpState::kUseToken;
    } else {
      send_token();
    }
  } else if (next_station_ == modulo(ts + 1)) {
    // No gap behind this station to poll.
    ++token_count_;
    send_token();
  } else if (next_station_ != modulo(poll_station_ + 1)) {
    poll_station_ = uint8_t(modulo(poll_station_ + 1));
    send_frame(kMstpPollForMaster, poll_station_);
    retry_count_ = 0;
    state_ = MstpState::kPollForMaster;
  } else if (!sole_master_) {
    // The gap is polled through: start over behind this station next time.
    poll_station_ = ts;
    token_count_ = 0;
    send_token();
  } else {
    poll_new_successor(uint8_t(modulo(next_station_ + 1)));
  }
  return true;
}

bool MstpMaster::pass_token()
{
  if (!receive_step(int64_t(params_.usage_timeout) - silence()))
    return false;
  if (event_count_ > params_.min_octets) {
    // The successor uses the token; what it sent is handled in IDLE.
    state_ = MstpState::kIdle;
  } else if (silence() >= params_.usage_timeout) {
    if (retry_count_ < params_.retry_token) {
      ++retry_count_;
      send_frame(kMstpToken, next_station_);
      event_count_ = 0;
    } else {
      poll_new_successor(uint8_t(modulo(next_station_ + 1)));
    }
  }
  return true;
}

bool MstpMaster::no_token()
{
  if (silence() < slot_start()) {
    if (event_count_ > params_.min_octets) {
      state_ = MstpState::kIdle;
      return true;
    }
    return receive_step(slot_start() - silence());
  }
  // This station's slot, or later still: the line stayed silent even longer, so the token is
  // as much ours as in the slot itself.
  poll_new_successor(uint8_t(modulo(params_.this_station + 1)));
  return true;
}

bool MstpMaster::poll_for_master()
{
  if (!receive_step(int64_t(params_.usage_timeout) - silence()))
    return false;
  if (receiver_.valid_frame()) {
    if (receiver_.destination() == params_.this_station && receiver_.frame_type() == kMstpReplyToPollForMaster) {
      sole_master_ = false;
      next_station_ = receiver_.source();
      send_token();
      poll_station_ = params_.this_station;
      token_count_ = 0;
    } else {
      state_ = MstpState::kIdle;
    }
    receiver_.clear_frame();
    return true;
  }
  if (!receiver_.invalid_frame() && silence() < params_.usage_timeout)
    return true;
  receiver_.clear_frame();
  const uint8_t ts = params_.this_station;
  if (sole_master_) {
    frame_count_ = 0;
    state_ = MstpState::kUseToken;
  } else if (next_station_ != ts) {
    send_token();
  } else if (modulo(poll_station_ + 1) != ts) {
    poll_station_ = uint8_t(modulo(poll_station_ + 1));
    send_frame(kMstpPollForMaster, poll_station_);
    retry_count_ = 0;
  } else {
    sole_master_ = true;
    frame_count_ = 0;
    state_ = MstpState::kUseToken;
  }
  return true;
}

bool MstpMaster::answer_data_request()
{
  const int64_t deadline = now() + kMstpReplyDelayMs;
  for (;;) {
    DatalinkQueueEntry entry;
    bool found;
    {
      DRIVER_LOCK_SCOPE();
      found = queues_.reply.take_first(
          [&](const DatalinkQueueEntry& e) { return mstp_destination_station(e.destination) == requester_; }, entry);
    }
    if (found) {
      send_frame(kMstpDataNotExpectingReply, requester_, entry.frame);
      state_ = MstpState::kIdle;
      return true;
    }
    const int64_t left = deadline - now();
    if (left <= 0) {
      send_frame(kMstpReplyPostponed, requester_);
      state_ = MstpState::kIdle;
      return true;
    }
    if (!line_.wait(int(left)))
      return false;
  }
}
