#include "bacnet/datalink/mstp_receive.h"

#include "bacnet/datalink/frame_crc.h"

void MstpReceiver::feed(uint8_t octet)
{
  switch (state_) {
  case kIdle:
    if (octet == kMstpPreamble1)
      state_ = kPreamble;
    break;
  case kPreamble:
    if (octet == kMstpPreamble2) {
      state_ = kHeader;
      index_ = 0;
      header_crc_ = kHeaderCrcStart;
    } else if (octet != kMstpPreamble1) {
      state_ = kIdle;
    }
    break;
  case kHeader:
    header_[index_++] = octet;
    header_crc_ = header_crc_step(octet, header_crc_);
    if (index_ == sizeof header_)
      header_done();
    break;
  case kData:
    buffer_[index_++] = octet;
    data_crc_ = data_crc_step(octet, data_crc_);
    if (index_ == std::size_t(length_) + kMstpDataCrcLength) {
      data_received_ = length_;
      finish(data_crc_ == kDataCrcGood);
    }
    break;
  case kSkipData:
    if (++index_ == skip_)
      finish(skip_valid_);
    break;
  }
}

void MstpReceiver::header_done()
{
  data_received_ = 0;
  if (header_crc_ != kHeaderCrcGood) {
    finish(false);
    return;
  }
  frame_type_ = header_[0];
  destination_ = header_[1];
  source_ = header_[2];
  length_ = uint16_t(header_[3] << 8 | header_[4]);
  if (destination_ != this_station_ && destination_ != kMstpBroadcast) {
    skip_data(true);
    return;
  }
  if (length_ > kMstpMaxData) {
    // More than the buffer holds: passed over the same way, and then the frame is invalid.
    skip_data(false);
  } else if (length_ == 0) {
    finish(true);
  } else {
    index_ = 0;
    data_crc_ = kDataCrcStart;
    state_ = kData;
  }
}

void MstpReceiver::skip_data(bool valid)
{
  // Data that is not read is passed over, not searched for preambles of its own.
  if (length_ == 0) {
    finish(valid);
    return;
  }
  skip_ = std::size_t(length_) + kMstpDataCrcLength;
  skip_valid_ = valid;
  index_ = 0;
  state_ = kSkipData;
}

void MstpReceiver::finish(bool valid)
{
  valid_ = valid;
  invalid_ = !valid;
  state_ = kIdle;
}

void MstpReceiver::abort_frame()
{
  if (state_ == kHeader || state_ == kData || state_ == kSkipData)
    finish(false);
  state_ = kIdle;
}

std::vector<uint8_t> MstpReceiver::frame_octets() const
{
  std::vector<uint8_t> frame = {kMstpPreamble1, kMstpPreamble2};
  frame.insert(frame.end(), std::begin(header_), std::end(header_));
  if (data_received_ > 0)
    frame.insert(frame.end(), buffer_.begin(), buffer_.begin() + std::ptrdiff_t(data_received_ + kMstpDataCrcLength));
  return frame;
}
