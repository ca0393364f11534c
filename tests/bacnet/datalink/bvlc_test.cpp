#include "bacnet/datalink/bbmd_tables.h"
#include "bacnet/datalink/bvlc.h"
#include "support/tshark.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

namespace {

const BipAddress kPeer{0x0A6F0102, 47808};  // 10.111.1.2

TEST(Bvlc, DecodeChecksTypeAndLength)
{
  BvlcFrame frame;
  const auto unicast = bytes("810a0008 01000102");
  ASSERT_EQ(bvlc_decode(unicast, &frame), 0);
  EXPECT_EQ(frame.function, kBvlcOriginalUnicast);
  EXPECT_EQ(hex(frame.data), "01000102");
  EXPECT_EQ(bvlc_decode(bytes("810a000a 0100010203040506"), &frame), 8);  // says 10, holds 12
  EXPECT_EQ(bvlc_decode(bytes("820a0004"), &frame), 8);
  EXPECT_EQ(bvlc_decode(bytes("810a00"), &frame), 8);
  EXPECT_EQ(bvlc_decode({}, &frame), 8);
  ASSERT_EQ(bvlc_decode(bytes("81020004"), &frame), 0);
  EXPECT_TRUE(frame.data.empty());
}

TEST(Bvlc, FramesWeSendHaveTheirExactOctets)
{
  EXPECT_EQ(hex(bvlc_encode_result(kBvlcRegisterForeignDeviceNak)), "810000060030");
  EXPECT_EQ(hex(bvlc_encode_register(120)), "810500060078");
  EXPECT_EQ(hex(bvlc_encode_forwarded(kPeer, bytes("0100"))), "8104000c0a6f0102bac00100");
  EXPECT_EQ(hex(bvlc_encode(kBvlcOriginalBroadcast, bytes("0120ffff00ff1008"))), "810b000c0120ffff00ff1008");
  EXPECT_TRUE(bvlc_encode(kBvlcOriginalUnicast, std::vector<uint8_t>(65532)).empty());
  EXPECT_EQ(bvlc_encode(kBvlcOriginalUnicast, std::vector<uint8_t>(65531)).size(), 65535u);
}

TEST(Bvlc, BipAddressIsAddressThenPortBigEndian)
{
  uint8_t mac[6];
  bip_encode(kPeer, mac);
  EXPECT_EQ(hex(mac), "0a6f0102bac0");
  EXPECT_EQ(bip_decode(mac), kPeer);
  BACnetAddress a = bip_to_bacnet_address(7, kPeer);
  EXPECT_EQ(a.network, 7u);
  EXPECT_EQ(a.mac_len, 6);
  EXPECT_EQ(hex(std::span<const uint8_t>(a.mac, 6)), "0a6f0102bac0");
}

TEST(Bvlc, TsharkReadsEveryFrameWeBuild)
{
  std::vector<BdtEntry> bdt = {{0x0A6F0101, 47808, 0xFFFFFFFF}, {0x0A6F0201, 47809, 0xFFFFFF00}};
  std::vector<FdtEntry> fdt = {{0x0A6F0301, 47808, 100, 130}};
  std::vector<std::vector<uint8_t>> frames = {
      bvlc_encode_result(kBvlcSuccess),
      bvlc_encode_result(kBvlcDistributeBroadcastNak),
      bvlc_encode_register(60),
      bvlc_encode(kBvlcReadBdtAck, bdt_encode_list(bdt)),
      bvlc_encode(kBvlcReadFdtAck, fdt_encode_ack(fdt)),
      bvlc_encode_forwarded(kPeer, bytes("01001008")),
      bvlc_encode(kBvlcDistributeBroadcast, bytes("01001008")),
      bvlc_encode(kBvlcOriginalBroadcast, bytes("0120ffff00ff10080a0001")),
  };
  std::vector<testsupport::UdpFrame> udp;
  for (auto& f : frames)
    udp.push_back({f});
  auto result = testsupport::dissect("bvlc_frames", udp, {"bvlc.function", "bvlc.result", "bvlc.reg_ttl",
                                                           "bvlc.bdt_mask", "bvlc.fdt_timeout", "bvlc.fwd_ip"});
  ASSERT_TRUE(result.ran);
  EXPECT_EQ(result.malformed, 0) << result.diagnostics;
  EXPECT_EQ(result.expert_errors, 0) << result.diagnostics;
  ASSERT_EQ(result.fields.size(), frames.size());
  EXPECT_EQ(result.fields[0].substr(0, 4), "0x00");
  EXPECT_NE(result.fields[1].find("0x0060"), std::string::npos) << result.fields[1];
  EXPECT_NE(result.fields[2].find("60"), std::string::npos);
  EXPECT_NE(result.fields[3].find("ffffff00"), std::string::npos) << result.fields[3];
  EXPECT_NE(result.fields[4].find("130"), std::string::npos) << result.fields[4];
  EXPECT_NE(result.fields[5].find("10.111.1.2"), std::string::npos) << result.fields[5];
  EXPECT_EQ(result.fields[6].substr(0, 4), "0x09");
}

}  // namespace
