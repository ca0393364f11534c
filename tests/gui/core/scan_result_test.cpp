#include "gui/core/scan_result.h"

#include <gtest/gtest.h>

using scan::DeviceInstance;
using scan::ReadScanResult;

TEST(ScanResult, HeaderAndBackendAreLeftOutAndDevicesKeepFileOrder)
{
  const auto devices = ReadScanResult("Device ID; Device Name; SoftwareVersion\n"
                                      "1234567;ZOR17-Server;1.0\n"
                                      "410001;Raum 1;2.3\n"
                                      "410000;Raum 0;2.3\n"
                                      "410002;ZOR17_BACnet;2.4\n");
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].index, "0");
  EXPECT_EQ(devices[0].device_id, "410001");
  EXPECT_EQ(devices[0].name, "Raum 1");
  EXPECT_EQ(devices[0].version, "2.3");
  EXPECT_EQ(devices[1].index, "1");
  EXPECT_EQ(devices[1].device_id, "410000");
  EXPECT_EQ(devices[2].index, "2");
  EXPECT_EQ(devices[2].version, "2.4");
}

TEST(ScanResult, OnlyHeaderAndBackendGiveNoDevice)
{
  EXPECT_TRUE(ReadScanResult("Device ID; Device Name; SoftwareVersion\n1234567;ZOR17-Server;1.0\n").empty());
  EXPECT_TRUE(ReadScanResult("").empty());
}

TEST(ScanResult, ShortLinesEndTheList)
{
  // Two fields: listed without version, then reading stops; one field stops at once.
  auto two = ReadScanResult("1;A;1\n2;B\n3;C;3\n");
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[1].name, "B");
  EXPECT_EQ(two[1].version, "");
  auto blank = ReadScanResult("1;A;1\n\n3;C;3\n");
  EXPECT_EQ(blank.size(), 1u);
}

TEST(ScanResult, NameWithSeparatorShiftsTheVersion)
{
  auto d = ReadScanResult("7;Flur;Nord;1.2\r\n");
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].name, "Flur");
  EXPECT_EQ(d[0].version, "Nord");
}

TEST(ScanResult, TextIsUtf8OrLatin1)
{
  auto utf8 = ReadScanResult("5;B\xc3\xbcro;1\n");
  ASSERT_EQ(utf8.size(), 1u);
  EXPECT_EQ(utf8[0].name, QString::fromUtf8("Büro"));
  auto latin1 = ReadScanResult("5;B\xfcro;1\r");
  ASSERT_EQ(latin1.size(), 1u);
  EXPECT_EQ(latin1[0].name, QString::fromUtf8("Büro"));
}

TEST(ScanResult, OnlyValidInstancesCanBeChosen)
{
  EXPECT_EQ(DeviceInstance("410001"), 410001);
  EXPECT_EQ(DeviceInstance(" 0 "), 0);
  EXPECT_EQ(DeviceInstance("4194302"), 4194302);
  for (const char* bad : {"", "abc", "12a", "-1", "4194303", "99999999999", "1.5"})
    EXPECT_FALSE(DeviceInstance(bad).has_value()) << bad;
}
