#include "gui/core/program_state.h"

#include "gui/core/language_texts.h"
#include "gui/core/message_box.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <cmath>

namespace global {

QString ProgramFolder;
BacnetSettingsT BacnetSettings;
ModbusSettingsT ModbusSettings;
uint8_t DeviceType = 0;
bool LoggedIn = false;
uint8_t AdminFlag = 0;
int32_t DestDeviceId = 0;
QString LanguageCode;
QString DecimalSeparator;
ProcessRecord ProcessInfo;
int32_t LampState = 0;
int16_t InputRegisterCount = 28;
std::array<QString, TextTableSize> TextTable;
QString RequestHex;
QString AnswerHex;
int16_t StartRegister = 0;
bool ReadyFlag = false;
int16_t AnswerDelay = 0;
int32_t SequenceStep = 0;

std::array<double, ConfigRegisterCount> ConfigRegisters{};
std::array<QString, OutputRegisterCount> OutputRegisters;
std::array<double, InputRegisterTableSize> InputRegisters{};
std::array<int16_t, ConfigBitCount> ConfigBits{};
std::array<int16_t, InputBitCount> InputBits{};

namespace {

bool ensure_folder(const QString& path)
{
  if (QFileInfo(path).isDir())
    return true;
  if (QDir().mkpath(path))
    return true;
  MsgBox(InLanguage("Der Ordner %1 kann nicht angelegt werden.", "The folder %1 cannot be created.").arg(path),
         MsgIcon::Exclamation);
  return false;
}

QString separator()
{
  return DecimalSeparator.isEmpty() ? QLocale().decimalPoint() : DecimalSeparator;
}

}  // namespace

bool StartUp(const QString& programFolder)
{
  ProgramFolder = programFolder;
  while (ProgramFolder.size() > 1 && ProgramFolder.endsWith('/'))
    ProgramFolder.chop(1);

  FillGermanTextTable();
  DeviceType = 0;
  InputRegisterCount = 28;
  ModbusSettings = ModbusSettingsT{};
  LampState = 0;
  BacnetSettings = BacnetSettingsT{};

  // The rest of the shared state starts as a fresh program run would find it.
  LoggedIn = false;
  AdminFlag = 0;
  DestDeviceId = 0;
  LanguageCode.clear();
  DecimalSeparator.clear();
  ProcessInfo = ProcessRecord{};
  RequestHex.clear();
  AnswerHex.clear();
  StartRegister = 0;
  ReadyFlag = false;
  AnswerDelay = 0;
  SequenceStep = 0;

  ConfigRegisters.fill(0);
  InputRegisters.fill(0);
  ConfigBits.fill(0);
  InputBits.fill(0);
  OutputRegisters.fill(QStringLiteral("0"));

  bool tmp_ok = ensure_folder(ProgramFolder + "/tmp");
  bool data_ok = ensure_folder(ProgramFolder + "/data");
  return tmp_ok && data_ok;
}

QString JobFilePath() { return ProgramFolder + "/tmp/config.ini"; }
QString LogFilePath() { return ProgramFolder + "/tmp/logfile.txt"; }
QString ScanResultPath() { return ProgramFolder + "/tmp/result.csv"; }
QString ValueFilePath(int number) { return ProgramFolder + QStringLiteral("/tmp/file%1.bin").arg(number); }
QString UserFilePath() { return ProgramFolder + "/data/user.dat"; }
QString BacnetIniPath() { return ProgramFolder + "/bacnet.ini"; }

bool FileExists(const QString& path)
{
  return !path.isEmpty() && QFileInfo(path).isFile();
}

QString NumberText(double value)
{
  if (value == 0 || !std::isfinite(value))
    return QStringLiteral("0");
  QString text = QString::number(value, 'g', 15);
  return text.replace('.', separator());
}

double TextNumber(const QString& text)
{
  QString plain = text.trimmed();
  QString sep = separator();
  if (sep != ".")
    plain.replace(sep, ".");
  bool ok = false;
  double value = plain.toDouble(&ok);
  return ok && std::isfinite(value) ? value : 0;
}

}  // namespace global
