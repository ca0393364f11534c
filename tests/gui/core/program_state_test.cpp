#include "core_fixture.h"

#include "gui/core/language_texts.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

using namespace coretest;

class StartUp : public ProgramFolderTest {};

TEST_F(StartUp, FirstStartCreatesEmptyWorkingFolders)
{
  QTemporaryDir fresh;
  ASSERT_TRUE(global::StartUp(fresh.path() + "/"));
  EXPECT_EQ(global::ProgramFolder, fresh.path());
  for (const char* name : {"tmp", "data"}) {
    QDir d(fresh.path() + "/" + name);
    EXPECT_TRUE(d.exists()) << name;
    EXPECT_TRUE(d.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty()) << name;
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(StartUp, ExistingFoldersAndTheirFilesStay)
{
  ASSERT_TRUE(write_all(folder_ + "/data/user.dat", "x\r\n"));
  ASSERT_TRUE(write_all(folder_ + "/tmp/logfile.txt", "old"));
  ASSERT_TRUE(global::StartUp(folder_));
  EXPECT_EQ(read_all(folder_ + "/data/user.dat"), "x\r\n");
  EXPECT_EQ(read_all(folder_ + "/tmp/logfile.txt"), "old");
}

TEST_F(StartUp, FolderThatCannotBeMadeIsReportedOnce)
{
  // A file where the program folder should be: neither tmp nor data can be made below it.
  ASSERT_TRUE(write_all(folder_ + "/plainfile", ""));
  EXPECT_FALSE(global::StartUp(folder_ + "/plainfile"));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].title, "ZOR17-RS485");
  EXPECT_EQ(messages_[0].icon, MsgIcon::Exclamation);
}

TEST_F(StartUp, SharedStateHasItsStartValues)
{
  global::DeviceType = 1;
  global::LampState = 2;
  global::ConfigRegisters[72] = 5;
  global::OutputRegisters[16] = "x";
  global::BacnetSettings.UdpPort = 1;
  global::ModbusSettings.ModeText = "ASCII";
  ASSERT_TRUE(global::StartUp(folder_));

  EXPECT_EQ(global::DeviceType, 0);
  EXPECT_EQ(global::InputRegisterCount, 28);
  EXPECT_EQ(global::LampState, 0);
  EXPECT_FALSE(global::LoggedIn);
  EXPECT_EQ(global::AdminFlag, 0);

  const ModbusSettingsT& m = global::ModbusSettings;
  EXPECT_EQ(m.ComPortNumber, 1);
  EXPECT_EQ(m.BaudRate, "38400");
  EXPECT_EQ(m.Parity, "N");
  EXPECT_EQ(m.DataBits, "8");
  EXPECT_EQ(m.StopBits, "1");
  EXPECT_EQ(m.ModeFlag, 1);
  EXPECT_FALSE(m.PortOpenWish);
  EXPECT_EQ(m.ModeText, "RTU");

  const BacnetSettingsT& b = global::BacnetSettings;
  EXPECT_EQ(b.Link, "BACnet/IP");
  EXPECT_EQ(b.ScanLow, 0);
  EXPECT_EQ(b.ScanHigh, 4194302);
  EXPECT_EQ(b.ScanTime, 5);
  EXPECT_EQ(b.PollCycle, 10);
  EXPECT_EQ(b.LocalIp, "0.0.0.0");
  EXPECT_EQ(b.UdpPort, 47808);
  EXPECT_EQ(b.LocalDeviceId, 1234567);
  EXPECT_EQ(b.MstpMac, 127);
  EXPECT_EQ(b.DeviceIdOffset, 410000);
  EXPECT_EQ(b.ComPort, "COM1");
  EXPECT_EQ(b.BaudRate, "38400");

  for (double v : global::ConfigRegisters)
    EXPECT_EQ(v, 0);
  for (double v : global::InputRegisters)
    EXPECT_EQ(v, 0);
  for (int16_t v : global::ConfigBits)
    EXPECT_EQ(v, 0);
  for (int16_t v : global::InputBits)
    EXPECT_EQ(v, 0);
  ASSERT_EQ(global::OutputRegisters.size(), 17u);
  for (const QString& t : global::OutputRegisters)
    EXPECT_EQ(t, "0");
}

TEST_F(StartUp, TextTableIsGermanWithEmptyTail)
{
  EXPECT_EQ(global::TextTable[0], "Aus");
  EXPECT_EQ(global::TextTable[7], "Auto 3. Stufe");
  EXPECT_EQ(global::TextTable[14], QString::fromUtf8("Parität: "));
  EXPECT_EQ(global::TextTable[15], "Adresse: ");
  for (int i = 16; i <= 20; ++i)
    EXPECT_TRUE(global::TextTable[i].isEmpty()) << i;
}

TEST_F(StartUp, WorkingFilesLieBelowTheProgramFolder)
{
  EXPECT_EQ(global::JobFilePath(), folder_ + "/tmp/config.ini");
  EXPECT_EQ(global::LogFilePath(), folder_ + "/tmp/logfile.txt");
  EXPECT_EQ(global::ScanResultPath(), folder_ + "/tmp/result.csv");
  EXPECT_EQ(global::ValueFilePath(3), folder_ + "/tmp/file3.bin");
  EXPECT_EQ(global::UserFilePath(), folder_ + "/data/user.dat");
  EXPECT_EQ(global::BacnetIniPath(), folder_ + "/bacnet.ini");
  EXPECT_FALSE(global::FileExists(folder_ + "/tmp"));
  EXPECT_FALSE(global::FileExists(""));
}

TEST_F(StartUp, LanguageCodeIsNormalisedAndChoosesTheTable)
{
  for (const char* code : {"1036", ""}) {
    global::LanguageCode = code;
    EXPECT_FALSE(global::ApplyLanguageCode());
    EXPECT_EQ(global::LanguageCode, "1031");
    EXPECT_EQ(global::TextTable[9], "Raum belegt");
  }
  global::LanguageCode = "1033";
  EXPECT_TRUE(global::ApplyLanguageCode());
  EXPECT_EQ(global::TextTable[0], "Off");
  EXPECT_EQ(global::TextTable[10], "Use ; as seperator!");
  EXPECT_EQ(global::TextTable[12], "Baud rate: ");
  EXPECT_TRUE(global::TextTable[16].isEmpty());
}

TEST_F(StartUp, NumbersUseTheUserDecimalSeparator)
{
  global::DecimalSeparator = ",";
  EXPECT_EQ(global::NumberText(21.5), "21,5");
  EXPECT_EQ(global::NumberText(-3), "-3");
  EXPECT_EQ(global::NumberText(0.1 + 0.2), "0,3");
  EXPECT_EQ(global::TextNumber("21,5"), 21.5);
  EXPECT_EQ(global::TextNumber("abc"), 0);
  EXPECT_EQ(global::TextNumber(""), 0);
  global::DecimalSeparator = ".";
  EXPECT_EQ(global::NumberText(21.5), "21.5");
  EXPECT_EQ(global::TextNumber(" 7.25 "), 7.25);
}
