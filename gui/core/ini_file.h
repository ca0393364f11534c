// Profile files (bacnet.ini and the backend's job file) read and written the way the
// Windows profile functions treat them: sections and keys found without regard to case,
// blanks around names and values ignored, blanks inside key names kept, values in matching
// quotes unquoted, a read cut to its buffer, a write that changes one key in place and keeps
// every other line and the order of keys. Files are single-byte text (Latin-1), CR LF lines.
// A write never adds a line of its own making: CR and LF are refused in names and values.
// User-interface thread only; no widget, no QSettings.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

class IniFile {
public:
  // A file that is missing or unreadable gives an empty profile.
  static IniFile Load(const QString& path);
  static IniFile Parse(const QByteArray& bytes);

  bool Save(const QString& path) const;
  QByteArray ToBytes() const;

  // The value of key in section, at most bufferSize - 1 characters; defaultValue (without
  // its trailing blanks, cut the same way) when the section or the key is missing.
  QString GetString(const QString& section, const QString& key, const QString& defaultValue,
                    int bufferSize) const;

  // Replaces the key's value, or adds the key at the end of its section, or adds the
  // section at the end of the file. Refused (false, nothing changed) when a line break is
  // in any of the three, or the section or key would read back as something else.
  bool SetString(const QString& section, const QString& key, const QString& value);

  // True when the three texts can be written as one key line of one section.
  static bool Writable(const QString& section, const QString& key, const QString& value);

private:
  std::vector<QByteArray> lines_;  // without their line ends
};

namespace makeIni {

// One key into one profile file; creates the file and the section when they are missing.
// False when the file cannot be written or the key is refused; the file is then unchanged.
bool WriteIniValue(const QString& file, const QString& section, const QString& key, const QString& value);

// At most 31 characters of the value; "" for a missing file, section or key.
QString ReadIniValue(const QString& file, const QString& section, const QString& key);

}  // namespace makeIni
