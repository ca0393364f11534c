#include "gui/core/registry.h"

#include "gui/core/program_state.h"
#include "gui/core/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace {

QString env_path(const char* name)
{
  return qEnvironmentVariable(name);
}

QString read_text(const QString& file, const QString& section, const QString& key)
{
  SettingsStore store = SettingsStore::Load(file);
  const StoredValue* value = store.FindValue(section, key);
  if (!value || value->type != REG_SZ)
    return QString();
  qsizetype nul = value->text.indexOf(QChar(0));
  return nul < 0 ? value->text : value->text.left(nul);
}

}  // namespace

QString CRegistry::MachineFile()
{
  QString path = env_path("ZOR17_MACHINE_SETTINGS");
  return path.isEmpty() ? QStringLiteral("/etc/xdg/Morvane/ZOR17-RS485.reg") : path;
}

QString CRegistry::UserFile()
{
  QString path = env_path("ZOR17_USER_SETTINGS");
  if (!path.isEmpty())
    return path;
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Morvane/ZOR17-RS485.reg";
}

QString CRegistry::FindFirstMachineKey(const QString& section)
{
  enumeration_index_ = 0;
  enumerated_key_.reset();
  if (SettingsStore::Load(MachineFile()).KeyExists(section))
    enumerated_key_ = section;
  return GetNextMachineKey();
}

QString CRegistry::GetNextMachineKey()
{
  const int index = enumeration_index_++;
  if (!enumerated_key_)
    return QString();
  std::vector<QString> names = SettingsStore::Load(MachineFile()).SubKeys(*enumerated_key_);
  return index < int(names.size()) ? names[index] : QString();
}

QString CRegistry::MachineSetting(const QString& section, const QString& key) const
{
  return read_text(MachineFile(), section, key);
}

bool CRegistry::MachineSetting(const QString& section, const QString& key, const QString& setting)
{
  const QString file = MachineFile();
  SettingsStore store = SettingsStore::Load(file);
  StoredValue value;
  value.name = key;
  value.type = REG_SZ;
  value.text = setting;
  store.SetValue(section, value);
  QDir().mkpath(QFileInfo(file).absolutePath());
  if (store.Save(file))
    return true;
  error_number_ = RegistryWriteError;
  return false;
}

bool CRegistry::DeleteMachineKey(const QString& key)
{
  const QString file = MachineFile();
  SettingsStore store = SettingsStore::Load(file);
  return store.DeleteTree(key) && store.Save(file);
}

QString CRegistry::Werte(const QString& section, const QString& key) const
{
  return read_text(UserFile(), section, key);
}

namespace global {

void ReadRegistrySettings()
{
  LanguageCode = CRegistry().MachineSetting(ProgramRegistryKey, "Language");
  DecimalSeparator = CRegistry().Werte("Control Panel\\International", "sDecimal");
  if (DecimalSeparator.isEmpty())
    DecimalSeparator = QLocale().decimalPoint();
}

}  // namespace global
