// CRegistry: the program's access to its machine-wide settings ("Language", "Version") and
// the user's regional setting "sDecimal". The values live in two settings files: the
// machine's (ZOR17_MACHINE_SETTINGS, else /etc/xdg/Morvane/ZOR17-RS485.reg) and the user's
// (ZOR17_USER_SETTINGS, else ZOR17-RS485.reg in the user's Morvane configuration folder).
// A caller makes a fresh object for every read; reads never fail, they give "".
// User-interface thread only. The program itself writes none of the values.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

inline constexpr const char* ProgramRegistryKey = "SOFTWARE\\Morvane\\ZOR17-RS485\\";
inline constexpr uint32_t RegistryWriteError = 0x80040201;

class CRegistry {
public:
  static QString MachineFile();
  static QString UserFile();

  // Enumerates the keys right below section; "" when the key does not exist.
  QString FindFirstMachineKey(const QString& section);
  // The next key name, "" when none is left; the index advances on every call.
  QString GetNextMachineKey();

  // A text value, cut at its first NUL; "" when missing or of another kind.
  QString MachineSetting(const QString& section, const QString& key) const;
  // Creates the key when it is missing. On failure ErrorNumber() becomes 0x80040201.
  bool MachineSetting(const QString& section, const QString& key, const QString& setting);
  // Removes the key with every key below it; false when it does not exist.
  bool DeleteMachineKey(const QString& key);

  // A text value of the current user's settings.
  QString Werte(const QString& section, const QString& key) const;

  uint32_t ErrorNumber() const { return error_number_; }

private:
  std::optional<QString> enumerated_key_;
  int enumeration_index_ = 0;
  uint32_t error_number_ = 0;
};

namespace global {

// global::LanguageCode from "Language"; global::DecimalSeparator from "sDecimal", or the
// locale's decimal separator when the user's settings hold none.
void ReadRegistrySettings();

}  // namespace global
