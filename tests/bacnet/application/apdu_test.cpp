#include "bacnet/application/apdu.h"

#include "fake_port.h"

#include <gtest/gtest.h>

namespace apptest {
namespace {

TEST(ApduHeader, EachTypeNeedsItsWholeHeader)
{
  struct Case {
    const char* shortest;  // one octet less is refused
    uint32_t type;
  };
  const Case cases[] = {
      {"00 05 07 0C", kApduConfirmedRequest}, {"08 05 07 00 02 0C", kApduConfirmedRequest},
      {"10 08", kApduUnconfirmedRequest},     {"20 07 0C", kApduSimpleAck},
      {"30 07 0C", kApduComplexAck},          {"38 07 00 02 0C", kApduComplexAck},
      {"40 07 00 02", kApduSegmentAck},       {"50 07 0C", kApduError},
      {"60 07", kApduReject},                 {"70 07", kApduAbort},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> apdu = hex(c.shortest);
    ApduPdu pdu;
    EXPECT_EQ(apdu_decode(apdu, &pdu), 0) << c.shortest;
    EXPECT_EQ(pdu.type, c.type) << c.shortest;
    EXPECT_TRUE(pdu.data.empty()) << c.shortest;
    apdu.pop_back();
    EXPECT_EQ(apdu_decode(apdu, &pdu), 8) << c.shortest;
  }
  ApduPdu pdu;
  EXPECT_EQ(apdu_decode(hex("80 00 00 00"), &pdu), 8);
  EXPECT_EQ(apdu_decode({}, &pdu), 8);
}

TEST(ApduHeader, FieldsOfASegmentedRequestAndAnAck)
{
  ApduPdu pdu;
  std::vector<uint8_t> request = hex("0E 75 07 03 02 0F AA BB");
  ASSERT_EQ(apdu_decode(request, &pdu), 0);
  EXPECT_EQ(pdu.segmented, 1);
  EXPECT_EQ(pdu.more_follows, 1);
  EXPECT_EQ(pdu.segmented_response_accepted, 1);
  EXPECT_EQ(pdu.max_segments_apdu, 0x75);
  EXPECT_EQ(pdu.invoke_id, 7);
  EXPECT_EQ(pdu.sequence_number, 3);
  EXPECT_EQ(pdu.window_size, 2);
  EXPECT_EQ(pdu.service_choice, 0x0F);
  EXPECT_EQ(hex(pdu.data), "AA BB");

  ASSERT_EQ(apdu_decode(hex("43 07 05 04"), &pdu), 0);
  EXPECT_EQ((pdu.negative_ack << 1) | pdu.server, 3);
  EXPECT_EQ(pdu.sequence_number, 5);
  EXPECT_EQ(pdu.window_size, 4);
}

TEST(ApduHeader, MaxApduLengthsAndWindows)
{
  const uint32_t lengths[] = {50, 128, 206, 480, 1024, 1476, 1476, 1476, 1476, 1476, 1476, 1476, 1476, 1476, 1476, 1476};
  for (uint8_t code = 0; code < 16; ++code)
    EXPECT_EQ(apdu_max_length(code), lengths[code]) << int(code);
  EXPECT_EQ(apdu_window_size(0), 1);
  EXPECT_EQ(apdu_window_size(0x85), 5);
}

}  // namespace
}  // namespace apptest
