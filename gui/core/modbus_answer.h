// Collects the unit's answers from the serial input (RTU bytes or ASCII characters, in any
// chunks) and hands over only answers that pass their checks: slave address, function code,
// length, CRC or LRC. Exception answers are counted but complete nothing. A failed frame is
// dropped and searched again from its second byte, so noise that looked like the address
// costs no answer. User-interface thread; no I/O.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace modbus {

enum class Framing { Rtu, Ascii };

// What one chunk brought.
struct Intake {
  bool complete = false;  // at least one checked answer was taken in
  QString answer_hex;  // the last of them as hex text (RTU: every byte; ASCII: between ":" and CR LF)
  int rejected = 0;  // frames dropped for a bad check sum, length or function code
  int exceptions = 0;  // exception answers (function code with bit 7 set)
};

class AnswerCollector {
public:
  // The RTU frame being collected holds at most this many bytes.
  static constexpr int kRtuBufferSize = 51;
  // Longest ASCII frame text between ":" and LF that is looked at.
  static constexpr int kAsciiTextLimit = 520;

  // The slave whose answers count; without one nothing is accepted.
  void SetAddress(std::optional<int> address) { address_ = address; }

  Intake TakeRtu(const QByteArray& bytes);
  Intake TakeAscii(const QByteArray& chars);

  // Forgets any partial frame.
  void Reset();

  int RxCount() const { return int(frame_.size()); }
  // Length of the RTU frame being collected: 8 for a write answer, byte count + 5 for a read
  // answer, 5 for an exception, 0 while unknown.
  int RxExpected() const { return expected_; }
  bool AsciiFrameOpen() const { return ascii_open_; }

private:
  void rtu_byte(uint8_t b, Intake& intake);
  void rtu_finish(Intake& intake);
  void rtu_search_again(Intake& intake);
  void ascii_finish(Intake& intake);

  std::optional<int> address_;
  std::vector<uint8_t> frame_;
  // The bytes of a failed frame after its first, to be searched again, the next one last.
  // Empty between chunks; a member only to keep its room.
  std::vector<uint8_t> pending_;
  int expected_ = 0;
  bool exception_ = false;
  QByteArray ascii_text_;
  bool ascii_open_ = false;
};

// Every byte as two upper-case hex digits.
QString hex_text(const QByteArray& bytes);

}  // namespace modbus
