// The point-to-point frame on the wire: preamble, frame type, data length, header CRC, then
// the data with its CRC, every octet after the preamble that the line could mistake for flow
// control (0x10, 0x11, 0x13) sent escaped. Builds frames and runs the receive-frame machine
// octet by octet. Pure code on buffers, used by the port thread and the tests; it reads no
// line and no clock: the caller feeds octets and reports a silence inside a frame.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

enum PtpFrameType : uint8_t {
  kPtpHeartbeatXoff = 0,
  kPtpHeartbeatXon = 1,
  kPtpData0 = 2,
  kPtpData1 = 3,
  kPtpDataAck0Xoff = 4,
  kPtpDataAck1Xoff = 5,
  kPtpDataAck0Xon = 6,
  kPtpDataAck1Xon = 7,
  kPtpDataNak0Xoff = 8,
  kPtpDataNak1Xoff = 9,
  kPtpDataNak0Xon = 10,
  kPtpDataNak1Xon = 11,
  kPtpConnectRequest = 12,
  kPtpConnectResponse = 13,
  kPtpDisconnectRequest = 14,
  kPtpDisconnectResponse = 15,
  kPtpEchoRequest = 0x10,  // answered at once with kPtpEchoResponse
  kPtpEchoResponse = 0x11,
};

inline constexpr uint8_t kPtpPreamble1 = 0x55;
inline constexpr uint8_t kPtpPreamble2 = 0xFF;
inline constexpr uint8_t kPtpEscape = 0x10;
inline constexpr uint8_t kPtpXon = 0x11;
inline constexpr uint8_t kPtpXoff = 0x13;
inline constexpr std::size_t kPtpMaxData = 501;
// Preamble, then header (4), data and data CRC (2), each of these octets possibly doubled.
inline constexpr std::size_t kPtpMaxFrame = 2 + 2 * (4 + kPtpMaxData + 2);

// The whole frame as it goes on the wire; -1 (nothing written) for more than kPtpMaxData.
int ptp_encode_frame(uint8_t type, std::span<const uint8_t> data, std::vector<uint8_t>* frame);

class PtpReceiver {
public:
  enum State : uint8_t { kIdle = 0, kPreamble = 1, kHeader = 2, kData = 3 };
  // The frame type of a frame abandoned before its type octet came.
  static constexpr int kNoFrameType = -1;

  void feed(uint8_t octet);
  // A silence inside a frame: a started header or data part counts as a damaged frame.
  void abort_frame();

  State state() const { return state_; }
  // Octets of the header or data part have come: silence now abandons a frame.
  bool in_frame() const { return state_ == kHeader || state_ == kData; }
  bool valid_frame() const { return valid_; }
  bool invalid_frame() const { return invalid_; }
  bool frame_waiting() const { return valid_ || invalid_; }
  void clear_frame() { valid_ = invalid_ = false; }

  // The last finished frame; for a damaged one the type octet as received (or kNoFrameType).
  int frame_type() const { return type_; }
  std::span<const uint8_t> data() const { return {buffer_.data(), valid_ ? length_ : 0}; }

private:
  void header_done();
  void finish(bool valid);

  State state_ = kIdle;
  bool valid_ = false;
  bool invalid_ = false;
  bool escaped_ = false;
  uint8_t header_[4] = {};  // type, length (2), header CRC
  std::size_t index_ = 0;
  int type_ = kNoFrameType;
  std::size_t length_ = 0;
  uint8_t header_crc_ = 0;
  uint16_t data_crc_ = 0;
  std::array<uint8_t, kPtpMaxData + 2> buffer_{};  // the data, then its two CRC octets
};
