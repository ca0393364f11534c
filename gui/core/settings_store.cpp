#include "gui/core/settings_store.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <optional>

namespace {

bool same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// True when path is below or equal to key.
bool within(const QString& path, const QString& key)
{
  if (key.isEmpty())
    return true;
  if (same(path, key))
    return true;
  return path.size() > key.size() && path[key.size()] == '\\' && same(path.left(key.size()), key);
}

// Reads a quoted text from pos (at the opening quote); pos ends after the closing quote.
std::optional<QString> read_quoted(const QString& line, qsizetype& pos)
{
  if (pos >= line.size() || line[pos] != '"')
    return std::nullopt;
  QString text;
  for (++pos; pos < line.size(); ++pos) {
    QChar c = line[pos];
    if (c == '"') {
      ++pos;
      return text;
    }
    if (c == '\\') {
      if (++pos >= line.size())
        return std::nullopt;
      QChar e = line[pos];
      text += e == '0' ? QChar(0) : e;
      continue;
    }
    text += c;
  }
  return std::nullopt;
}

QString quoted(const QString& text)
{
  QString out = QStringLiteral("\"");
  for (QChar c : text) {
    if (c == '\\' || c == '"')
      out += '\\';
    out += c == QChar(0) ? QStringLiteral("\\0") : QString(c);
  }
  return out + '"';
}

std::optional<StoredValue> parse_value(const QString& line)
{
  StoredValue value;
  qsizetype pos = 0;
  if (line.startsWith('@')) {
    pos = 1;
  } else {
    std::optional<QString> name = read_quoted(line, pos);
    if (!name)
      return std::nullopt;
    value.name = *name;
  }
  while (pos < line.size() && line[pos].isSpace())
    ++pos;
  if (pos >= line.size() || line[pos] != '=')
    return std::nullopt;
  QString data = line.mid(pos + 1).trimmed();

  if (data.startsWith('"')) {
    qsizetype p = 0;
    std::optional<QString> text = read_quoted(data, p);
    if (!text || p != data.size())
      return std::nullopt;
    value.type = REG_SZ;
    value.text = *text;
    return value;
  }
  if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
    QString digits = data.mid(6).trimmed();
    bool ok = false;
    value.number = digits.size() <= 8 ? digits.toUInt(&ok, 16) : 0;
    if (!ok)
      return std::nullopt;
    value.type = REG_DWORD;
    return value;
  }
  if (data.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
    value.type = REG_BINARY;
    QString list = data.mid(4).trimmed();
    if (list.isEmpty())
      return value;
    for (const QString& part : list.split(',')) {
      bool ok = false;
      QString digits = part.trimmed();
      uint byte = digits.size() <= 2 ? digits.toUInt(&ok, 16) : 0;
      if (!ok)
        return std::nullopt;
      value.bytes.append(char(byte));
    }
    return value;
  }
  return std::nullopt;
}

}  // namespace

QString SettingsStore::NormalPath(const QString& path)
{
  QStringList parts;
  for (const QString& part : path.split('\\')) {
    QString name = part.trimmed();
    if (!name.isEmpty())
      parts << name;
  }
  return parts.join('\\');
}

SettingsStore SettingsStore::Load(const QString& path)
{
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return SettingsStore();
  return Parse(file.readAll());
}

SettingsStore SettingsStore::Parse(const QByteArray& contents)
{
  SettingsStore store;
  std::optional<QString> current;
  const QStringList lines = QString::fromUtf8(contents).split('\n');
  for (QString line : lines) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
      continue;
    if (line.startsWith('[')) {
      qsizetype close = line.lastIndexOf(']');
      current = close > 0 ? std::optional<QString>(NormalPath(line.mid(1, close - 1))) : std::nullopt;
      if (current && current->isEmpty())
        current.reset();
      if (current && !store.KeyExists(*current))
        store.keys_.push_back(StoredKey{*current, {}});
      continue;
    }
    if (!current)
      continue;
    if (std::optional<StoredValue> value = parse_value(line))
      store.SetValue(*current, *value);
  }
  return store;
}

QByteArray SettingsStore::ToText() const
{
  QString text;
  for (const StoredKey& key : keys_) {
    if (!text.isEmpty())
      text += '\n';
    text += '[' + key.path + "]\n";
    for (const StoredValue& v : key.values) {
      text += v.name.isEmpty() ? QStringLiteral("@") : quoted(v.name);
      text += '=';
      if (v.type == REG_DWORD) {
        text += QStringLiteral("dword:%1").arg(v.number, 8, 16, QChar('0'));
      } else if (v.type == REG_BINARY) {
        QStringList bytes;
        for (char b : v.bytes)
          bytes << QStringLiteral("%1").arg(uint8_t(b), 2, 16, QChar('0'));
        text += "hex:" + bytes.join(',');
      } else {
        text += quoted(v.text);
      }
      text += '\n';
    }
  }
  return text.toUtf8();
}

bool SettingsStore::Save(const QString& path) const
{
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  file.write(ToText());
  return file.commit();
}

bool SettingsStore::KeyExists(const QString& path) const
{
  const QString key = NormalPath(path);
  return std::any_of(keys_.begin(), keys_.end(), [&](const StoredKey& k) { return within(k.path, key); });
}

std::vector<QString> SettingsStore::SubKeys(const QString& path) const
{
  const QString key = NormalPath(path);
  std::vector<QString> names;
  for (const StoredKey& k : keys_) {
    if (same(k.path, key) || !within(k.path, key))
      continue;
    QString rest = key.isEmpty() ? k.path : k.path.mid(key.size() + 1);
    QString name = rest.section('\\', 0, 0);
    if (std::none_of(names.begin(), names.end(), [&](const QString& n) { return same(n, name); }))
      names.push_back(name);
  }
  return names;
}

const StoredValue* SettingsStore::FindValue(const QString& path, const QString& name) const
{
  const QString key = NormalPath(path);
  for (const StoredKey& k : keys_) {
    if (!same(k.path, key))
      continue;
    for (const StoredValue& v : k.values)
      if (same(v.name, name))
        return &v;
  }
  return nullptr;
}

void SettingsStore::SetValue(const QString& path, const StoredValue& value)
{
  const QString key = NormalPath(path);
  auto it = std::find_if(keys_.begin(), keys_.end(), [&](const StoredKey& k) { return same(k.path, key); });
  if (it == keys_.end()) {
    keys_.push_back(StoredKey{key, {}});
    it = keys_.end() - 1;
  }
  for (StoredValue& v : it->values) {
    if (same(v.name, value.name)) {
      v = value;
      return;
    }
  }
  it->values.push_back(value);
}

bool SettingsStore::DeleteTree(const QString& path)
{
  const QString key = NormalPath(path);
  if (key.isEmpty())
    return false;
  auto end = std::remove_if(keys_.begin(), keys_.end(), [&](const StoredKey& k) { return within(k.path, key); });
  bool removed = end != keys_.end();
  keys_.erase(end, keys_.end());
  return removed;
}
