// A serial line for the Modbus master's tests with a small room unit behind it: every frame
// the master writes is recorded, and when the unit is switched on it puts its answer (RTU or
// ASCII, by the frame's first character) into the line's input, where the master's receive
// poll finds it. The unit keeps 0x300 holding registers and coils. Nothing here sleeps; the
// tests drive the master's timers by calling their handlers.
#pragma once

#include "gui/core/modbus_frame.h"
#include "gui/core/modbus_master.h"
#include "gui/core/mscomm.h"
#include "gui/core/register_rows.h"
#include "gui/core/wandeln.h"
#include "support/socat_pair.h"

#include <QByteArray>
#include <QList>
#include <QTimer>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>

struct SimulatedUnit {
  int address = 1;
  bool answers = true;
  std::array<uint16_t, 0x300> hr{};
  std::array<uint8_t, 0x300> co{};
  int writes = 0;

  // The registers as the tests' read-out expects them: the factory values, a few of them
  // negative or in tenths, and some input registers and bits set.
  void hold_read_out_values()
  {
    for (const rows::ConfigRegisterRow& r : rows::ConfigRegisters()) {
      const double raw = r.index >= 34 && r.index <= 42 ? r.factory * 10 : r.factory;
      hr[size_t(r.index)] = uint16_t(int(std::lround(raw)) & 0xFFFF);
    }
    hr[33] = 5;
    hr[34] = 215;     // 21,5
    hr[35] = 0xFFCE;  // -5
    hr[20] = 1;
    for (int i = 7; i <= 27; ++i)
      hr[size_t(0x200 + i)] = uint16_t(i);
    hr[0x200 + 12] = 215;    // 21,5
    hr[0x200 + 9] = 0xFF9C;  // -10
    hr[0x200 + 26] = 2;
    hr[0x200 + 27] = 1;
    co[0] = 1;
    co[31] = 1;
    co[24] = 1;
    co[0x100 + 3] = 1;
  }

  static uint16_t crc(const QByteArray& bytes)
  {
    int32_t c = 0xFFFF;
    for (char b : bytes)
      modbus::func_crc16_byte(c, uint8_t(b));
    return uint16_t(c);
  }

  // The answer to one request (its bytes without check sum); empty when the unit keeps quiet.
  QByteArray answer(const QByteArray& pdu)
  {
    if (pdu.size() < 6 || uint8_t(pdu[0]) != address)
      return {};
    const int fc = uint8_t(pdu[1]);
    const int start = (uint8_t(pdu[2]) << 8) | uint8_t(pdu[3]);
    const int qty = (uint8_t(pdu[4]) << 8) | uint8_t(pdu[5]);
    QByteArray out = pdu.left(2);
    if (fc == 3) {
      out.append(char(2 * qty));
      for (int i = 0; i < qty; ++i) {
        out.append(char(hr[size_t(start + i)] >> 8));
        out.append(char(hr[size_t(start + i)] & 0xFF));
      }
    } else if (fc == 1) {
      const int bytes = (qty + 7) / 8;
      out.append(char(bytes));
      for (int b = 0; b < bytes; ++b) {
        int v = 0;
        for (int j = 0; j < 8 && 8 * b + j < qty; ++j)
          v |= co[size_t(start + 8 * b + j)] << j;
        out.append(char(v));
      }
    } else if (fc == 0x10) {
      for (int i = 0; i < qty; ++i)
        hr[size_t(start + i)] = uint16_t((uint8_t(pdu[7 + 2 * i]) << 8) | uint8_t(pdu[8 + 2 * i]));
      out = pdu.left(6);
      ++writes;
    } else if (fc == 0x0F) {
      for (int k = 0; k < qty; ++k)
        co[size_t(start + k)] = (uint8_t(pdu[7 + k / 8]) >> (k % 8)) & 1;
      out = pdu.left(6);
      ++writes;
    } else {
      return {};
    }
    return out;
  }

  static QByteArray as_rtu(const QByteArray& pdu)
  {
    const uint16_t c = crc(pdu);
    return pdu + char(c & 0xFF) + char(c >> 8);
  }

  static QByteArray as_ascii(const QByteArray& pdu)
  {
    return ":" + pdu.toHex().toUpper() + Wandeln::ByteToHex(modbus::lrc(pdu)).toLatin1() + "\r\n";
  }
};

class ScriptedLine : public mscomm::SerialLine {
public:
  SimulatedUnit unit;
  QList<QByteArray> written;
  QByteArray inbox;
  int open_error = mscomm::kNoError;
  int opened = 0;

  int CommPort() const override { return port_; }
  int SetCommPort(int number) override
  {
    if (open_)
      return mscomm::kPortAlreadyOpen;
    port_ = number;
    return mscomm::kNoError;
  }
  QString Settings() const override { return settings_; }
  int SetSettings(const QString& text) override
  {
    if (!mscomm::parse_settings(text))
      return mscomm::kInvalidPropertyValue;
    settings_ = text;
    return mscomm::kNoError;
  }
  int InputMode() const override { return mode_; }
  void SetInputMode(int mode) override { mode_ = mode; }
  bool PortOpen() const override { return open_; }
  int SetPortOpen(bool open) override
  {
    if (open && open_error != mscomm::kNoError)
      return open_error;
    if (open && !open_)
      ++opened;
    open_ = open;
    return mscomm::kNoError;
  }
  int Output(const QByteArray& bytes) override
  {
    if (!open_)
      return mscomm::kPortNotOpen;
    written << bytes;
    if (unit.answers) {
      const bool ascii = bytes.startsWith(':');
      const QByteArray pdu = ascii ? QByteArray::fromHex(bytes.mid(1, bytes.size() - 5)) : bytes.left(bytes.size() - 2);
      const QByteArray reply = unit.answer(pdu);
      if (!reply.isEmpty())
        inbox += ascii ? SimulatedUnit::as_ascii(reply) : SimulatedUnit::as_rtu(reply);
    }
    return mscomm::kNoError;
  }
  int InBufferCount() override { return int(inbox.size()); }
  QByteArray Input() override { return std::exchange(inbox, QByteArray()); }
  void SetLostHandler(std::function<void(int error)> handler) override { lost_ = std::move(handler); }

  // The device goes away under the open port: the line closes itself and says so.
  void lose()
  {
    open_ = false;
    if (lost_)
      lost_(mscomm::kLineFailed);
  }

private:
  int port_ = 1;
  QString settings_ = "9600,N,8,1";
  int mode_ = 0;
  bool open_ = false;
  std::function<void(int)> lost_;
};

// Runs the master's timers in a fixed order until nothing is left to do: the receive poll
// when the line holds input, else the first running request timer. Gives the ticks it took.
inline int pump(modbus::Master& master, ScriptedLine& line, int limit = 200)
{
  int ticks = 0;
  for (; ticks < limit; ++ticks) {
    if (line.InBufferCount() > 0)
      master.Timer4_Timer();
    else if (master.Timer1->isActive())
      master.Timer1_Timer();
    else if (master.Timer2->isActive())
      master.Timer2_Timer();
    else if (master.Timer6->isActive())
      master.Timer6_Timer();
    else
      break;
  }
  return ticks;
}
