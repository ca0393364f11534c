#include "core_fixture.h"

#include "gui/core/ini_file.h"

using namespace coretest;

TEST(IniFile, ReadsLikeTheProfileFunctions)
{
  IniFile ini = IniFile::Parse(
      "top=ignored\r\n"
      "[BACNET]\r\n"
      "  LINK = BACnet/IP  \r\n"
      "LOCAL IP=192.168.0.10\n"
      "Quoted=\"  kept blanks \"\r"
      "Single='x'\r\n"
      "Half=\"x\r\n"
      "Empty=\r\n"
      "NoEquals\r\n"
      "[ ms/tp ]\r\n"
      "MAC=5\r\n"
      "[BACNET]\r\n"
      "LINK=second section is not read\r\n");
  EXPECT_EQ(ini.GetString("bacnet", "link", "", 32), "BACnet/IP");
  EXPECT_EQ(ini.GetString("BACNET", "local ip", "", 32), "192.168.0.10");
  EXPECT_EQ(ini.GetString("BACNET", "Quoted", "", 32), "  kept blanks ");
  EXPECT_EQ(ini.GetString("BACNET", "Single", "", 32), "x");
  EXPECT_EQ(ini.GetString("BACNET", "Half", "", 32), "\"x");
  EXPECT_EQ(ini.GetString("BACNET", "Empty", "d", 32), "");
  EXPECT_EQ(ini.GetString("BACNET", "NoEquals", "d", 32), "");
  EXPECT_EQ(ini.GetString("MS/TP", "MAC", "", 32), "5");
  EXPECT_EQ(ini.GetString("BACNET", "top", "", 32), "");
  EXPECT_EQ(ini.GetString("MISSING", "LINK", "default  ", 32), "default");
  EXPECT_EQ(ini.GetString("BACNET", "MAC", "", 32), "");
}

TEST(IniFile, ReadIsCutToItsBuffer)
{
  const QString forty = "0123456789012345678901234567890123456789";
  IniFile ini;
  ini.SetString("S", "K", forty);
  EXPECT_EQ(ini.GetString("S", "K", "", 32), forty.left(31));
  EXPECT_EQ(ini.GetString("S", "K", "", 1), "");
  EXPECT_EQ(ini.GetString("S", "K", "", 0), "");
  EXPECT_EQ(ini.GetString("S", "nokey", forty, 5), "0123");
}

TEST(IniFile, WriteChangesOneKeyAndKeepsEverythingElse)
{
  IniFile ini = IniFile::Parse(
      "; a comment of the user\r\n"
      "[IP]\n"
      "PORT = 1\n"
      "LOCAL IP=1.2.3.4\n"
      "\n"
      "[BACNET]\n"
      "SCAN=5\n");
  ini.SetString("ip", "port", "47808");
  ini.SetString("IP", "NEW", "x");
  ini.SetString("MS/TP", "MAC", "127");
  ini.SetString("BACNET", "POLL", "10");
  EXPECT_EQ(ini.ToBytes(),
            "; a comment of the user\r\n"
            "[IP]\r\n"
            "port=47808\r\n"
            "LOCAL IP=1.2.3.4\r\n"
            "NEW=x\r\n"
            "\r\n"
            "[BACNET]\r\n"
            "SCAN=5\r\n"
            "POLL=10\r\n"
            "\r\n"
            "[MS/TP]\r\n"
            "MAC=127\r\n");
}

class IniFileOnDisk : public ProgramFolderTest {};

TEST_F(IniFileOnDisk, WriteCreatesTheFileAndReadGivesThirtyOneCharacters)
{
  const QString path = global::BacnetIniPath();
  EXPECT_EQ(makeIni::ReadIniValue(path, "BACNET", "LINK"), "");
  EXPECT_TRUE(makeIni::WriteIniValue(path, "BACNET", "LINK", "MS/TP"));
  EXPECT_TRUE(makeIni::WriteIniValue(path, "IP", "LOCAL IP", QString(40, 'a')));
  EXPECT_TRUE(makeIni::WriteIniValue(path, "BACNET", "LINK", "BACnet/IP"));
  EXPECT_EQ(read_all(path), "[BACNET]\r\nLINK=BACnet/IP\r\n\r\n[IP]\r\nLOCAL IP=" + QByteArray(40, 'a') + "\r\n");
  EXPECT_EQ(makeIni::ReadIniValue(path, "IP", "LOCAL IP"), QString(31, 'a'));
  EXPECT_FALSE(makeIni::WriteIniValue(folder_ + "/no/such/folder.ini", "A", "B", "C"));
}

TEST_F(IniFileOnDisk, NoTextCanAddALineOrASection)
{
  const QString path = global::BacnetIniPath();
  ASSERT_TRUE(makeIni::WriteIniValue(path, "IP", "LOCAL IP", "10.0.0.1"));
  const QByteArray before = read_all(path);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } refused[] = {
      {"IP", "LOCAL IP", "10.0.0.2\r\n[GENERAL]\r\nLINK=BACnet_MSTP"},
      {"IP", "LOCAL IP", "10.0.0.2\nPORT=1"},
      {"IP", "LOCAL IP", "10.0.0.2\r"},
      {"IP", "PORT\r\nX", "1"},
      {"IP\n[X", "PORT", "1"},
      {"IP]X", "PORT", "1"},
      {"IP", "A=B", "1"},
      {"IP", "[X]", "1"},
      {"IP", "  ", "1"},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(makeIni::WriteIniValue(path, QString::fromLatin1(r.section), QString::fromLatin1(r.key),
                                        QString::fromLatin1(r.value)))
        << r.section << "/" << r.key;
    EXPECT_EQ(read_all(path), before);
  }
  // A "=" in a value is the value's own: the key splits at the first one.
  EXPECT_TRUE(makeIni::WriteIniValue(path, "IP", "LOCAL IP", "a=b"));
  EXPECT_EQ(makeIni::ReadIniValue(path, "IP", "LOCAL IP"), "a=b");
}
