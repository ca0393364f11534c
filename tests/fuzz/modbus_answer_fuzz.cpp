// Arbitrary received bytes through the Modbus answer collection, in RTU and ASCII framing,
// cut into chunks as the receive poll might see them, and every accepted answer through the
// decodings of all register groups. The first byte chooses framing, slave address and chunk
// length. An accepted answer must be hex text of the collected frame: for RTU its CRC is
// good, for ASCII its LRC.
#include "gui/core/modbus_answer.h"
#include "gui/core/modbus_decode.h"
#include "gui/core/modbus_frame.h"

#include <QByteArray>
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

void check_rtu(const QString& answer)
{
  const QByteArray frame = QByteArray::fromHex(answer.toLatin1());
  if (frame.size() < 4 || frame.size() > modbus::AnswerCollector::kRtuBufferSize)
    __builtin_trap();
  int32_t crc = 0xFFFF;
  for (qsizetype i = 0; i + 2 < frame.size(); ++i)
    modbus::func_crc16_byte(crc, uint8_t(frame[i]));
  if ((crc & 0xFFFF) != (uint8_t(frame[frame.size() - 2]) | (uint8_t(frame[frame.size() - 1]) << 8)))
    __builtin_trap();
}

void check_ascii(const QString& answer)
{
  const QByteArray bytes = QByteArray::fromHex(answer.toLatin1());
  uint8_t sum = 0;
  for (char b : bytes)
    sum = uint8_t(sum + uint8_t(b));
  if (sum != 0 || bytes.size() * 2 != answer.size())
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
  modbus::AnswerCollector collector;
  collector.SetAddress(address);
  for (size_t at = 1; at < size; at += chunk) {
    const size_t n = std::min(chunk, size - at);
    const QByteArray piece(reinterpret_cast<const char*>(data + at), qsizetype(n));
    const modbus::Intake intake = ascii ? collector.TakeAscii(piece) : collector.TakeRtu(piece);
    if (collector.RxCount() > modbus::AnswerCollector::kRtuBufferSize)
      __builtin_trap();
    if (!intake.complete)
      continue;
    if (ascii)
      check_ascii(intake.answer_hex);
    else
      check_rtu(intake.answer_hex);
    decode_everything(intake.answer_hex);
  }
  return 0;
}
