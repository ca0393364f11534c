#include "gui/core/job_file.h"

#include "gui/core/ini_file.h"
#include "gui/core/language_texts.h"
#include "gui/core/message_box.h"
#include "gui/core/program_state.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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

// The job file is put together in memory and replaces the old one in one go, so a backend
// never finds half a job or the functions of an earlier one.
class JobBuilder {
public:
  void put(const QString& section, const QString& key, const QString& value)
  {
    ok_ = ini_.SetString(section, key, value) && ok_;
  }

  bool save()
  {
    const QString path = JobFilePath();
    const bool old_gone = !QFileInfo::exists(path) || QFile::remove(path);
    if (ok_ && old_gone && ini_.Save(path))
      return true;
    MsgBox(InLanguage("Die Auftragsdatei kann nicht geschrieben werden:\r\n%1", "The job file cannot be written:\r\n%1")
               .arg(path),
           MsgIcon::Exclamation);
    return false;
  }

  void general()
  {
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

  void file_functions(bool conf, bool reg, bool write)
  {
    int index = 0;
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

private:
  IniFile ini_;
  bool ok_ = true;
};

}  // namespace

bool WriteJobGeneral()
{
  JobBuilder job;
  job.general();
  return job.save();
}

bool WriteScanJob()
{
  JobBuilder job;
  job.general();
  const BacnetSettingsT& s = BacnetSettings;
  job.put("FUNKTION_1", "TODO", "SCAN_DEVICE");
  job.put("FUNKTION_1", "RANGE_LOW", QString::number(s.ScanLow));
  job.put("FUNKTION_1", "RANGE_HIGH", QString::number(s.ScanHigh));
  job.put("FUNKTION_1", "SCAN_TIME", QString::number(s.ScanTime));
  job.put("FUNKTION_1", "RESULTFILE", ScanResultPath());
  return job.save();
}

bool WriteReadJobs(bool conf, bool reg)
{
  JobBuilder job;
  job.general();
  job.file_functions(conf, reg, false);
  return job.save();
}

bool WriteWriteJobs(bool conf, bool reg)
{
  JobBuilder job;
  job.general();
  job.file_functions(conf, reg, true);
  return job.save();
}

bool JobWritesUnit(const QString& jobFile)
{
  QFile file(jobFile);
  if (!file.open(QIODevice::ReadOnly))
    return false;
  // The backend compares TODO without regard to case and blanks around the "=".
  static const QRegularExpression write_line("^\\s*TODO\\s*=\\s*WRITE\\s*$",
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::MultilineOption);
  return write_line.match(QString::fromLatin1(file.readAll()).remove('\r')).hasMatch();
}

}  // namespace global
