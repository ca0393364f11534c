// The point-to-point frame: exact octets of each frame type (vectors computed apart from this
// code), and the receive-frame machine reading them back through flow-control octets and damage.
#include "bacnet/datalink/ptp_frame.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

namespace {

// Every frame the receiver finishes, as "type:data" or "bad type"; a frame cut short counts.
std::string heard(const std::vector<uint8_t>& octets)
{
  PtpReceiver receiver;
  std::string out;
  for (uint8_t octet : octets) {
    receiver.feed(octet);
    if (!receiver.frame_waiting())
      continue;
    out += receiver.valid_frame() ? std::to_string(receiver.frame_type()) + ":" + hex(receiver.data()) + " "
                                  : "bad " + std::to_string(receiver.frame_type()) + " ";
    receiver.clear_frame();
  }
  receiver.abort_frame();
  return receiver.frame_waiting() ? out + "bad " + std::to_string(receiver.frame_type()) + " " : out;
}

// The header CRC covers type and length before escaping; 0x10, 0x11 and 0x13 after the
// preamble go as 0x10 and the octet with bit 7 set (a type, a CRC, a data octet).
TEST(PtpFrame, EachFrameTypeGoesOnTheWireWithItsOctetsAndComesBack)
{
  const struct {
    uint8_t type;
    const char* data;
    const char* wire;
  } cases[] = {
      {kPtpHeartbeatXoff, "", "55ff000000ee"},
      {kPtpHeartbeatXon, "", "55ff01000076"},
      {kPtpData0, "01001008", "55ff02000420 01001090 08 bcf9"},
      {kPtpData1, "0111", "55ff030002ba 011091 9717"},
      {kPtpDataAck0Xoff, "", "55ff04000088"},
      {kPtpDataAck1Xoff, "", "55ff0500001090"},
      {kPtpDataAck0Xon, "", "55ff060000bb"},
      {kPtpDataAck1Xon, "", "55ff07000023"},
      {kPtpDataNak0Xoff, "", "55ff08000022"},
      {kPtpDataNak1Xoff, "", "55ff090000ba"},
      {kPtpDataNak0Xon, "", "55ff0a00001091"},
      {kPtpDataNak1Xon, "", "55ff0b000089"},
      {kPtpConnectRequest, "", "55ff0c000044"},
      {kPtpConnectResponse, "736563726574", "55ff0d0006de 736563726574 10931e"},
      {kPtpDisconnectRequest, "", "55ff0e000077"},
      {kPtpDisconnectResponse, "", "55ff0f0000ef"},
      {kPtpEchoRequest, "", "55ff1090000075"},
      {kPtpEchoResponse, "", "55ff10910000ed"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> wire;
    ASSERT_EQ(ptp_encode_frame(c.type, bytes(c.data), &wire), 0);
    EXPECT_EQ(hex(wire), hex(bytes(c.wire))) << int(c.type);
    // Read back with an XON and an XOFF of the line put in after the preamble.
    wire.insert(wire.begin() + 3, {kPtpXon, kPtpXoff});
    EXPECT_EQ(heard(wire), std::to_string(c.type) + ":" + hex(bytes(c.data)) + " ") << int(c.type);
  }
}

TEST(PtpFrame, TheLongestDataFitsAndDamageIsReportedWithItsType)
{
  std::vector<uint8_t> longest(kPtpMaxData, 0x13), wire;
  ASSERT_EQ(ptp_encode_frame(kPtpData1, longest, &wire), 0);
  EXPECT_LE(wire.size(), kPtpMaxFrame);
  EXPECT_EQ(heard(wire), "3:" + hex(longest) + " ");
  longest.push_back(0);
  EXPECT_EQ(ptp_encode_frame(kPtpData1, longest, &wire), -1);

  const std::pair<const char*, const char*> cases[] = {
      {"55ff0200042101001090 08bcf9", "bad 2 "},  // header CRC
      {"55ff0200042001001090 08bcfa", "bad 2 "},  // data CRC
      {"55ff0301f6bc", "bad 3 "},                 // a length of 502, its CRC good
      {"55ff030002ba 01", "bad 3 "},              // cut short
      {"55 55 ff 0e 00 00 77", "14: "},           // a preamble octet repeated
  };
  for (const auto& [octets, expected] : cases)
    EXPECT_EQ(heard(bytes(octets)), expected) << octets;
}

}  // namespace
