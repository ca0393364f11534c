#include "backend/job_runner.h"

#include "support/tshark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::tm pinned_time()
{
  std::tm t{};
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  return t;
}

struct Call {
  std::string what;
  uint32_t device = 0, instance = 0;
  int32_t start = 0, end = 0;
  int wait = 0;
};

class FakeStack : public JobStackClient {
public:
  int start_result = 0;
  int scan_result = 0;
  int transfer_result = 0;
  std::string read_octets = "ABC";
  std::vector<Call> calls;
  std::string written;

  int Start(int32_t device, const std::string& ip, int port, int network) override
  {
    calls.push_back({"start " + ip + ":" + std::to_string(port) + " net " + std::to_string(network),
                     uint32_t(device)});
    return start_result;
  }
  int Stop() override
  {
    calls.push_back({"stop"});
    return 0;
  }
  int ScanDevices(uint32_t low, uint32_t high, int wait, FILE* f) override
  {
    calls.push_back({"scan", low, high, 0, 0, wait});
    if (scan_result == 0)
      std::fputs("Device ID; Device Name; SoftwareVersion\n", f);
    return scan_result;
  }
  int ReadFileObject(uint32_t device, uint32_t instance, int32_t start, int32_t end, FILE* f, bool check) override
  {
    EXPECT_TRUE(check);
    calls.push_back({"read", device, instance, start, end});
    std::fwrite(read_octets.data(), 1, read_octets.size(), f);
    return transfer_result;
  }
  int WriteFileObject(uint32_t device, uint32_t instance, int32_t start, int32_t end, FILE* f, bool check) override
  {
    EXPECT_TRUE(check);
    calls.push_back({"write", device, instance, start, end});
    char buf[256];
    size_t n = std::fread(buf, 1, sizeof buf, f);
    written.assign(buf, n);
    return transfer_result;
  }
};

class JobRunnerTest : public testing::Test {
protected:
  void SetUp() override
  {
    dir = fs::temp_directory_path() / ("zor17-job-" + std::to_string(getpid()) + "-" +
                                       testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string path(const std::string& name) const { return (dir / name).string(); }

  // Writes the job file with a [GENERAL] logging to log.txt and a BACnet/IP link, then `rest`.
  std::string job(const std::string& rest, const std::string& general_extra = "")
  {
    std::string text = "[GENERAL]\nLOGFILE=" + path("log.txt") + "\nLOCAL_DEVICE_ID=4711\nLINK=BACnet_IP\n" +
                       general_extra + "[BACnet_IP]\nIP=10.111.1.1\nPORT=47809\n" + rest;
    std::ofstream(path("config.ini"), std::ios::binary) << text;
    return path("config.ini");
  }

  std::string run(const std::string& job_path)
  {
    JobRunner runner(stack, pinned_time);
    runner.Run(job_path);
    return log();
  }

  std::string log() const { return read(path("log.txt")); }

  static std::string read(const std::string& p)
  {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir;
  FakeStack stack;
};

TEST_F(JobRunnerTest, SuccessfulReadLogsEveryLineExactly)
{
  std::string log_text = run(job("[READ_1]\nTODO=READ\nDEVICE_ID=100\nFILE_INSTANCE=1\nSTART=0\nEND=146\nRESULTFILE=" +
                                 path("out/file1.bin") + "\n"));
  EXPECT_EQ(log_text,
            "--Reading configuration file\n"
            "# Connection: BACnet IP\n"
            "# IP-Address: 10.111.1.1\n"
            "# Port: 47809\n"
            "--Reading configuration file successful finished\n\n"
            "#Starttime: 09:05:07\n\n"
            "--Function: \"READ_1\" started\n"
            "# NAME=READ_1\n# FILE_INSTANCE=1\n# TODO=READ\n# END=146\n# RESULTFILE=" + path("out/file1.bin") +
            "\n# START=0\n# DEVICE_ID=100\n\n"
            "--Function: \"READ_1\" successful finished\n\n"
            "#Endtime: 09:05:07\n\n"
            "\n-->Successful finished\n");
  ASSERT_EQ(stack.calls.size(), 3u);
  EXPECT_EQ(stack.calls[0].what, "start 10.111.1.1:47809 net 1");
  EXPECT_EQ(stack.calls[0].device, 4711u);
  EXPECT_EQ(stack.calls[1].what, "read");
  EXPECT_EQ(stack.calls[1].device, 100u);
  EXPECT_EQ(stack.calls[1].end, 146);
  EXPECT_EQ(stack.calls[2].what, "stop");
  EXPECT_EQ(read(path("out/file1.bin")), "ABC");
}

TEST_F(JobRunnerTest, TransferResultsGiveTheirErrorLines)
{
  const std::pair<int, std::string> cases[] = {
      {-3, "ERROR: The communication with this BACnet device is not allowed!\n"},
      {-2, "ERROR: The returning data does not match the requested length\n"},
      {-1, "ERROR: Unknown error while reading BACnet file object\n"},
      {2, "ERROR: BACnet error-code 2\n"},
  };
  for (const auto& [result, line] : cases) {
    stack.transfer_result = result;
    std::string text = run(job("[r]\nTODO=read\nDEVICE_ID=1\nFILE_INSTANCE=4\nSTART=0\nEND=4\nRESULTFILE=" +
                               path("f.bin") + "\n"));
    EXPECT_NE(text.find(line + "--Function: \"r\" aborted because of an error\n\n#Endtime: 09:05:07\n\n"
                               "\n-->Error while executing the functions\n"),
              std::string::npos)
        << text;
  }
}

TEST_F(JobRunnerTest, WriteSendsTheSourceFile)
{
  std::ofstream(path("src.bin"), std::ios::binary) << "0123456789";
  std::string text = run(job("[w]\nTODO=Write\nDEVICE_ID=7\nFILE_INSTANCE=3\nSTART=0\nEND=10\nSOURCEFILE=" +
                             path("src.bin") + "\n"));
  EXPECT_NE(text.find("-->Successful finished"), std::string::npos);
  EXPECT_EQ(stack.written, "0123456789");
  EXPECT_EQ(stack.calls[1].instance, 3u);
}

TEST_F(JobRunnerTest, MissingKeysAreAllReportedBeforeTheAbort)
{
  std::string text = run(job("[r]\nTODO=READ\n"));
  EXPECT_NE(text.find("ERROR: No BACnet Device ID set\nERROR: File instance not set\nERROR: No start position set\n"
                      "ERROR: No end position set\nERROR: No result file set\n"
                      "--Function: \"r\" aborted because of an error\n\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(stack.calls.size(), 2u);  // start and stop, no transfer
}

TEST_F(JobRunnerTest, DeviceIdAboveTheLastInstanceIsRefused)
{
  std::string text = run(job("[w]\nTODO=WRITE\nDEVICE_ID=4194303\nFILE_INSTANCE=1\nSTART=0\nEND=1\nSOURCEFILE=x\n"));
  EXPECT_NE(text.find("ERROR: BACnet Device ID is out of range\n"), std::string::npos);
  EXPECT_NE(text.find("-->Error while executing the functions"), std::string::npos);
}

TEST_F(JobRunnerTest, EndBeforeStartFailsWithoutARequest)
{
  std::string text = run(job("[r]\nTODO=READ\nDEVICE_ID=1\nFILE_INSTANCE=1\nSTART=10\nEND=4\nRESULTFILE=" +
                             path("f.bin") + "\n"));
  EXPECT_NE(text.find("ERROR: START > END\n--Function: \"r\" aborted because of an error"), std::string::npos)
      << text;
  for (const Call& c : stack.calls)
    EXPECT_NE(c.what, "read");
}

TEST_F(JobRunnerTest, RangesAndFileInstancesThatNameNoValidRequestFailWithTheirReason)
{
  struct Case {
    const char *device, *instance, *start, *end;
    const char* reason;  // null: the transfer runs with the values as given
  };
  const Case cases[] = {
      {"1", "1", "-2147483648", "1", "ERROR: END - START is out of range\n"},
      {"1", "1", "7", "-7", "ERROR: START > END\n"},
      {"1", "-1", "0", "4", "ERROR: File instance is out of range\n"},
      {"1", "4194302", "0", "2147483647", nullptr},
      {"1", "0", "-1", "2147483646", nullptr},
      // Numbers that wrapped into a valid one before: they are read in full.
      {"1", "4294967298", "0", "4", "ERROR: File instance is out of range\n"},
      {"4294968530", "1", "0", "4", "ERROR: BACnet Device ID is out of range\n"},
      {"1", "1", "4294967296", "4294967306", "ERROR: START is out of range\nERROR: END is out of range\n"},
      {"1", "1", "-2147483649", "2", "ERROR: START is out of range\n"},
      {"99999999999999999999", "1", "0", "4", "ERROR: BACnet Device ID is out of range\n"},
      {"4194302", "7", "2147483647", "2147483647", nullptr},
  };
  std::ofstream(path("src.bin")) << "0123";
  for (const Case& c : cases) {
    for (std::string todo : {"READ\nRESULTFILE=" + path("f.bin"), "WRITE\nSOURCEFILE=" + path("src.bin")}) {
      stack.calls.clear();
      std::string text = run(job("[t]\nTODO=" + todo + "\nDEVICE_ID=" + c.device + "\nFILE_INSTANCE=" + c.instance +
                                 "\nSTART=" + c.start + "\nEND=" + c.end + "\n"));
      std::string name = todo.substr(0, 5) + " " + c.device + " " + c.instance + " " + c.start + " " + c.end;
      if (c.reason) {
        EXPECT_EQ(stack.calls.size(), 2u) << name;  // start and stop only
        EXPECT_NE(text.find(std::string(c.reason) + "--Function: \"t\" aborted because of an error\n\n"),
                  std::string::npos)
            << name << "\n" << text;
        continue;
      }
      ASSERT_EQ(stack.calls.size(), 3u) << name;
      EXPECT_EQ(stack.calls[1].device, uint32_t(std::atoi(c.device))) << name;
      EXPECT_EQ(stack.calls[1].instance, uint32_t(std::atoi(c.instance))) << name;
      EXPECT_EQ(stack.calls[1].start, std::atoi(c.start)) << name;
      EXPECT_EQ(stack.calls[1].end, std::atoi(c.end)) << name;
    }
  }
}

TEST_F(JobRunnerTest, LinkValuesOtherThanAnAddressAndAPortAreAConfigurationError)
{
  // An address with more behind it and a port of letters are run end to end.
  const std::pair<const char*, const char*> refused[] = {
      {"IP=abc\n", "PORT=47808"}, {"IP=10.77\n", "PORT=47808"}, {"IP=10.77.0.256\n", "PORT=47808"},
      {"", "PORT=0"}, {"", "PORT=65536"}, {"", "PORT=47808;X=1"}, {"", "PORT=-1"},
  };
  for (const auto& [ip, port] : refused) {
    std::ofstream(path("c.ini")) << "[GENERAL]\nLOGFILE=" << path("log.txt")
                                 << "\nLOCAL_DEVICE_ID=1\nLINK=BACnet_IP\n[BACnet_IP]\n"
                                 << ip << port << "\n[r]\nTODO=READ\n";
    stack.calls.clear();
    JobRunner runner(stack, pinned_time);
    runner.Run(path("c.ini"));
    EXPECT_TRUE(log().ends_with(std::string("# Port: ") + (port + 5) +
                                "\nERROR: Unknown connection configuration\n"
                                "\n-->Error while reading the configuration file\n"))
        << ip << port << "\n" << log();
    EXPECT_TRUE(stack.calls.empty()) << ip << port;
  }
}

TEST_F(JobRunnerTest, UnopenableLocalFilesFailTheFunction)
{
  std::string text = run(job("[w]\nTODO=WRITE\nDEVICE_ID=1\nFILE_INSTANCE=1\nSTART=0\nEND=4\nSOURCEFILE=" +
                             path("missing.bin") + "\n[s]\nTODO=SCAN_DEVICE\nRANGE_LOW=0\nRANGE_HIGH=10\nSCAN_TIME=1\n"
                             "RESULTFILE=/proc/no/such/result.csv\n"));
  EXPECT_NE(text.find("WARNING: Can not create or write file \"" + path("missing.bin") + "\"!\n"
                      "--Function: \"w\" aborted because of an error\n\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("WARNING: Can not create or write file \"/proc/no/such/result.csv\"!\n"
                      "--Function: \"s\" aborted because of an error\n\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(stack.calls.size(), 2u);
}

TEST_F(JobRunnerTest, ScanDefaultsAndRangeChecks)
{
  std::string text = run(job("[s1]\nTODO=SCAN_DEVICE\nRANGE_HIGH=-1\nSCAN_TIME=-3\nRESULTFILE=" + path("r.csv") +
                             "\n[s2]\nTODO=SCAN_DEVICE\nRANGE_LOW=9\nRANGE_HIGH=3\n"));
  EXPECT_NE(text.find("WARNING: RANGE_LOW missing --> standard value \"0\" used\n"
                      "WARNING: RANGE_HIGH out of Range --> reset to maximum value \"4194302\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("ERROR: RANGE_LOW > RANGE_HIGH\nERROR: No result file set\n"
                      "--Function: \"s2\" aborted because of an error\n\n"),
            std::string::npos)
      << text;
  ASSERT_EQ(stack.calls[1].what, "scan");
  EXPECT_EQ(stack.calls[1].device, 0u);
  EXPECT_EQ(stack.calls[1].instance, 4194302u);
  EXPECT_EQ(stack.calls[1].wait, 0);  // a negative scan time waits not at all
  EXPECT_EQ(read(path("r.csv")), "Device ID; Device Name; SoftwareVersion\n");
}

TEST_F(JobRunnerTest, ScanNumbersAreReadInFull)
{
  struct Case {
    const char *low, *high, *seconds;
    const char* line;  // logged for the function
    bool scans;
    uint32_t scan_low, scan_high;
    int wait;
  };
  const Case cases[] = {
      {"4294967296", "10", "1", "ERROR: RANGE_LOW > RANGE_HIGH\n", false, 0, 0, 0},
      {"-1", "10", "1", "ERROR: RANGE_LOW > RANGE_HIGH\n", false, 0, 0, 0},
      {"0", "4294967306", "1", "WARNING: RANGE_HIGH out of Range --> reset to maximum value \"4194302\"\n", true, 0,
       4194302, 1},
      {"0", "10", "4294967297", "ERROR: SCAN_TIME is out of range\n", false, 0, 0, 0},
      {"0", "10", "-4294967296", "--Function: \"s\" successful finished\n", true, 0, 10, 0},
      {"3", "4194302", "2147483647", "--Function: \"s\" successful finished\n", true, 3, 4194302, 2147483647},
  };
  for (const Case& c : cases) {
    stack.calls.clear();
    std::string text = run(job(std::string("[s]\nTODO=SCAN_DEVICE\nRANGE_LOW=") + c.low + "\nRANGE_HIGH=" + c.high +
                               "\nSCAN_TIME=" + c.seconds + "\nRESULTFILE=" + path("r.csv") + "\n"));
    std::string name = std::string(c.low) + " " + c.high + " " + c.seconds;
    EXPECT_NE(text.find(c.line), std::string::npos) << name << "\n" << text;
    if (!c.scans) {
      EXPECT_NE(text.find(std::string(c.line) + "--Function: \"s\" aborted because of an error\n\n"), std::string::npos)
          << name << "\n" << text;
      EXPECT_EQ(stack.calls.size(), 2u) << name;  // start and stop only
      continue;
    }
    ASSERT_EQ(stack.calls.size(), 3u) << name;
    EXPECT_EQ(stack.calls[1].device, c.scan_low) << name;
    EXPECT_EQ(stack.calls[1].instance, c.scan_high) << name;
    EXPECT_EQ(stack.calls[1].wait, c.wait) << name;
  }
}

TEST_F(JobRunnerTest, ScanWhoseWhoIsCannotBeSentFails)
{
  stack.scan_result = -1;
  std::string text = run(job("[s]\nTODO=SCAN_DEVICE\nRANGE_LOW=0\nRANGE_HIGH=10\nSCAN_TIME=1\nRESULTFILE=" +
                             path("r.csv") + "\n"));
  EXPECT_NE(text.find("ERROR: Can not send Who-Is\n--Function: \"s\" aborted because of an error\n\n"
                      "#Endtime: 09:05:07\n\n\n-->Error while executing the functions\n"),
            std::string::npos)
      << text;
}

TEST_F(JobRunnerTest, SkipNextAndStopOnError)
{
  std::string bad = "TODO=READ\n";  // fails: keys missing
  std::string good = "TODO=SCAN_DEVICE\nRANGE_LOW=1\nRANGE_HIGH=2\nSCAN_TIME=0\nRESULTFILE=" + path("r.csv") + "\n";
  run(job("[f1]\n" + bad + "ON_ERROR_SKIP_NEXT=2\n[f2]\n" + good + "[f3]\n" + good + "[f4]\n" + good));
  // f2 and f3 are skipped; f4 runs.
  EXPECT_EQ(stack.calls.size(), 3u);
  EXPECT_NE(log().find("--Function: \"f4\" started"), std::string::npos);
  EXPECT_EQ(log().find("--Function: \"f2\" started"), std::string::npos);

  // A count beyond 32 bits skips the rest instead of wrapping to 1.
  stack.calls.clear();
  run(job("[f1]\n" + bad + "ON_ERROR_SKIP_NEXT=4294967297\n[f2]\n" + good + "[f3]\n" + good));
  EXPECT_EQ(stack.calls.size(), 2u);
  EXPECT_EQ(log().find("--Function: \"f3\" started"), std::string::npos);

  stack.calls.clear();
  run(job("[f1]\n" + bad + "STOP_ON_ERROR=1\n[f2]\n" + good));
  EXPECT_EQ(log().find("--Function: \"f2\" started"), std::string::npos);
  EXPECT_NE(log().find("-->Error while executing the functions"), std::string::npos);
}

TEST_F(JobRunnerTest, SectionsWithoutTodoAndUnknownFunctions)
{
  std::string text = run(job("[idle]\nFOO=1\n[odd]\nTODO=DANCE\n"));
  EXPECT_NE(text.find("WARNING: Unknown function \"DANCE\"\n\n#Endtime: 09:05:07\n\n\n-->Successful finished\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("idle"), std::string::npos);
}

TEST_F(JobRunnerTest, RepeatedSectionIsWarnedOnceAndIgnored)
{
  std::string text = run(job("[s]\nTODO=SCAN_DEVICE\nRANGE_LOW=1\nRANGE_HIGH=2\nSCAN_TIME=0\nRESULTFILE=" +
                             path("r.csv") + "\n[s]\nTODO=READ\n"));
  EXPECT_TRUE(text.starts_with("--Reading configuration file\nWARNING: Multiple definitions for the section \"s\"\n"))
      << text;
  EXPECT_NE(text.find("-->Successful finished"), std::string::npos);
}

TEST_F(JobRunnerTest, ConfigurationErrors)
{
  JobRunner runner(stack, pinned_time);
  std::ofstream(path("c1.ini")) << "[GENERAL]\nLOGFILE=" << path("log.txt") << "\nLOCAL_DEVICE_ID=1\nLINK=bacnet_ip\n";
  EXPECT_EQ(runner.ReadConfig(path("c1.ini")), 2);
  EXPECT_EQ(log(), "--Reading configuration file\nERROR: Type of connection not recognized\n");

  JobRunner r2(stack, pinned_time);
  std::ofstream(path("c2.ini")) << "[GENERAL]\nLOGFILE=" << path("log.txt") << "\nLINK=BACnet_IP\n";
  r2.Run(path("c2.ini"));
  EXPECT_EQ(log(), "--Reading configuration file\nERROR: No local Device ID set\n"
                   "\n-->Error while reading the configuration file\n");

  // 4294971007 wrapped to 4711 before; it is read in full now.
  for (const char* local_id : {"4194303", "4294971007", "-1"}) {
    JobRunner r3(stack, pinned_time);
    std::ofstream(path("c3.ini")) << "[GENERAL]\nLOGFILE=" << path("log.txt") << "\nLOCAL_DEVICE_ID=" << local_id
                                  << "\nLINK=BACnet_IP\n[BACnet_IP]\n";
    r3.Run(path("c3.ini"));
    EXPECT_EQ(log(), "--Reading configuration file\nERROR: BACnet Device ID is out of range\n"
                     "\n-->Error while reading the configuration file\n")
        << local_id;
  }

  JobRunner r4(stack, pinned_time);
  std::ofstream(path("c4.ini")) << "[GENERAL]\nLOGFILE=" << path("log.txt") << "\nLOCAL_DEVICE_ID=5\nLINK=BACnet_IP\n";
  r4.Run(path("c4.ini"));
  EXPECT_EQ(log(), "--Reading configuration file\n# Connection: BACnet IP\nERROR: Section for BACnet IP missing\n"
                   "\n-->Error while reading the configuration file\n");
  EXPECT_TRUE(stack.calls.empty());

  JobRunner r5(stack, pinned_time);
  std::ofstream(path("c5.ini")) << "[general]\nLOGFILE=" << path("log5.txt") << "\n";
  EXPECT_EQ(r5.ReadConfig(path("c5.ini")), 4);
  EXPECT_FALSE(fs::exists(path("log5.txt")));
}

TEST_F(JobRunnerTest, MstpJobRunsNothingAndWritesNoEndLine)
{
  std::ofstream(path("m.ini")) << "[GENERAL]\nLOGFILE=" << path("log.txt")
                               << "\nLOCAL_DEVICE_ID=5\nLINK=BACnet_MSTP\n[BACnet_MSTP]\nBAUD_RATE=38400\n"
                                  "[r]\nTODO=READ\n";
  JobRunner runner(stack, pinned_time);
  runner.Run(path("m.ini"));
  EXPECT_EQ(log(), "--Reading configuration file\n# Connection: BACnet MSTP\n# COM Port: COM1\n# Baudrate: 38400\n"
                   "# MAC-Address: 1\n--Reading configuration file successful finished\n\n#Starttime: 09:05:07\n\n");
  EXPECT_TRUE(stack.calls.empty());
}

TEST_F(JobRunnerTest, MstpNumbersBeyond32BitsAreAConfigurationError)
{
  std::ofstream(path("m.ini")) << "[GENERAL]\nLOGFILE=" << path("log.txt")
                               << "\nLOCAL_DEVICE_ID=5\nLINK=BACnet_MSTP\n[BACnet_MSTP]\nMAC_ADDRESS=4294967297\n";
  JobRunner runner(stack, pinned_time);
  EXPECT_EQ(runner.ReadConfig(path("m.ini")), 2);
  EXPECT_TRUE(log().ends_with("# MAC-Address: 4294967297\nERROR: Unknown connection configuration\n")) << log();
}

TEST_F(JobRunnerTest, JobFilesBeyondTheirLimitsAreAConfigurationError)
{
  auto lines = [](size_t characters) {  // "K<n>=value" lines of 100 characters with their line ends
    std::string text;
    for (size_t n = 0; text.size() < characters; ++n) {
      std::string key = "K" + std::to_string(n) + "=";
      text += key + std::string(99 - key.size(), 'v') + "\n";
    }
    return text;
  };
  auto sections = [&](int count, size_t characters) {
    std::string text;
    for (int i = 0; i < count; ++i)
      text += "[S" + std::to_string(i) + "]\n" + lines(characters);
    return text;
  };
  std::string names;
  for (int i = 0; i < 102400 / 8; ++i)
    names += "[N" + std::to_string(100000 + i) + "]\n";  // 7 characters and the end of each name
  std::string reads;                                     // about 260,000 characters
  for (int i = 1; i <= 2000; ++i)
    reads += "[FUNCTION_" + std::to_string(i) +
             "]\nTODO=READ\nDEVICE_ID=1234\nFILE_INSTANCE=" + std::to_string(i % 5 + 1) +
             "\nSTART=0\nEND=146\nRESULTFILE=/dev/null\nSTOP_ON_ERROR=0\nON_ERROR_SKIP_NEXT=0\n";
  const std::pair<std::string, int> cases[] = {
      // the reads run, or -1: refused
      {"[big]\nTODO=x\n" + lines(102300), 0},
      {"[big]\nTODO=x\n" + lines(102400), -1},
      {names, -1},
      {sections(2, 95000), 0},
      {sections(3, 95000), 0},  // a file of any length, each section within its limit
      {reads, 2000},
      {"[big]\nTODO=x\n" + std::string(300000, '\0'), -1},  // a line without end
  };
  for (const auto& [rest, reads_run] : cases) {
    stack.calls.clear();
    std::string text = run(job(rest));
    if (reads_run >= 0) {
      EXPECT_TRUE(text.ends_with("\n-->Successful finished\n")) << rest.size();
      EXPECT_EQ(std::count_if(stack.calls.begin(), stack.calls.end(), [](const Call& c) { return c.what == "read"; }),
                reads_run);
      continue;
    }
    EXPECT_EQ(text, "--Reading configuration file\nERROR: Configuration file too large\n"
                    "\n-->Error while reading the configuration file\n")
        << rest.size();
    EXPECT_TRUE(stack.calls.empty());
  }
}

TEST_F(JobRunnerTest, StackThatCannotStartEndsTheJob)
{
  stack.start_result = 3;
  std::string text = run(job("[r]\nTODO=READ\n"));
  EXPECT_TRUE(text.ends_with("#Starttime: 09:05:07\n\n#Endtime: 09:05:07\n\nERROR: Can not establish BACnet connection\n"))
      << text;
}

TEST_F(JobRunnerTest, BackslashPathsBecomeFolders)
{
  std::string logpath = path("a") + "\\b\\log.txt";
  std::ofstream(path("p.ini")) << "[GENERAL]\nLOGFILE=" << logpath << "\nLOCAL_DEVICE_ID=5\nLINK=x\n";
  JobRunner runner(stack, pinned_time);
  runner.Run(path("p.ini"));
  EXPECT_TRUE(fs::is_directory(path("a/b")));
  EXPECT_EQ(read(path("a/b/log.txt")), "--Reading configuration file\nERROR: Type of connection not recognized\n"
                                       "\n-->Error while reading the configuration file\n");
}

TEST(BackendProgram, WithoutArgumentSaysNoConfigFile)
{
  int status = -1;
  std::string out = testsupport::run_command(testsupport::bin_dir() + "/ZOR17", &status);
  EXPECT_EQ(out, "no config file\n");
  EXPECT_EQ(status, 0);
  out = testsupport::run_command(testsupport::bin_dir() + "/ZOR17 ''", &status);
  EXPECT_EQ(out, "no config file\n");
}

TEST(JobFile, ParsesSectionsKeysAndEmptyValues)
{
  auto sections = parse_job_file("; comment\n[A]\nK1 = v1\nK2=\nnoequals\nK3=a=b\r\n[B]\n");
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].name, "A");
  ASSERT_EQ(sections[0].lines.size(), 2u);
  EXPECT_EQ(sections[0].lines[0], (std::pair<std::string, std::string>("K1", "v1")));
  EXPECT_EQ(sections[0].lines[1], (std::pair<std::string, std::string>("K3", "a=b")));
  EXPECT_TRUE(sections[1].lines.empty());
}

}  // namespace
