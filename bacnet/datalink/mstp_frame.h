// The MS/TP frame on the wire: preamble, frame type, destination, source, data length, header
// CRC, then the data with its CRC. Builds frames and describes data frames for the trace.
// Pure functions on buffers, used by the master node on the port thread and by the tests;
// they keep no state and never read outside the given buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum MstpFrameType : uint8_t {
  kMstpToken = 0,
  kMstpPollForMaster = 1,
  kMstpReplyToPollForMaster = 2,
  kMstpTestRequest = 3,
  kMstpTestResponse = 4,
  kMstpDataExpectingReply = 5,
  kMstpDataNotExpectingReply = 6,
  kMstpReplyPostponed = 7,
};

inline constexpr uint8_t kMstpPreamble1 = 0x55;
inline constexpr uint8_t kMstpPreamble2 = 0xFF;
inline constexpr uint8_t kMstpBroadcast = 255;
// The longest data part sent or accepted.
inline constexpr std::size_t kMstpMaxData = 501;
// Preamble, type, destination, source, two length octets and the header CRC.
inline constexpr std::size_t kMstpHeaderLength = 8;
inline constexpr std::size_t kMstpDataCrcLength = 2;

// The whole frame; -1 (nothing written) when the data is longer than kMstpMaxData.
int mstp_encode_frame(uint8_t type, uint8_t destination, uint8_t source, std::span<const uint8_t> data,
                      std::vector<uint8_t>* frame);

// The trace text of a data frame ("MSTP Packet Sent ..." or "MSTP Packet Received ..."); empty
// for other frame types and for a frame that ends before its data CRC.
std::string mstp_trace_text(bool sent, std::span<const uint8_t> frame);
