#include "gui/core/job_file.h"

#include "gui/core/ini_file.h"
#include "gui/core/program_state.h"

#include <QFile>

namespace global {
namespace {

enum class Block { Conf, Reg };

struct FileFunction {
  Block block;
  int instance;
  int bytes;  // END: the block's size in the unit
  bool written;  // the output registers (File object 2) are only ever read
};

// In the order in which the functions go into the job file.
const FileFunction kFileFunctions[] = {
    {Block::Conf, 1, 146, true},
    {Block::Conf, 4, 4, true},
    {Block::Reg, 2, 34, false},
    {Block::Reg, 3, 56, true},
    {Block::Reg, 5, 2, true},
};

void put(const QString& section, const QString& key, const QString& value)
{
  makeIni::WriteIniValue(JobFilePath(), section, key, value);
}

void write_file_functions(bool conf, bool reg, bool write)
{
  int index = 0;
  WriteJobGeneral();
  for (const FileFunction& f : kFileFunctions) {
    bool wanted = f.block == Block::Conf ? conf : reg;
    if (!wanted || (write && !f.written))
      continue;
    const QString section = QStringLiteral("FUNCTION_%1").arg(index + 1);
    put(section, "TODO", write ? "WRITE" : "READ");
    put(section, "DEVICE_ID", QString::number(DestDeviceId));
    put(section, "FILE_INSTANCE", QString::number(f.instance));
    put(section, "START", "0");
    put(section, "END", QString::number(f.bytes));
    put(section, write ? "SOURCEFILE" : "RESULTFILE", ValueFilePath(f.instance));
    ++index;
  }
}

}  // namespace

void WriteJobGeneral()
{
  if (FileExists(JobFilePath()))
    QFile::remove(JobFilePath());

  const BacnetSettingsT& s = BacnetSettings;
  const bool ip = s.Link == "BACnet/IP";
  const bool mstp = s.Link == "MS/TP";
  if (ip)
    put("GENERAL", "LINK", "BACnet_IP");
  else if (mstp)
    put("GENERAL", "LINK", "BACnet_MSTP");
  put("GENERAL", "LOGFILE", LogFilePath());
  put("GENERAL", "LOCAL_DEVICE_ID", QString::number(s.LocalDeviceId));
  if (ip) {
    put("BACnet_IP", "IP", s.LocalIp);
    put("BACnet_IP", "PORT", QString::number(s.UdpPort));
  } else if (mstp) {
    put("BACnet_MSTP", "COM_PORT", s.ComPort);
    put("BACnet_MSTP", "BAUD_RATE", s.BaudRate);
    put("BACnet_MSTP", "MAC_ADDRESS", QString::number(s.MstpMac));
  }
}

void WriteScanJob()
{
  WriteJobGeneral();
  const BacnetSettingsT& s = BacnetSettings;
  put("FUNKTION_1", "TODO", "SCAN_DEVICE");
  put("FUNKTION_1", "RANGE_LOW", QString::number(s.ScanLow));
  put("FUNKTION_1", "RANGE_HIGH", QString::number(s.ScanHigh));
  put("FUNKTION_1", "SCAN_TIME", QString::number(s.ScanTime));
  put("FUNKTION_1", "RESULTFILE", ScanResultPath());
}

void WriteReadJobs(bool conf, bool reg) { write_file_functions(conf, reg, false); }

void WriteWriteJobs(bool conf, bool reg) { write_file_functions(conf, reg, true); }

}  // namespace global
