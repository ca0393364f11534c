// The file behind the program's registry access: keys with backslash paths, each holding
// named values of three kinds (text, 32-bit number, bytes), in a text file of the well-known
// registry export form:
//   [SOFTWARE\Morvane\ZOR17-RS485]
//   "Language"="1033"          text; \\ \" and \0 escape a backslash, a quote and a NUL
//   "Count"=dword:0000001a     32-bit number, hexadecimal
//   "Blob"=hex:01,ff           bytes
// Key paths and value names are found without regard to case. Lines that fit none of these
// forms are skipped. User-interface thread only.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

inline constexpr int REG_SZ = 1;
inline constexpr int REG_BINARY = 3;
inline constexpr int REG_DWORD = 4;

struct StoredValue {
  QString name;
  int type = REG_SZ;
  QString text;  // REG_SZ
  uint32_t number = 0;  // REG_DWORD
  QByteArray bytes;  // REG_BINARY
};

struct StoredKey {
  QString path;  // without leading or trailing "\"
  std::vector<StoredValue> values;
};

class SettingsStore {
public:
  // A missing or unreadable file gives an empty store.
  static SettingsStore Load(const QString& path);
  static SettingsStore Parse(const QByteArray& contents);
  QByteArray ToText() const;
  bool Save(const QString& path) const;

  // "SOFTWARE\Morvane\\", "\SOFTWARE\ Morvane" and "SOFTWARE\Morvane" name the same key.
  static QString NormalPath(const QString& path);

  // A key exists when it or a key below it is stored.
  bool KeyExists(const QString& path) const;
  // Names of the keys right below path, in the order in which they first appear.
  std::vector<QString> SubKeys(const QString& path) const;
  const StoredValue* FindValue(const QString& path, const QString& name) const;
  void SetValue(const QString& path, const StoredValue& value);
  // Removes the key and everything below it; false when there was nothing to remove.
  bool DeleteTree(const QString& path);

  const std::vector<StoredKey>& Keys() const { return keys_; }

private:
  // KeyExists for a path that is normal already.
  bool holds(QStringView normal_path) const;
  // The index of the key of that normal path; a key not stored yet is added at the end.
  size_t key_index(QStringView normal_path);
  static void set_in(StoredKey& key, StoredValue value);

  std::vector<StoredKey> keys_;
};
