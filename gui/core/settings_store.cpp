#include "gui/core/settings_store.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <optional>
#include <utility>

namespace {

bool same(QStringView a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// True when path is below or equal to key.
bool within(QStringView path, QStringView key)
{
  if (key.isEmpty())
    return true;
  if (same(path, key))
    return true;
  return path.size() > key.size() && path[key.size()] == '\\' && same(path.left(key.size()), key);
}

// Reads a quoted text from pos (at the opening quote); pos ends after the closing quote.
std::optional<QString> read_quoted(QStringView line, qsizetype& pos)
{
  if (pos >= line.size() || line[pos] != '"')
    return std::nullopt;
  QString text;
  text.reserve(line.size() - pos);
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

void append_quoted(QString& out, const QString& text)
{
  out += '"';
  for (QChar c : text) {
    if (c == '\\' || c == '"')
      out += '\\';
    if (c == QChar(0))
      out += QLatin1String("\\0");
    else
      out += c;
  }
  out += '"';
}

std::optional<StoredValue> parse_value(QStringView line)
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
  const QStringView data = line.sliced(pos + 1).trimmed();

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
    const QStringView digits = data.sliced(6).trimmed();
    bool ok = false;
    value.number = digits.size() <= 8 ? digits.toUInt(&ok, 16) : 0;
    if (!ok)
      return std::nullopt;
    value.type = REG_DWORD;
    return value;
  }
  if (data.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
    value.type = REG_BINARY;
    const QStringView list = data.sliced(4).trimmed();
    if (list.isEmpty())
      return value;
    for (QStringView part : list.tokenize(u',')) {
      bool ok = false;
      const QStringView digits = part.trimmed();
      uint byte = digits.size() <= 2 ? digits.toUInt(&ok, 16) : 0;
      if (!ok)
        return std::nullopt;
      value.bytes.append(char(byte));
    }
    return value;
  }
  return std::nullopt;
}

// True when no part of the path is empty or has a blank at either end.
bool is_normal(QStringView path)
{
  const QChar* part = path.begin();
  for (const QChar* c = path.begin();; ++c) {
    if (c != path.end() && *c != '\\')
      continue;
    if (c == part || part->isSpace() || (c - 1)->isSpace())
      return false;
    if (c == path.end())
      return true;
    part = c + 1;
  }
}

}  // namespace

QString SettingsStore::NormalPath(const QString& path)
{
  // A path that is normal already (every stored one is) is given back as it is.
  if (is_normal(path))
    return path;
  QString joined;
  for (QStringView part : QStringView(path).tokenize(u'\\')) {
    part = part.trimmed();
    if (part.isEmpty())
      continue;
    if (!joined.isEmpty())
      joined += '\\';
    joined += part;
  }
  return joined;
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
  const QString text = QString::fromUtf8(contents);
  // The current key's path, normal: in the text itself, or in `normalized` when the file's
  // was not.
  std::optional<QStringView> current;
  QString normalized;
  // Where the current key stands among the keys once it is stored, else -1; keys are only
  // added.
  qsizetype current_index = -1;
  for (QStringView line : QStringView(text).tokenize(u'\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
      continue;
    if (line.startsWith('[')) {
      qsizetype close = line.lastIndexOf(']');
      current.reset();
      current_index = -1;
      if (close <= 0)
        continue;
      current = line.sliced(1, close - 1);
      if (!is_normal(*current)) {
        normalized = NormalPath(current->toString());
        current = normalized;
      }
      if (current->isEmpty()) {
        current.reset();
        continue;
      }
      if (!store.holds(*current)) {
        store.keys_.push_back(StoredKey{current->toString(), {}});
        current_index = qsizetype(store.keys_.size()) - 1;
      }
      continue;
    }
    if (!current)
      continue;
    if (std::optional<StoredValue> value = parse_value(line)) {
      if (current_index < 0)
        current_index = qsizetype(store.key_index(*current));
      set_in(store.keys_[size_t(current_index)], std::move(*value));
    }
  }
  return store;
}

QByteArray SettingsStore::ToText() const
{
  QString text;
  for (const StoredKey& key : keys_) {
    if (!text.isEmpty())
      text += '\n';
    text += '[';
    text += key.path;
    text += QLatin1String("]\n");
    for (const StoredValue& v : key.values) {
      if (v.name.isEmpty())
        text += '@';
      else
        append_quoted(text, v.name);
      text += '=';
      if (v.type == REG_DWORD) {
        text += QStringLiteral("dword:%1").arg(v.number, 8, 16, QChar('0'));
      } else if (v.type == REG_BINARY) {
        text += QLatin1String("hex:");
        text += QLatin1String(v.bytes.toHex(','));
      } else {
        append_quoted(text, v.text);
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

bool SettingsStore::KeyExists(const QString& path) const { return holds(NormalPath(path)); }

bool SettingsStore::holds(QStringView normal_path) const
{
  return std::any_of(keys_.begin(), keys_.end(), [&](const StoredKey& k) { return within(k.path, normal_path); });
}

std::vector<QString> SettingsStore::SubKeys(const QString& path) const
{
  const QString key = NormalPath(path);
  std::vector<QString> names;
  for (const StoredKey& k : keys_) {
    if (same(k.path, key) || !within(k.path, key))
      continue;
    const QStringView rest = key.isEmpty() ? QStringView(k.path) : QStringView(k.path).sliced(key.size() + 1);
    const qsizetype slash = rest.indexOf('\\');
    const QStringView name = slash < 0 ? rest : rest.first(slash);
    if (std::none_of(names.begin(), names.end(), [&](const QString& n) { return same(n, name); }))
      names.push_back(name.toString());
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

size_t SettingsStore::key_index(QStringView normal_path)
{
  auto it = std::find_if(keys_.begin(), keys_.end(), [&](const StoredKey& k) { return same(k.path, normal_path); });
  if (it != keys_.end())
    return size_t(it - keys_.begin());
  keys_.push_back(StoredKey{normal_path.toString(), {}});
  return keys_.size() - 1;
}

void SettingsStore::set_in(StoredKey& key, StoredValue value)
{
  for (StoredValue& v : key.values) {
    if (same(v.name, value.name)) {
      v = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
}

void SettingsStore::SetValue(const QString& path, const StoredValue& value)
{
  set_in(keys_[key_index(NormalPath(path))], value);
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
