// The Receive Frame machine of an MS/TP station: octets in, one finished frame (valid or
// invalid) out at a time, held until the master node takes it. It owns only its input buffer
// and is run by the port thread (or a test) octet by octet; it reads no line and no clock
// itself: the caller feeds octets and reports a silence of Tframe_abort in a frame.
#pragma once

#include "bacnet/datalink/mstp_frame.h"

#include <array>
#include <span>
#include <cstdint>
#include <vector>

class MstpReceiver {
public:
  enum State : uint8_t { kIdle = 0, kPreamble = 1, kHeader = 2, kData = 4, kSkipData = 5 };

  explicit MstpReceiver(uint8_t this_station = 0) : this_station_(this_station) {}

  // Runs the machine on one octet.
  void feed(uint8_t octet);
  // Tframe_abort of silence inside a frame: the frame is abandoned (a started header or data
  // part counts as an invalid frame) and the machine waits for a preamble again.
  void abort_frame();
  // Back to waiting for a preamble; a finished frame stays flagged.
  void restart() { state_ = kIdle; }

  State state() const { return state_; }
  bool valid_frame() const { return valid_; }
  bool invalid_frame() const { return invalid_; }
  // Flags a line failure like a damaged frame.
  void set_invalid_frame() { invalid_ = true; }
  // The master node takes the frame: both flags cleared.
  void clear_frame() { valid_ = invalid_ = false; }

  // The last valid frame (only meaningful while valid_frame()); the data part is empty for
  // a frame addressed to another station, whose data is skipped.
  uint8_t frame_type() const { return frame_type_; }
  uint8_t destination() const { return destination_; }
  uint8_t source() const { return source_; }
  std::span<const uint8_t> data() const { return {buffer_.data(), data_received_}; }
  // The frame as it was on the wire, for the trace.
  std::vector<uint8_t> frame_octets() const;

private:
  void header_done();
  // Passes over the data part of the frame, which then ends as `valid` says.
  void skip_data(bool valid);
  void finish(bool valid);

  uint8_t this_station_;
  State state_ = kIdle;
  bool valid_ = false;
  bool invalid_ = false;
  uint8_t header_[6] = {};  // type, destination, source, length (2), header CRC
  std::size_t index_ = 0;   // octets of the header, data or skipped part so far
  uint8_t frame_type_ = 0;
  uint8_t destination_ = 0;
  uint8_t source_ = 0;
  uint16_t length_ = 0;
  std::size_t skip_ = 0;
  bool skip_valid_ = true;
  std::size_t data_received_ = 0;
  uint8_t header_crc_ = 0;
  uint16_t data_crc_ = 0;
  // The data part followed by its two CRC octets.
  std::array<uint8_t, kMstpMaxData + kMstpDataCrcLength> buffer_{};
};
