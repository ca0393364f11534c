#include "bacnet/datalink/ptp_frame.h"

#include "bacnet/datalink/frame_crc.h"

namespace {

void put_escaped(std::vector<uint8_t>& out, uint8_t octet)
{
  if (octet == kPtpEscape || octet == kPtpXon || octet == kPtpXoff) {
    out.push_back(kPtpEscape);
    out.push_back(uint8_t(octet | 0x80));
  } else {
    out.push_back(octet);
  }
}

}  // namespace

int ptp_encode_frame(uint8_t type, std::span<const uint8_t> data, std::vector<uint8_t>* frame)
{
  if (!frame || data.size() > kPtpMaxData)
    return -1;
  const uint8_t header[] = {type, uint8_t(data.size() >> 8), uint8_t(data.size())};
  frame->clear();
  frame->reserve(kPtpMaxFrame);
  frame->assign({kPtpPreamble1, kPtpPreamble2});
  for (uint8_t octet : header)
    put_escaped(*frame, octet);
  put_escaped(*frame, header_crc(header));
  if (!data.empty()) {
    for (uint8_t octet : data)
      put_escaped(*frame, octet);
    const uint16_t crc = data_crc(data);
    put_escaped(*frame, uint8_t(crc));
    put_escaped(*frame, uint8_t(crc >> 8));
  }
  return 0;
}

void PtpReceiver::feed(uint8_t octet)
{
  switch (state_) {
  case kIdle:
    if (octet == kPtpPreamble1)
      state_ = kPreamble;
    return;
  case kPreamble:
    if (octet == kPtpPreamble2) {
      state_ = kHeader;
      index_ = 0;
      escaped_ = false;
      type_ = kNoFrameType;
      header_crc_ = kHeaderCrcStart;
    } else if (octet != kPtpPreamble1) {
      state_ = kIdle;
    }
    return;
  case kHeader:
  case kData:
    break;
  }
  // Flow-control octets that the line put between ours carry no data.
  if (octet == kPtpXon || octet == kPtpXoff)
    return;
  if (octet == kPtpEscape) {
    escaped_ = true;
    return;
  }
  if (escaped_) {
    octet &= 0x7F;
    escaped_ = false;
  }
  if (state_ == kHeader) {
    header_[index_++] = octet;
    header_crc_ = header_crc_step(octet, header_crc_);
    if (index_ == 1)
      type_ = octet;
    if (index_ == sizeof header_)
      header_done();
    return;
  }
  buffer_[index_++] = octet;
  data_crc_ = data_crc_step(octet, data_crc_);
  if (index_ == length_ + 2)
    finish(data_crc_ == kDataCrcGood);
}

void PtpReceiver::header_done()
{
  length_ = std::size_t(header_[1]) << 8 | header_[2];
  if (header_crc_ != kHeaderCrcGood || length_ > kPtpMaxData) {
    finish(false);
  } else if (length_ == 0) {
    finish(true);
  } else {
    index_ = 0;
    data_crc_ = kDataCrcStart;
    state_ = kData;
  }
}

void PtpReceiver::finish(bool valid)
{
  valid_ = valid;
  invalid_ = !valid;
  state_ = kIdle;
}

void PtpReceiver::abort_frame()
{
  if (in_frame())
    finish(false);
  state_ = kIdle;
}
