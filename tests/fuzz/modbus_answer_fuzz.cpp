// Arbitrary received bytes through the Modbus answer collection, in RTU and ASCII framing,
// cut into chunks as the receive poll might see them, and the last accepted answer through the
// decodings of all register groups. The first byte chooses framing, slave address and chunk
// length. An accepted answer must be hex text of the collected frame: for RTU its CRC is
// good, for ASCII its LRC.
#include "gui/core/modbus_answer.h"
#include "gui/core/modbus_decode.h"
#include "gui/core/modbus_frame.h"

#include <QByteArray>
#include <QStringView>
#include <array>
#include <cstddef>
#include <cstdint>

namespace {

void decode_everything(const QString& answer)
{
  (void)modbus::config_block(answer, 0);
  (void)modbus::config_block(answer, 70);
  const auto outputs = modbus::output_registers(answer);
  (void)modbus::button_indicators(int64_t(outputs[0]));
  (void)modbus::input_registers(answer);
  (void)modbus::coil_bits(answer, 32);
  (void)modbus::coil_bits(answer, 16);
}

// The octets of an answer's hex text, decoded without a copy on the heap: the answers are
// many, and the copies cost more than the checks. Traps on anything but pairs of hex digits
// (RTU answers are upper case, ASCII answers as the unit sent them) and on more octets than
// the longest ASCII answer holds.
using Octets = std::array<uint8_t, modbus::AnswerCollector::kAsciiTextLimit / 2>;

size_t decode_hex(const QString& hex, bool lower_case_too, Octets& octets)
{
  auto digit = [lower_case_too](QChar c) {
    const qsizetype d = QStringView(u"0123456789ABCDEFabcdef").indexOf(c);
    if (d < 0 || (d > 15 && !lower_case_too))
      __builtin_trap();
    return int(d > 15 ? d - 6 : d);
  };
  if (hex.size() % 2 != 0 || size_t(hex.size() / 2) > octets.size())
    __builtin_trap();
  for (qsizetype i = 0; i < hex.size(); i += 2)
    octets[size_t(i / 2)] = uint8_t(digit(hex[i]) * 16 + digit(hex[i + 1]));
  return size_t(hex.size() / 2);
}

void check_rtu(const QString& answer)
{
  Octets frame;
  const size_t n = decode_hex(answer, false, frame);
  if (n < 4 || n > modbus::AnswerCollector::kRtuBufferSize)
    __builtin_trap();
  int32_t crc = 0xFFFF;
  for (size_t i = 0; i + 2 < n; ++i)
    modbus::func_crc16_byte(crc, frame[i]);
  if ((crc & 0xFFFF) != (frame[n - 2] | (frame[n - 1] << 8)))
    __builtin_trap();
}

void check_ascii(const QString& answer)
{
  Octets bytes;
  const size_t n = decode_hex(answer, true, bytes);
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i)
    sum = uint8_t(sum + bytes[i]);
  if (sum != 0)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0)
    return 0;
  const uint8_t control = data[0];
  const bool ascii = (control & 0x80) != 0;
  const int address = (control & 0x07) + 1;
  const size_t chunk = size_t((control >> 3) & 0x0F) + 1;
  // One collector for the process, reset for every input: its buffers keep their room.
  static modbus::AnswerCollector collector;
  collector.Reset();
  collector.SetAddress(address);
  QString last_answer;
  for (size_t at = 1; at < size; at += chunk) {
    const size_t n = std::min(chunk, size - at);
    // The chunk is read in place: a copy per chunk cost more than its collection.
    const QByteArray piece = QByteArray::fromRawData(reinterpret_cast<const char*>(data + at), qsizetype(n));
    const modbus::Intake intake = ascii ? collector.TakeAscii(piece) : collector.TakeRtu(piece);
    if (collector.RxCount() > modbus::AnswerCollector::kRtuBufferSize)
      __builtin_trap();
    if (!intake.complete)
      continue;
    if (ascii)
      check_ascii(intake.answer_hex);
    else
      check_rtu(intake.answer_hex);
    last_answer = intake.answer_hex;
  }
  // The decodings read fixed places of one answer: running them on every answer of a long
  // input would only repeat them.
  if (!last_answer.isNull())
    decode_everything(last_answer);
  return 0;
}
