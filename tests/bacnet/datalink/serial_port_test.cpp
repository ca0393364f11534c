// The serial port class and its line wrappers on pseudo-terminals: probing, exclusivity, line
// settings read back from the device, timed reads and writes, events, a hung-up line, and a
// frame it cannot take, counted on its port.
#include "bacnet/datalink/byte_line.h"
#include "bacnet/datalink/datalink_port.h"
#include "bacnet/datalink/serial_port.h"
#include "support/pty_pair.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

TEST(SerialPort, ProbeTellsFreeMissingInUseAndNoSerialDevice)
{
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const std::string plain_file = (std::filesystem::temp_directory_path() / "zor17-not-a-tty").string();
  std::ofstream(plain_file) << "x";
  EXPECT_EQ(SerialPort::ProbePort(pty.path().c_str()), 0);
  EXPECT_EQ(SerialPort::ProbePort("/dev/zor17-no-such-line"), 1);
  EXPECT_EQ(SerialPort::ProbePort(plain_file.c_str()), -1);
  {
    SerialPort holder;
    ASSERT_EQ(holder.Open(pty.path().c_str(), 2048, 2048), kSerialOk);
    EXPECT_EQ(SerialPort::ProbePort(pty.path().c_str()), 2);
    SerialLine line;
    line.device = pty.path();
    EXPECT_EQ(serial_port_open(&line), 2);
    EXPECT_EQ(line.port, nullptr);
    EXPECT_EQ(holder.Open(pty.path().c_str(), 2048, 2048), kSerialAlreadyOpen);
  }
  EXPECT_EQ(SerialPort::ProbePort(pty.path().c_str()), 0);
  std::filesystem::remove(plain_file);
}

TEST(SerialPort, AReadTimeOutLeavesTheLineUsableAHungUpLineFails)
{
  PtyPair pty;
  SerialLine line;
  line.device = pty.path();
  line.baud_rate = 38400;
  ASSERT_EQ(serial_port_open(&line), 0);
  EXPECT_EQ(line.port->GetBaud(), 38400);
  uint8_t octet = 0;
  EXPECT_EQ(serial_port_read(&line, &octet, 30), kSerialLineTimeout);
  pty.send({0x55, 0xFF});
  EXPECT_EQ(serial_port_read(&line, &octet, 500), kSerialLineOk);
  EXPECT_EQ(octet, 0x55);
  EXPECT_EQ(serial_port_read(&line, &octet, 500), kSerialLineOk);
  EXPECT_EQ(octet, 0xFF);
  const uint8_t frame[] = {1, 2, 3};
  EXPECT_EQ(serial_port_write(&line, frame, 3, 500), kSerialLineOk);
  EXPECT_EQ(pty.receive(3, 500), (std::vector<uint8_t>{1, 2, 3}));
  pty.close_master();
  EXPECT_EQ(serial_port_read(&line, &octet, 200), kSerialLineFailed);  // not a time-out
  EXPECT_EQ(serial_port_close(&line), 0);
  EXPECT_EQ(serial_port_close(&line), -1);
  EXPECT_EQ(serial_port_read(&line, &octet, 10), -1);
  EXPECT_EQ(serial_port_write(&line, frame, 3, 10), -1);
}

std::vector<std::string> g_traced;

TEST(SerialPort, AFrameTheLineCannotTakeIsCountedOnThePortAndTraced)
{
  PtyPair pty;
  SerialLine line;
  line.device = pty.path();
  ASSERT_EQ(serial_port_open(&line), 0);
  DatalinkPort port;
  PortByteLine byte_line(&port, &line, false,
                         [](int level, const char* text) { g_traced.push_back(std::to_string(level) + " " + text); }, 9);
  pty.close_master();
  EXPECT_FALSE(byte_line.write(std::vector<uint8_t>{0x55, 0xFF, 0x00}, 100));
  EXPECT_EQ(port.send_failures, 1u);
  EXPECT_EQ(g_traced, std::vector<std::string>{"9 Port 00 Send failed to " + pty.path() + ", frame dropped"});
  serial_port_close(&line);
}

// A pseudo-terminal keeps speed and stop bits but always reads back 8 data bits, no parity;
// hardware handshaking leaves RTS toggling the transmitter, so it does not read back as 1.
TEST(SerialPort, LineSettingsAndHandshakingAreReadBackFromTheDevice)
{
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(port.Open(pty.path().c_str(), 2048, 2048), kSerialOk);
  EXPECT_EQ(port.GetBaud(), 9600);
  EXPECT_EQ(port.GetDataBits(), 8);
  EXPECT_EQ(port.GetParity(), 0);
  EXPECT_EQ(port.GetStopBits(), 0);
  EXPECT_EQ(port.GetHandshaking(), kHandshakeNone);
  EXPECT_EQ(port.GetEventMask(), kSerialEventReceived | kSerialEventBreak | kSerialEventLineError);
  const struct {
    uint32_t baud;
    uint8_t data_bits, parity, stop_bits;
    int32_t stop_bits_read;
  } cases[] = {
      {76800, 8, 0, 0, 0}, {19200, 7, 2, 2, 2}, {115200, 8, 1, 1, 1}, {1200, 5, 3, 0, 0}, {57600, 6, 4, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.baud);
    ASSERT_EQ(port.SetLine(c.baud, c.data_bits, c.parity, c.stop_bits), kSerialOk);
    EXPECT_EQ(port.GetBaud(), int32_t(c.baud));
    EXPECT_EQ(port.GetStopBits(), c.stop_bits_read);
  }
  EXPECT_EQ(port.SetLine(9600, 9, 0, 0), kSerialInvalidArgument);
  EXPECT_EQ(port.SetLine(9600, 8, 5, 0), kSerialInvalidArgument);
  EXPECT_EQ(port.GetBaud(), 57600);
  const std::pair<uint32_t, uint32_t> handshakes[] = {  // set, result of GetHandshaking
      {kHandshakeXonXoff, kHandshakeXonXoff}, {3, kHandshakeXonXoff}, {kHandshakeHardware, kHandshakeNone}};
  for (const auto& [mode, read_back] : handshakes) {
    EXPECT_EQ(port.SetHandshaking(mode), mode == 3 ? kSerialInvalidArgument : kSerialOk) << mode;
    EXPECT_EQ(port.GetHandshaking(), int32_t(read_back)) << mode;
  }
  EXPECT_EQ(port.SetReadTimeouts(2), kSerialInvalidArgument);
  EXPECT_EQ(port.last_error(), kSerialInvalidArgument);
}

TEST(SerialPort, WaitEventSeesTheEventCharacterAndReadStillGetsEveryOctet)
{
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(port.Open(pty.path().c_str(), 2048, 2048), kSerialOk);
  EXPECT_EQ(port.WaitEvent(20), kSerialTimeout);
  ASSERT_EQ(port.SetEventChar('\r', true), kSerialOk);
  pty.send({'O', 'K', '\r'});
  ASSERT_EQ(port.WaitEvent(1000), kSerialOk);
  EXPECT_EQ(port.events(), kSerialEventReceived | kSerialEventCharacter);
  uint8_t buffer[8] = {};
  uint32_t count = 0;
  EXPECT_EQ(port.Read(buffer, 3, &count, 100), kSerialOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), "OK\r");
  // Mode 0 returns at once with what is there; mode 1 waits for all and reports the part.
  ASSERT_EQ(port.SetReadTimeouts(0), kSerialOk);
  EXPECT_EQ(port.Read(buffer, 8, &count, 1000), kSerialOk);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(port.SetReadTimeouts(1), kSerialOk);
  pty.send({'A'});
  EXPECT_EQ(port.Read(buffer, 2, &count, 50), kSerialTimeout);
  EXPECT_EQ(count, 1u);
}

TEST(SerialPort, ComPortNumbersMapToDevicesAsTheConfigurationProgramMapsThem)
{
  ::setenv("ZOR17_COM7", "/tmp/zor17-line", 1);
  EXPECT_EQ(serial_port_device_path(7), "/tmp/zor17-line");
  ::unsetenv("ZOR17_COM7");
  EXPECT_EQ(serial_port_device_path(7), "/dev/ttyS6");
  EXPECT_EQ(serial_port_device_path(1), "/dev/ttyS0");
}

}  // namespace
