#include "core_fixture.h"

#include "gui/core/bacnet_ini.h"
#include "gui/core/program_state.h"

using coretest::read_all;
using coretest::write_all;

namespace {

class BacnetIni : public coretest::ProgramFolderTest {};

}  // namespace

TEST_F(BacnetIni, WritesTheNineKeysInThreeSections)
{
  global::BacnetSettings.LocalIp = "10.111.1.2";
  global::BacnetSettings.PollCycle = 100;
  global::SaveBacnetIni();
  EXPECT_EQ(read_all(global::BacnetIniPath()), QByteArray("[BACNET]\r\nLINK=BACnet/IP\r\nSCAN=5\r\nPOLL=100\r\n"
                                                          "\r\n[IP]\r\nLOCAL IP=10.111.1.2\r\nDEVICE_ID=1234567\r\n"
                                                          "PORT=47808\r\n\r\n[MS/TP]\r\nMAC=127\r\nCOM-PORT=COM1\r\n"
                                                          "BAUDRATE=38400\r\n"));
}

TEST_F(BacnetIni, RoundTripsEverySetting)
{
  BacnetSettingsT& s = global::BacnetSettings;
  s.Link = "MS/TP";
  s.ScanTime = 100;
  s.PollCycle = 1;
  s.LocalIp = "192.0.2.7";
  s.LocalDeviceId = 4194305;
  s.UdpPort = 50000;
  s.MstpMac = 1;
  s.ComPort = "COM12";
  s.BaudRate = "115200";
  global::SaveBacnetIni();
  const BacnetSettingsT written = s;
  s = BacnetSettingsT{};
  global::LoadBacnetIni();
  EXPECT_EQ(s.Link, written.Link);
  EXPECT_EQ(s.ScanTime, written.ScanTime);
  EXPECT_EQ(s.PollCycle, written.PollCycle);
  EXPECT_EQ(s.LocalIp, written.LocalIp);
  EXPECT_EQ(s.LocalDeviceId, written.LocalDeviceId);
  EXPECT_EQ(s.UdpPort, written.UdpPort);
  EXPECT_EQ(s.MstpMac, written.MstpMac);
  EXPECT_EQ(s.ComPort, written.ComPort);
  EXPECT_EQ(s.BaudRate, written.BaudRate);
}

TEST_F(BacnetIni, UnusableNumbersKeepTheirDefaults)
{
  ASSERT_TRUE(write_all(global::BacnetIniPath(), "[BACNET]\r\nLINK=MS/TP\r\nSCAN=\r\nPOLL=70000\r\n"
                                                 "[IP]\r\nDEVICE_ID=12x\r\nPORT=1.5\r\n"
                                                 "[MS/TP]\r\nMAC=300\r\n"));
  global::LoadBacnetIni();
  const BacnetSettingsT& s = global::BacnetSettings;
  const BacnetSettingsT defaults;
  EXPECT_EQ(s.Link, "MS/TP");
  EXPECT_EQ(s.ScanTime, defaults.ScanTime);
  EXPECT_EQ(s.PollCycle, defaults.PollCycle);
  EXPECT_EQ(s.LocalDeviceId, defaults.LocalDeviceId);
  EXPECT_EQ(s.UdpPort, defaults.UdpPort);
  EXPECT_EQ(s.MstpMac, defaults.MstpMac);
  // Missing text keys read as empty texts.
  EXPECT_EQ(s.LocalIp, "");
  EXPECT_EQ(s.ComPort, "");
}

TEST_F(BacnetIni, NumbersWithinTheirTypeAreTakenForTheDialogToCorrect)
{
  ASSERT_TRUE(write_all(global::BacnetIniPath(), "[BACNET]\r\nSCAN=150\r\nPOLL=0\r\n[MS/TP]\r\nMAC=255\r\n"));
  global::LoadBacnetIni();
  EXPECT_EQ(global::BacnetSettings.ScanTime, 150);
  EXPECT_EQ(global::BacnetSettings.PollCycle, 0);
  EXPECT_EQ(global::BacnetSettings.MstpMac, 255);
}

TEST_F(BacnetIni, NoFileChangesNothing)
{
  global::BacnetSettings.LocalIp = "10.0.0.1";
  global::LoadBacnetIni();
  EXPECT_EQ(global::BacnetSettings.LocalIp, "10.0.0.1");
  EXPECT_EQ(global::BacnetSettings.Link, "BACnet/IP");
}
