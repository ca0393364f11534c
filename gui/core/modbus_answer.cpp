#include "gui/core/modbus_answer.h"

#include "gui/core/modbus_frame.h"
#include "gui/core/modbus_request.h"

namespace modbus {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool is_read(int function) { return function == kReadCoils || function == kReadHoldingRegisters; }

// Write answers echo start and quantity: eight bytes in RTU. The unit's firmware has always
// been answered to with 10 counted among them.
bool is_write(int function) { return function == 10 || function == kWriteMultipleCoils || function == kWriteMultipleRegisters; }

bool is_exception(int function) { return (function & 0x80) != 0 && (is_read(function & 0x7F) || is_write(function & 0x7F)); }

int hex_digit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

}  // namespace

QString hex_text(const QByteArray& bytes)
{
  QString text(bytes.size() * 2, Qt::Uninitialized);
  QChar* digit = text.data();
  for (char c : bytes) {
    *digit++ = QLatin1Char(kHexDigits[uint8_t(c) >> 4]);
    *digit++ = QLatin1Char(kHexDigits[uint8_t(c) & 0x0F]);
  }
  return text;
}

void AnswerCollector::Reset()
{
  frame_.clear();
  expected_ = 0;
  exception_ = false;
  ascii_text_.clear();
  ascii_open_ = false;
}

// ---------------------------------------------------------------------------------------
// RTU

Intake AnswerCollector::TakeRtu(const QByteArray& bytes)
{
  Intake intake;
  for (char c : bytes) {
    rtu_byte(uint8_t(c), intake);
    // What a failed frame gave back is searched before the chunk's next byte.
    while (!pending_.empty()) {
      const uint8_t b = pending_.back();
      pending_.pop_back();
      rtu_byte(b, intake);
    }
  }
  return intake;
}

void AnswerCollector::rtu_byte(uint8_t b, Intake& intake)
{
  if (frame_.empty()) {
    if (address_ && b == *address_)
      frame_.push_back(b);
    return;
  }
  if (frame_.size() == 1) {
    if (is_read(b)) {
      expected_ = 0;  // known once the byte count is in
    } else if (is_write(b)) {
      expected_ = 8;
    } else if (is_exception(b)) {
      expected_ = 5;
      exception_ = true;
    } else {
      frame_.push_back(b);
      rtu_search_again(intake);
      return;
    }
    frame_.push_back(b);
    return;
  }
  if (frame_.size() == 2 && expected_ == 0) {
    frame_.push_back(b);
    expected_ = b + 5;
    return;
  }
  if (int(frame_.size()) >= kRtuBufferSize) {
    frame_.push_back(b);
    rtu_search_again(intake);
    return;
  }
  frame_.push_back(b);
  if (int(frame_.size()) >= expected_)
    rtu_finish(intake);
}

void AnswerCollector::rtu_finish(Intake& intake)
{
  const size_t n = frame_.size();
  int32_t crc = 0xFFFF;
  for (size_t i = 0; i + 2 < n; ++i)
    func_crc16_byte(crc, frame_[i]);
  const int sent = frame_[n - 2] | (frame_[n - 1] << 8);
  if ((crc & 0xFFFF) != sent) {
    rtu_search_again(intake);
    return;
  }
  if (exception_) {
    ++intake.exceptions;
  } else {
    intake.complete = true;
    intake.answer_hex = hex_text(QByteArray::fromRawData(reinterpret_cast<const char*>(frame_.data()), qsizetype(n)));
  }
  frame_.clear();
  expected_ = 0;
  exception_ = false;
}

void AnswerCollector::rtu_search_again(Intake& intake)
{
  ++intake.rejected;
  // The first byte was not the start of an answer; the rest may hold one.
  pending_.insert(pending_.end(), frame_.rbegin(), frame_.rend() - 1);
  frame_.clear();
  expected_ = 0;
  exception_ = false;
}

// ---------------------------------------------------------------------------------------
// ASCII

Intake AnswerCollector::TakeAscii(const QByteArray& chars)
{
  Intake intake;
  for (char c : chars) {
    if (c == ':') {
      if (ascii_open_)
        ++intake.rejected;  // a frame that never ended
      ascii_text_.clear();
      ascii_open_ = true;
    } else if (!ascii_open_) {
      continue;
    } else if (c == '\n') {
      ascii_finish(intake);
    } else if (ascii_text_.size() >= kAsciiTextLimit) {
      ++intake.rejected;
      ascii_text_.clear();
      ascii_open_ = false;
    } else {
      ascii_text_.append(c);
    }
  }
  return intake;
}

void AnswerCollector::ascii_finish(Intake& intake)
{
  ascii_open_ = false;
  QByteArray text = std::exchange(ascii_text_, QByteArray());
  auto reject = [&intake] { ++intake.rejected; };
  if (!text.endsWith('\r'))
    return reject();
  text.chop(1);
  if (text.size() % 2 != 0 || text.size() < 8)
    return reject();
  std::vector<int> bytes;
  bytes.reserve(size_t(text.size() / 2));
  for (qsizetype i = 0; i < text.size(); i += 2) {
    const int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0)
      return reject();
    bytes.push_back(high * 16 + low);
  }
  int sum = 0;
  for (int b : bytes)
    sum += b;
  if ((sum & 0xFF) != 0 || !address_ || bytes[0] != *address_)
    return reject();
  const int function = bytes[1];
  const size_t n = bytes.size();
  if (is_exception(function) && n == 4) {
    ++intake.exceptions;
    return;
  }
  const bool fits = (is_read(function) && n == size_t(bytes[2]) + 4) || (is_write(function) && n == 7);
  if (!fits)
    return reject();
  intake.complete = true;
  intake.answer_hex = QString::fromLatin1(text);
}

}  // namespace modbus
