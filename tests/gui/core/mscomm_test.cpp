#include "gui/core/mscomm.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace mscomm;

TEST(MSCommSettings, ParsesTheSettingsText)
{
  auto rtu = parse_settings("38400,N,8,1");
  ASSERT_TRUE(rtu);
  EXPECT_EQ(rtu->baud_rate, 38400);
  EXPECT_EQ(rtu->parity, 'N');
  EXPECT_EQ(rtu->data_bits, 8);
  EXPECT_EQ(rtu->stop_bits, 1);
  auto ascii = parse_settings("19200,e,7,2");
  ASSERT_TRUE(ascii);
  EXPECT_EQ(ascii->parity, 'E');
  EXPECT_EQ(ascii->data_bits, 7);
  EXPECT_EQ(ascii->stop_bits, 2);
}

TEST(MSCommSettings, RefusesMalformedSettings)
{
  for (const char* bad : {"", "38400", "38400,N,8", "x,N,8,1", "38400,X,8,1", "38400,N,9,1", "38400,N,8,3",
                          "-1,N,8,1", "38400,NN,8,1"})
    EXPECT_FALSE(parse_settings(bad)) << bad;
}

TEST(MSCommSettings, PseudoTerminalsFallBackToEightNone)
{
  LineSettings ascii{38400, 'E', 7, 1};
  LineSettings on_pty = settings_for_device(ascii, true);
  EXPECT_EQ(on_pty.data_bits, 8);
  EXPECT_EQ(on_pty.parity, 'N');
  EXPECT_EQ(on_pty.baud_rate, 38400);
  LineSettings on_line = settings_for_device(ascii, false);
  EXPECT_EQ(on_line.data_bits, 7);
  EXPECT_EQ(on_line.parity, 'E');
}

TEST(MSCommPorts, ComNumbersMapToDevicePaths)
{
  unsetenv("ZOR17_COM3");
  EXPECT_EQ(device_path(3), "/dev/ttyS2");
  EXPECT_EQ(device_path(3, [](int n) { return n == 3 ? QString("/dev/ttyUSB0") : QString(); }), "/dev/ttyUSB0");
  setenv("ZOR17_COM3", "/dev/pts/7", 1);
  EXPECT_EQ(device_path(3, [](int) { return QString("/dev/ttyUSB0"); }), "/dev/pts/7");
  unsetenv("ZOR17_COM3");
}

TEST(MSCommPorts, AMissingDeviceIsReportedNotThrown)
{
  setenv("ZOR17_COM12", "/nonexistent/tty", 1);
  MSComm comm;
  EXPECT_EQ(comm.SetCommPort(12), kNoError);
  EXPECT_NE(comm.SetPortOpen(true), kNoError);
  EXPECT_FALSE(comm.PortOpen());
  EXPECT_EQ(comm.Output("x"), kPortNotOpen);
  EXPECT_EQ(comm.InBufferCount(), 0);
  unsetenv("ZOR17_COM12");
}

#include "support/pty_pair.h"
#include "support/socat_pair.h"

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

// Both directions through a socat pseudo-terminal pair, in ASCII settings (7E1), which the
// pty cannot do and so runs as 8N1.
TEST(MSCommPorts, MovesBytesBothWaysOverAPtyPair)
{
  const std::string dir = std::filesystem::temp_directory_path() / ("zor17-pty-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  SocatPair line(dir);
  ASSERT_TRUE(line.ok()) << "socat did not make the pty pair";

  setenv("ZOR17_COM4", line.near.c_str(), 1);
  MSComm comm;
  ASSERT_EQ(comm.SetCommPort(4), kNoError);
  ASSERT_EQ(comm.SetSettings("38400,E,7,1"), kNoError);
  ASSERT_EQ(comm.SetPortOpen(true), kNoError);
  EXPECT_EQ(comm.effective_settings().data_bits, 8);
  EXPECT_EQ(comm.effective_settings().parity, 'N');

  const int far = open(line.far.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(far, 0);
  EXPECT_EQ(comm.Output(QByteArray::fromHex("010300210001D400")), kNoError);
  const std::vector<uint8_t> got = receive_from(far, 8, 2000);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(got.data()), int(got.size())).toHex(), "010300210001d400");

  ASSERT_EQ(write(far, "\x01\x03\x02\x00\x05", 5), 5);
  int count = 0;
  for (int i = 0; i < 200 && count < 5; ++i) {
    count = comm.InBufferCount();
    if (count < 5)
      usleep(5000);
  }
  EXPECT_EQ(count, 5);
  EXPECT_EQ(comm.Input().toHex(), "0103020005");
  close(far);
  comm.SetPortOpen(false);
  unsetenv("ZOR17_COM4");
  std::filesystem::remove_all(dir);
}

// A terminal without permission is the pseudo-terminal test below; its text, the form's.
TEST(MSCommPorts, OpenErrorsNameTheirCause)
{
  EXPECT_EQ(open_error(QSerialPort::DeviceNotFoundError, true), kInvalidPortNumber);
  EXPECT_EQ(open_error(QSerialPort::PermissionError, true), kPortAlreadyOpen);
  EXPECT_EQ(open_error(QSerialPort::OpenError, true), kDeviceUnavailable);
  EXPECT_TRUE(error_reason(kPortAlreadyOpen).isEmpty());
}

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>

// A terminal the user may not open is a missing permission, not a port in use. Run as an
// ordinary user: as root the test opens the terminal from a child that has become "nobody".
TEST(MSCommPorts, ATerminalWithoutPermissionIsReportedAsSuch)
{
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const std::string& path = pty.path();
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  if (getuid() != 0) {
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
  }

  pid_t child = fork();
  if (child == 0) {
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(90);
    setenv("ZOR17_COM5", path.c_str(), 1);
    MSComm comm;
    comm.SetCommPort(5);
    const int error = comm.SetPortOpen(true);
    _exit(error == kPermissionDenied ? 0 : error == kPortAlreadyOpen ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
