#include "core_fixture.h"

#include "gui/core/job_file.h"

#include <QDir>

using namespace coretest;

namespace {

// The job file as the backend receives it: CR LF lines, {F} standing for the program folder.
QByteArray expected(const QString& folder, const char* text)
{
  QByteArray bytes(text);
  bytes.replace("\n", "\r\n");
  bytes.replace("{F}", folder.toUtf8());
  return bytes;
}

const char* const kIpGeneral =
    "[GENERAL]\n"
    "LINK=BACnet_IP\n"
    "LOGFILE={F}/tmp/logfile.txt\n"
    "LOCAL_DEVICE_ID=1234567\n"
    "\n"
    "[BACnet_IP]\n"
    "IP=0.0.0.0\n"
    "PORT=47808\n";

const char* const kMstpGeneral =
    "[GENERAL]\n"
    "LINK=BACnet_MSTP\n"
    "LOGFILE={F}/tmp/logfile.txt\n"
    "LOCAL_DEVICE_ID=99\n"
    "\n"
    "[BACnet_MSTP]\n"
    "COM_PORT=COM3\n"
    "BAUD_RATE=76800\n"
    "MAC_ADDRESS=0\n";

}  // namespace

class JobFile : public ProgramFolderTest {
protected:
  void SetUp() override
  {
    ProgramFolderTest::SetUp();
    global::DestDeviceId = 4711;
  }
  void use_mstp()
  {
    global::BacnetSettings.Link = "MS/TP";
    global::BacnetSettings.LocalDeviceId = 99;
    global::BacnetSettings.ComPort = "COM3";
    global::BacnetSettings.BaudRate = "76800";
    global::BacnetSettings.MstpMac = 0;
  }
  QByteArray job() const { return read_all(global::JobFilePath()); }
  QByteArray with_general(const char* general, const char* functions) const
  {
    return expected(folder_, general) + expected(folder_, functions);
  }
};

TEST_F(JobFile, ScanOverBacnetIp)
{
  global::BacnetSettings.ScanLow = 100;
  global::BacnetSettings.ScanHigh = 4194302;
  global::BacnetSettings.ScanTime = 12;
  global::WriteScanJob();
  EXPECT_EQ(job(), with_general(kIpGeneral,
                                "\n"
                                "[FUNKTION_1]\n"
                                "TODO=SCAN_DEVICE\n"
                                "RANGE_LOW=100\n"
                                "RANGE_HIGH=4194302\n"
                                "SCAN_TIME=12\n"
                                "RESULTFILE={F}/tmp/result.csv\n"));
}

TEST_F(JobFile, ScanOverMstp)
{
  use_mstp();
  global::WriteScanJob();
  EXPECT_EQ(job(), with_general(kMstpGeneral,
                                "\n"
                                "[FUNKTION_1]\n"
                                "TODO=SCAN_DEVICE\n"
                                "RANGE_LOW=0\n"
                                "RANGE_HIGH=4194302\n"
                                "SCAN_TIME=5\n"
                                "RESULTFILE={F}/tmp/result.csv\n"));
}

const char* const kReadBoth =
    "\n[FUNCTION_1]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=1\nSTART=0\nEND=146\nRESULTFILE={F}/tmp/file1.bin\n"
    "\n[FUNCTION_2]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=4\nSTART=0\nEND=4\nRESULTFILE={F}/tmp/file4.bin\n"
    "\n[FUNCTION_3]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=2\nSTART=0\nEND=34\nRESULTFILE={F}/tmp/file2.bin\n"
    "\n[FUNCTION_4]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=3\nSTART=0\nEND=56\nRESULTFILE={F}/tmp/file3.bin\n"
    "\n[FUNCTION_5]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=5\nSTART=0\nEND=2\nRESULTFILE={F}/tmp/file5.bin\n";

const char* const kReadRegisters =
    "\n[FUNCTION_1]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=2\nSTART=0\nEND=34\nRESULTFILE={F}/tmp/file2.bin\n"
    "\n[FUNCTION_2]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=3\nSTART=0\nEND=56\nRESULTFILE={F}/tmp/file3.bin\n"
    "\n[FUNCTION_3]\nTODO=READ\nDEVICE_ID=4711\nFILE_INSTANCE=5\nSTART=0\nEND=2\nRESULTFILE={F}/tmp/file5.bin\n";

const char* const kWriteBoth =
    "\n[FUNCTION_1]\nTODO=WRITE\nDEVICE_ID=4711\nFILE_INSTANCE=1\nSTART=0\nEND=146\nSOURCEFILE={F}/tmp/file1.bin\n"
    "\n[FUNCTION_2]\nTODO=WRITE\nDEVICE_ID=4711\nFILE_INSTANCE=4\nSTART=0\nEND=4\nSOURCEFILE={F}/tmp/file4.bin\n"
    "\n[FUNCTION_3]\nTODO=WRITE\nDEVICE_ID=4711\nFILE_INSTANCE=3\nSTART=0\nEND=56\nSOURCEFILE={F}/tmp/file3.bin\n"
    "\n[FUNCTION_4]\nTODO=WRITE\nDEVICE_ID=4711\nFILE_INSTANCE=5\nSTART=0\nEND=2\nSOURCEFILE={F}/tmp/file5.bin\n";

const char* const kWriteRegisters =
    "\n[FUNCTION_1]\nTODO=WRITE\nDEVICE_ID=4711\nFILE_INSTANCE=3\nSTART=0\nEND=56\nSOURCEFILE={F}/tmp/file3.bin\n"
    "\n[FUNCTION_2]\nTODO=WRITE\nDEVICE_ID=4711\nFILE_INSTANCE=5\nSTART=0\nEND=2\nSOURCEFILE={F}/tmp/file5.bin\n";

TEST_F(JobFile, ReadsAndWritesOverBacnetIp)
{
  global::WriteReadJobs(true, true);
  EXPECT_EQ(job(), with_general(kIpGeneral, kReadBoth));
  global::WriteReadJobs(false, true);
  EXPECT_EQ(job(), with_general(kIpGeneral, kReadRegisters));
  global::WriteWriteJobs(true, true);
  EXPECT_EQ(job(), with_general(kIpGeneral, kWriteBoth));
  // A short write after a long read leaves nothing of the read behind.
  global::WriteWriteJobs(false, true);
  EXPECT_EQ(job(), with_general(kIpGeneral, kWriteRegisters));
}

TEST_F(JobFile, ReadsAndWritesOverMstp)
{
  use_mstp();
  global::WriteReadJobs(true, true);
  EXPECT_EQ(job(), with_general(kMstpGeneral, kReadBoth));
  global::WriteReadJobs(false, true);
  EXPECT_EQ(job(), with_general(kMstpGeneral, kReadRegisters));
  global::WriteWriteJobs(true, true);
  EXPECT_EQ(job(), with_general(kMstpGeneral, kWriteBoth));
}

TEST_F(JobFile, NoFlagsGiveTheGeneralPartOnly)
{
  global::WriteReadJobs(false, false);
  EXPECT_EQ(job(), expected(folder_, kIpGeneral));
  global::WriteWriteJobs(false, false);
  EXPECT_EQ(job(), expected(folder_, kIpGeneral));
}

TEST_F(JobFile, UnknownLinkWritesNoLinkSection)
{
  global::BacnetSettings.Link = "bacnet/ip";
  global::WriteReadJobs(false, false);
  EXPECT_EQ(job(), expected(folder_, "[GENERAL]\nLOGFILE={F}/tmp/logfile.txt\nLOCAL_DEVICE_ID=1234567\n"));
}

TEST_F(JobFile, ConfigurationBlockAloneIsObjectsOneAndFour)
{
  global::WriteWriteJobs(true, false);
  QByteArray text = job();
  EXPECT_TRUE(text.contains("[FUNCTION_2]\r\nTODO=WRITE\r\nDEVICE_ID=4711\r\nFILE_INSTANCE=4\r\n"));
  EXPECT_FALSE(text.contains("FUNCTION_3"));
}

TEST_F(JobFile, AJobThatCannotBeWrittenWholeIsReportedAndLeavesNoOldJob)
{
  const std::string message = "Die Auftragsdatei kann nicht geschrieben werden:\r\n" + global::JobFilePath().toStdString();
  ASSERT_TRUE(global::WriteReadJobs(true, true));
  // A pasted address with a line break would add lines of its own to the job.
  global::BacnetSettings.LocalIp = "10.0.0.1\r\n[FUNCTION_9]\r\nTODO=WRITE";
  EXPECT_FALSE(global::WriteWriteJobs(true, true));
  EXPECT_FALSE(QFile::exists(global::JobFilePath()));
  EXPECT_EQ(message_texts(), std::vector<std::string>{message});

  global::BacnetSettings.LocalIp = "10.0.0.1";
  ASSERT_TRUE(QDir().mkpath(global::JobFilePath() + "/blocked"));
  EXPECT_FALSE(global::WriteScanJob());
  EXPECT_EQ(message_texts().size(), 2u);
  EXPECT_EQ(message_texts().back(), message);

  global::LanguageCode = "1033";
  EXPECT_FALSE(global::WriteScanJob());
  EXPECT_EQ(message_texts().back(), "The job file cannot be written:\r\n" + global::JobFilePath().toStdString());
}

// Read and write jobs are told apart by the wait window's test of ending the program.
TEST_F(JobFile, AScanOrAMissingJobWritesNothingToTheUnit)
{
  ASSERT_TRUE(global::WriteScanJob());
  EXPECT_FALSE(global::JobWritesUnit(global::JobFilePath()));
  EXPECT_FALSE(global::JobWritesUnit(folder_ + "/missing.ini"));
}
