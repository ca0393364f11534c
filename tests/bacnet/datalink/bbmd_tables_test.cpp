#include "bacnet/datalink/bbmd_tables.h"
#include "test_bytes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::filesystem::path temp_dir() { return std::filesystem::temp_directory_path() / ("zor17-bbmd-" + std::to_string(getpid())); }

std::filesystem::path temp_path(const std::string& name)
{
  std::filesystem::create_directories(temp_dir());
  return temp_dir() / name;
}

class BdtFile : public testing::Test {
protected:
  void TearDown() override { std::filesystem::remove_all(temp_dir()); }
};

std::string read_all(const std::filesystem::path& p)
{
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const std::filesystem::path& p, const std::string& text)
{
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

const BdtEntry kSelf{0x0A6F0101, 47808, 0xFFFFFFFF};
const BdtEntry kPeer{0x0A6F0201, 47809, 0xFFFFFF00};

TEST_F(BdtFile, OneUpperCaseLinePerEntryEndedByCarriageReturn)
{
  auto path = temp_path("bdt_write.txt");
  ASSERT_EQ(bdt_write_file(path.c_str(), {kSelf, kPeer}), 0);
  EXPECT_EQ(read_all(path), "0A6F0101BAC0FFFFFFFF\r0A6F0201BAC1FFFFFF00\r");
  ASSERT_EQ(bdt_write_file(path.c_str(), {}), 0);
  EXPECT_EQ(read_all(path), "");
  EXPECT_EQ(bdt_write_file("/nonexistent-dir/bdt.txt", {kSelf}), -1);
}

TEST_F(BdtFile, ReadingSkipsBadLinesDuplicatesAndAnUnendedLastLine)
{
  auto path = temp_path("bdt_read.txt");
  write_all(path,
            "0A6F0101BAC0FFFFFFFF\r\n"      // our own entry again: skipped
            "0a6f0201bac1ffffff00\n"        // lower case
            "0A6F0201BAC1FFFFFF\r"          // too short
            "0A6F0201BAC1FFFFFF00AA\r"      // too long
            "0A6F0301BAC0FFFFFFZZ\r"        // not hexadecimal
            "0A6F0201BAC1FFFFFF00\r"        // duplicate
            "0A6F0401BAC0FFFFFFFF");        // no line end
  std::vector<BdtEntry> table = {kSelf};
  bdt_read_file(path.c_str(), &table);
  EXPECT_EQ(table, (std::vector<BdtEntry>{kSelf, kPeer}));

  std::vector<BdtEntry> untouched = {kSelf};
  bdt_read_file(temp_path("missing.txt").c_str(), &untouched);
  EXPECT_EQ(untouched, (std::vector<BdtEntry>{kSelf}));
}

TEST_F(BdtFile, WrittenTableReadsBackTheSame)
{
  auto path = temp_path("bdt_round.txt");
  std::vector<BdtEntry> table = {kSelf, kPeer, {0xC0A80001, 1, 0}};
  ASSERT_EQ(bdt_write_file(path.c_str(), table), 0);
  std::vector<BdtEntry> back;
  bdt_read_file(path.c_str(), &back);
  EXPECT_EQ(back, table);
}

TEST(BdtList, WriteBdtNeedsWholeEntries)
{
  std::vector<BdtEntry> table = {kSelf};
  EXPECT_EQ(bdt_decode_list({}, &table), -1);
  EXPECT_EQ(bdt_decode_list(bytes("0a6f0201bac1ffffff"), &table), -1);
  EXPECT_EQ(table, (std::vector<BdtEntry>{kSelf}));
  ASSERT_EQ(bdt_decode_list(bytes("0a6f0201bac1ffffff00 0a6f0101bac0ffffffff"), &table), 0);
  EXPECT_EQ(table, (std::vector<BdtEntry>{kPeer, kSelf}));
  EXPECT_EQ(hex(bdt_encode_list(table)), "0a6f0201bac1ffffff000a6f0101bac0ffffffff");
}

TEST(BdtList, ForwardTargetsSetTheHostBitsOfTheMask)
{
  EXPECT_EQ(bdt_forward_target(kSelf), (BipAddress{0x0A6F0101, 47808}));
  EXPECT_FALSE(bdt_forward_is_broadcast(kSelf));
  EXPECT_EQ(bdt_forward_target(kPeer), (BipAddress{0x0A6F02FF, 47809}));
  EXPECT_TRUE(bdt_forward_is_broadcast(kPeer));
}

TEST(Fdt, RegistrationAddsThirtySecondsAndExpires)
{
  std::vector<FdtEntry> fdt(2);
  const BipAddress a{0x0A6F0301, 47808};
  ASSERT_EQ(fdt_register(fdt, a, 100), 0);
  EXPECT_EQ(hex(fdt_encode_ack(fdt)), "0a6f0301bac000640082");
  for (int i = 0; i < 129; ++i)
    fdt_second_tick(fdt);
  EXPECT_EQ(hex(fdt_encode_ack(fdt)), "0a6f0301bac000640001");
  fdt_second_tick(fdt);
  EXPECT_EQ(hex(fdt_encode_ack(fdt)), "");
  // The expired entry keeps its address and is taken again by the same device.
  ASSERT_EQ(fdt_register(fdt, a, 60), 0);
  EXPECT_EQ(fdt[0].remaining, 90);
  EXPECT_EQ(fdt[1].remaining, 0);
}

TEST(Fdt, RemainingTimeHoldsAtItsLargestValue)
{
  std::vector<FdtEntry> fdt(1);
  ASSERT_EQ(fdt_register(fdt, {1, 2}, 65520), 0);
  EXPECT_EQ(fdt[0].remaining, 65535);
  EXPECT_EQ(fdt[0].time_to_live, 65520);
}

TEST(Fdt, AFullTableRefusesAndARefreshDoesNotTakeASecondEntry)
{
  std::vector<FdtEntry> fdt(1);
  ASSERT_EQ(fdt_register(fdt, {1, 2}, 60), 0);
  EXPECT_EQ(fdt_register(fdt, {1, 3}, 60), -1);
  EXPECT_EQ(fdt_register(fdt, {1, 2}, 120), 0);
  EXPECT_EQ(fdt[0].remaining, 150);
}

TEST(Fdt, DeleteNeedsALiveEntryOfThatAddress)
{
  std::vector<FdtEntry> fdt(2);
  ASSERT_EQ(fdt_register(fdt, {1, 2}, 60), 0);
  EXPECT_EQ(fdt_delete(fdt, {1, 3}), -1);
  EXPECT_EQ(fdt_delete(fdt, {1, 2}), 0);
  EXPECT_EQ(fdt_delete(fdt, {1, 2}), -1);
  EXPECT_EQ(hex(fdt_encode_ack(fdt)), "");
}

}  // namespace
