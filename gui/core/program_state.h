// Program-wide state of the configuration program (module `global`): the BACnet and Modbus
// settings, the login and device choice, the status lamp, the register image and the working
// folders beside the program. Start-up gives every variable its start value and makes the
// folders. Only the user-interface thread touches this state; nothing here is locked, and
// nothing here talks to a widget.
#pragma once

#include "gui/core/register_rows.h"

#include <QString>
#include <array>
#include <cstdint>

struct BacnetSettingsT {
  QString Link = "BACnet/IP";  // "BACnet/IP" or "MS/TP"
  int32_t ScanLow = 0;
  int32_t ScanHigh = 4194302;
  int32_t ScanTime = 5;  // seconds the backend listens for I-Am during a scan
  int16_t PollCycle = 10;  // seconds between two BACnet monitor cycles
  QString LocalIp = "0.0.0.0";
  int32_t UdpPort = 47808;
  int32_t LocalDeviceId = 1234567;
  uint8_t MstpMac = 127;
  int32_t DeviceIdOffset = 410000;
  QString ComPort = "COM1";
  QString BaudRate = "38400";
};

struct ModbusSettingsT {
  uint8_t ModeFlag = 1;  // 1 RTU, 0 ASCII
  QString Parity = "N";
  QString DataBits = "8";
  QString StopBits = "1";
  uint8_t ComPortNumber = 1;
  QString BaudRate = "38400";
  bool PortOpenWish = false;
  QString ModeText = "RTU";
};

// What the program keeps of the last backend it started.
struct ProcessRecord {
  qint64 ProcessId = 0;
};

inline constexpr int TextTableSize = 21;

namespace global {

extern QString ProgramFolder;  // folder of the running program, no trailing "/"

extern BacnetSettingsT BacnetSettings;
extern ModbusSettingsT ModbusSettings;

extern uint8_t DeviceType;  // 0 Modbus, 1 BACnet through the backend
extern bool LoggedIn;
extern uint8_t AdminFlag;
extern int32_t DestDeviceId;
extern QString LanguageCode;  // "1031" German, "1033" English once normalised
extern QString DecimalSeparator;
extern ProcessRecord ProcessInfo;
extern int32_t LampState;  // 0 green, 1 red, 2 yellow
extern int16_t InputRegisterCount;
extern std::array<QString, TextTableSize> TextTable;
extern QString RequestHex;
extern QString AnswerHex;  // the last complete Modbus answer as hex text
extern int16_t StartRegister;
extern bool ReadyFlag;
extern int16_t AnswerDelay;
extern int32_t SequenceStep;

// The register image: display values as the pages show them.
extern std::array<double, ConfigRegisterCount> ConfigRegisters;
extern std::array<QString, OutputRegisterCount> OutputRegisters;
extern std::array<double, InputRegisterTableSize> InputRegisters;
extern std::array<int16_t, ConfigBitCount> ConfigBits;
extern std::array<int16_t, InputBitCount> InputBits;

// Start values of every shared variable, the German text table, an empty register image and
// the folders tmp and data below programFolder. A folder that cannot be made is reported
// once; the result then is false and the program goes on.
bool StartUp(const QString& programFolder);

// Working files below the program folder.
QString JobFilePath();
QString LogFilePath();
QString ScanResultPath();
QString ValueFilePath(int number);  // 1..5
QString UserFilePath();
QString BacnetIniPath();

// True when a file exists at path; never fails.
bool FileExists(const QString& path);

// Numbers to text and back the way the pages show them: shortest form, no leading blank,
// the user's decimal separator. A text that is no number reads as 0.
QString NumberText(double value);
double TextNumber(const QString& text);

}  // namespace global
