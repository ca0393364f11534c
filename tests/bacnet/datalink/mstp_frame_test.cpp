// MS/TP frames: the CRC vectors, the frames we build, the Receive Frame machine fed octet by
// octet, and the trace text. tshark dissects the frames of the end-to-end runs.
#include "bacnet/datalink/frame_crc.h"
#include "bacnet/datalink/mstp_frame.h"
#include "bacnet/datalink/mstp_receive.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> frame(uint8_t type, uint8_t destination, uint8_t source, const std::vector<uint8_t>& data = {})
{
  std::vector<uint8_t> out;
  EXPECT_EQ(mstp_encode_frame(type, destination, source, data, &out), 0);
  return out;
}

TEST(MstpFrame, EncodesTheVectorsOnTheWire)
{
  EXPECT_EQ(hex(frame(kMstpToken, 0x10, 0x05)), "55ff00100500008c");
  // The data CRC goes least significant octet first.
  EXPECT_EQ(data_crc(bytes("012230")), 0xBD10);
  EXPECT_EQ(hex(frame(kMstpDataNotExpectingReply, 0x10, 0x05, bytes("012230"))).substr(16), "01223010bd");
  std::vector<uint8_t> too_long;
  EXPECT_EQ(mstp_encode_frame(kMstpDataNotExpectingReply, 1, 2, std::vector<uint8_t>(kMstpMaxData + 1), &too_long),
            -1);
  EXPECT_TRUE(too_long.empty());
}

TEST(MstpFrame, TraceDescribesWholeDataFramesOnly)
{
  EXPECT_EQ(mstp_trace_text(true, frame(kMstpDataNotExpectingReply, 0x10, 0x05, bytes("012230"))),
            "MSTP Packet Sent 55 : Preamble FF : Preamble 06 : Frame Type Data Not expecting Reply 10 : Destination "
            "05 : Source 00 03 : Data Length 9C : Header CRC Data : 01 22 30  10 BD : Data CRC ");
  std::vector<uint8_t> request = frame(kMstpDataExpectingReply, 0x10, 0x05, bytes("01"));
  EXPECT_EQ(mstp_trace_text(false, request),
            "MSTP Packet Received 55 : Preamble FF : Preamble 05 : Frame Type Data Expecting Reply 10 : Destination "
            "05 : Source 00 01 : Data Length EA : Header CRC Data : 01  F1 E1 : Data CRC ");
  request.pop_back();
  EXPECT_EQ(mstp_trace_text(false, request), "");
  EXPECT_EQ(mstp_trace_text(true, frame(kMstpToken, 0x10, 0x05)), "");
}

struct ReceiveCase {
  const char* name;
  std::string octets;  // fed one by one
  bool abort_at_end;
  bool valid;
  bool invalid;
  int type;            // of the valid frame
  std::size_t data_length;
};

TEST(MstpReceiver, FlagsEachKindOfFrameAsItShould)
{
  const uint8_t ts = 5;
  std::vector<uint8_t> long_data(kMstpMaxData, 0x11);
  std::vector<uint8_t> bad_data = frame(kMstpDataNotExpectingReply, ts, 3, bytes("0102"));
  bad_data[9] ^= 0x01;
  std::vector<uint8_t> bad_header = frame(kMstpToken, ts, 3);
  bad_header[7] ^= 0x80;
  // A header announcing 502 octets, with a correct header CRC, then the data: a whole token for
  // us in it, and the two CRC octets.
  std::vector<uint8_t> too_long = {0x55, 0xFF, kMstpDataNotExpectingReply, ts, 3, 0x01, 0xF6};
  too_long.push_back(header_crc(std::span<const uint8_t>(too_long).subspan(2)));
  const std::vector<uint8_t> hidden = frame(kMstpToken, ts, 3);
  too_long.insert(too_long.end(), hidden.begin(), hidden.end());
  too_long.resize(too_long.size() + 502 + 2 - hidden.size());
  const ReceiveCase cases[] = {
      {"token for us", hex(frame(kMstpToken, ts, 3)), false, true, false, kMstpToken, 0},
      {"repeated preamble octets", "5555" + hex(frame(kMstpToken, ts, 3)), false, true, false, kMstpToken, 0},
      {"noise before the frame", "00ff13" + hex(frame(kMstpToken, ts, 3)), false, true, false, kMstpToken, 0},
      {"broadcast data", hex(frame(kMstpDataNotExpectingReply, kMstpBroadcast, 3, bytes("0100"))), false, true,
       false, kMstpDataNotExpectingReply, 2},
      {"501 octets of data", hex(frame(kMstpDataExpectingReply, ts, 3, long_data)), false, true, false,
       kMstpDataExpectingReply, kMstpMaxData},
      {"502 octets announced", hex(too_long), false, false, true, -1, 0},
      {"bad header CRC", hex(bad_header), false, false, true, -1, 0},
      {"bad data CRC", hex(bad_data), false, false, true, -1, 0},
      {"silence in the header", "55ff0005", true, false, true, -1, 0},
      {"silence in the data", hex(frame(kMstpDataNotExpectingReply, ts, 3, bytes("0102"))).substr(0, 20), true,
       false, true, -1, 0},
      {"silence after a preamble octet", "55", true, false, false, -1, 0},
  };
  for (const ReceiveCase& c : cases) {
    MstpReceiver r(ts);
    for (uint8_t octet : bytes(c.octets))
      r.feed(octet);
    if (c.abort_at_end)
      r.abort_frame();
    EXPECT_EQ(r.state(), MstpReceiver::kIdle) << c.name;
    EXPECT_EQ(r.valid_frame(), c.valid) << c.name;
    EXPECT_EQ(r.invalid_frame(), c.invalid) << c.name;
    if (c.valid) {
      EXPECT_EQ(r.frame_type(), c.type) << c.name;
      EXPECT_EQ(r.data().size(), c.data_length) << c.name;
      EXPECT_EQ(r.source(), 3) << c.name;
    }
  }
}

TEST(MstpReceiver, PassesOverTheDataOfAFrameForAnotherStationAndGivesBackTheNextAsOnTheWire)
{
  const uint8_t ts = 5;
  // Another station's data that happens to hold a whole token for us.
  std::vector<uint8_t> hidden = frame(kMstpToken, ts, 3);
  MstpReceiver r(ts);
  for (uint8_t octet : frame(kMstpDataNotExpectingReply, 9, 3, hidden)) {
    r.feed(octet);
    EXPECT_FALSE(r.valid_frame() && r.frame_type() == kMstpToken) << "rescanned the skipped data";
  }
  EXPECT_TRUE(r.valid_frame());
  EXPECT_EQ(r.destination(), 9);
  EXPECT_TRUE(r.data().empty());
  r.clear_frame();
  std::vector<uint8_t> ours = frame(kMstpDataExpectingReply, ts, 3, bytes("0104"));
  for (uint8_t octet : ours)
    r.feed(octet);
  EXPECT_TRUE(r.valid_frame());
  EXPECT_EQ(hex(r.frame_octets()), hex(ours));
}

}  // namespace
