#include "bacnet/network/npdu.h"
#include "support/tshark.h"
#include "../datalink/test_bytes.h"

#include <gtest/gtest.h>

namespace {

TEST(Npdu, DecodesDestinationSourceAndHopCount)
{
  const auto npdu = bytes("0128 0005 02 0a0b 0007 06 0a6f0102bac0 fe 1008");
  NpduHeader h;
  ASSERT_EQ(npdu_decode(npdu, &h), 0);
  EXPECT_EQ(h.dnet_present, 1);
  EXPECT_EQ(h.dnet, 5u);
  EXPECT_EQ(h.dlen, 2);
  EXPECT_EQ(hex(std::span<const uint8_t>(h.dadr, 2)), "0a0b");
  EXPECT_EQ(h.snet_present, 1u);
  EXPECT_EQ(h.snet, 7u);
  EXPECT_EQ(hex(std::span<const uint8_t>(h.sadr, 6)), "0a6f0102bac0");
  EXPECT_EQ(h.hop_count, 0xFE);
  EXPECT_EQ(hex(std::span<const uint8_t>(h.apdu, h.apdu_length)), "1008");
}

TEST(Npdu, NetworkMessagesCarryTypeAndVendor)
{
  NpduHeader h;
  const auto iam_router = bytes("0180 01 0002");
  ASSERT_EQ(npdu_decode(iam_router, &h), 0);
  EXPECT_EQ(h.network_message, 1);
  EXPECT_EQ(h.message_type, 1);
  EXPECT_EQ(h.apdu_length, 2u);
  const auto vendor = bytes("0180 80 0104 ff");
  ASSERT_EQ(npdu_decode(vendor, &h), 0);
  EXPECT_EQ(h.vendor_id, 0x0104);
  EXPECT_EQ(h.apdu_length, 1u);
  EXPECT_EQ(npdu_decode(bytes("0180 80 01"), &h), 8);
}

TEST(Npdu, MalformedHeadersAreRefused)
{
  NpduHeader h;
  for (const char* bad : {"02001008", "01401008", "01101008", "0120000507010203040506071008", "0108000306010203", "01",
                          "", "0120ffff00", "0180",
                          "0108ffff01211008", "01080009001008"})
    EXPECT_EQ(npdu_decode(bytes(bad), &h), 8) << bad;
  EXPECT_EQ(npdu_decode(bytes("0100"), &h), 0);
  EXPECT_EQ(h.apdu_length, 0u);
}

TEST(Npdu, EncodeMatchesDecodeAndTheLimit)
{
  NpduHeader h;
  h.dnet_present = 1;
  h.dnet = 65535;
  h.hop_count = 255;
  h.snet_present = 1;
  h.snet = 9;
  h.slen = 1;
  h.sadr[0] = 0x21;
  h.expecting_reply = 1;
  h.priority = 3;
  std::vector<uint8_t> out;
  ASSERT_EQ(npdu_encode(h, bytes("1008"), &out), 0);
  EXPECT_EQ(hex(out), "012fffff0000090121ff1008");
  NpduHeader back;
  ASSERT_EQ(npdu_decode(out, &back), 0);
  EXPECT_EQ(back.snet, 9u);
  EXPECT_EQ(back.expecting_reply, 1);
  EXPECT_EQ(back.priority, 3);

  NpduHeader plain;
  std::vector<uint8_t> big;
  EXPECT_EQ(npdu_encode(plain, std::vector<uint8_t>(2054, 0), &big), 0);
  EXPECT_EQ(big.size(), 2056u);
  std::vector<uint8_t> too_big;
  EXPECT_EQ(npdu_encode(plain, std::vector<uint8_t>(2055, 0), &too_big), -1);
  EXPECT_TRUE(too_big.empty());
  plain.dlen = 7;
  EXPECT_EQ(npdu_encode(plain, bytes("10"), &too_big), -1);
}

TEST(Npdu, TsharkReadsTheHeadersWeEncode)
{
  NpduHeader routed;
  routed.dnet_present = 1;
  routed.dnet = 5;
  routed.dlen = 6;
  const uint8_t dadr[6] = {10, 111, 2, 1, 0xBA, 0xC0};
  std::copy(dadr, dadr + 6, routed.dadr);
  routed.hop_count = 255;
  routed.expecting_reply = 1;
  std::vector<uint8_t> npdu;
  ASSERT_EQ(npdu_encode(routed, bytes("0005010c0c020000011955"), &npdu), 0);
  std::vector<uint8_t> frame = {0x81, 0x0A, 0, uint8_t(4 + npdu.size())};
  frame.insert(frame.end(), npdu.begin(), npdu.end());
  auto result = testsupport::dissect("npdu_routed", {{frame}}, {"bacnet.dnet", "bacnet.hopc", "bacapp.confirmed_service"});
  ASSERT_TRUE(result.ran);
  EXPECT_EQ(result.malformed, 0) << result.diagnostics;
  ASSERT_EQ(result.fields.size(), 1u);
  EXPECT_EQ(result.fields[0], "5\t255\t12");
}

}  // namespace
