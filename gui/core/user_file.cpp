#include "gui/core/user_file.h"

#include "gui/core/message_box.h"
#include "gui/core/program_state.h"

#include <QFile>
#include <QSaveFile>

namespace TxtOps {
namespace {

constexpr char kKey[] = "Valbrenta";
constexpr int kKeyLength = 9;

const char* const kNoUserFile = "Nutzerdatei existiert nicht.\r\nLegen Sie einen Benutzer an!";
const char* const kNoSuchUser = "Nutzer existiert nicht.\r\nÜberprüfen Sie Anmeldenamen und Passwort.";

std::optional<QByteArray> read_file(const QString& path)
{
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return std::nullopt;
  return file.readAll();
}

// Name and administrator flag of a clear-text record; no value for a line without ","
// and ":".
std::optional<UserEntry> parse_record(const QByteArray& record)
{
  qsizetype comma = record.indexOf(',');
  qsizetype colon = record.lastIndexOf(':');
  if (comma < 0 || colon < comma)
    return std::nullopt;
  // Only the digit "1" grants administrator rights; anything else is an ordinary user.
  bool admin = record.size() > 0 && record.back() == '1';
  return UserEntry{QString::fromLatin1(record.left(comma)), admin};
}

}  // namespace

QByteArray Scramble(const QByteArray& octets)
{
  QByteArray out(octets.size(), '\0');
  for (qsizetype i = 0; i < octets.size(); ++i) {
    uint8_t k = uint8_t(kKey[i % kKeyLength]);
    out[i] = char(255 - (uint8_t(octets[i]) ^ k));
  }
  return out;
}

std::optional<QByteArray> ToOctets(const QString& text)
{
  for (QChar c : text)
    if (c.unicode() > 0xFF)
      return std::nullopt;
  return text.toLatin1();
}

std::vector<QByteArray> SplitLines(const QByteArray& contents)
{
  std::vector<QByteArray> lines;
  qsizetype start = 0;
  const qsizetype size = contents.size();
  while (start < size) {
    qsizetype end = start;
    while (end < size && contents[end] != '\r' && contents[end] != '\n')
      ++end;
    lines.push_back(contents.mid(start, end - start));
    if (end + 1 < size && contents[end] == '\r' && contents[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

std::optional<uint8_t> MatchLogin(const QByteArray& contents, const QByteArray& login)
{
  const QByteArray wanted = Scramble(login);
  for (const QByteArray& line : SplitLines(contents)) {
    if (line.size() < 2 || line.left(line.size() - 2) != wanted)
      continue;
    // Only the digit "1" grants administrator rights; anything else is an ordinary user.
    return uint8_t(Scramble(line).back() == '1' ? 1 : 0);
  }
  return std::nullopt;
}

void CheckLogin(const QString& s)
{
  const QString path = global::UserFilePath();
  if (!global::FileExists(path)) {
    MsgBox(QString::fromUtf8(kNoUserFile));
    return;
  }
  std::optional<QByteArray> octets = ToOctets(s);
  std::optional<QByteArray> contents = read_file(path);
  if (octets && contents) {
    if (std::optional<uint8_t> admin = MatchLogin(*contents, *octets)) {
      global::LoggedIn = true;
      global::AdminFlag = *admin;
      return;
    }
  }
  MsgBox(QString::fromUtf8(kNoSuchUser));
  global::LoggedIn = false;
}

bool AddUser(const QString& name, const QString& password, bool admin)
{
  if (name.contains(',')) {
    MsgBox(QString::fromUtf8("Der Anmeldename darf kein Komma enthalten."));
    return false;
  }
  std::optional<QByteArray> octets = ToOctets(name + ',' + password + ':' + (admin ? '1' : '0'));
  if (!octets) {
    MsgBox(QString::fromUtf8("Anmeldename und Passwort dürfen nur Zeichen aus Latin-1 enthalten."));
    return false;
  }
  const QByteArray scrambled = Scramble(*octets);
  if (scrambled.contains('\r') || scrambled.contains('\n')) {
    MsgBox(QString::fromUtf8("Diese Kombination aus Anmeldename und Passwort kann nicht gespeichert werden.\r\n"
                             "Bitte wählen Sie ein anderes Passwort."));
    return false;
  }
  QFile file(global::UserFilePath());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(scrambled + "\r\n") < 0) {
    MsgBox(QString::fromUtf8("Die Nutzerdatei kann nicht geschrieben werden."));
    return false;
  }
  return true;
}

QByteArray RemoveUser(const QByteArray& contents, const QString& name)
{
  QByteArray kept;
  for (const QByteArray& line : SplitLines(contents)) {
    std::optional<UserEntry> entry = parse_record(Scramble(line));
    if (entry && entry->name == name)
      continue;
    kept += line + "\r\n";
  }
  return kept;
}

void DeleteUser(const QString& name)
{
  const QString path = global::UserFilePath();
  std::optional<QByteArray> contents = read_file(path);
  if (!contents)
    return;
  const QByteArray kept = RemoveUser(*contents, name);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(kept) < 0 || !file.commit())
    MsgBox(QString::fromUtf8("Die Nutzerdatei kann nicht geschrieben werden."));
}

std::vector<UserEntry> ParseUsers(const QByteArray& contents)
{
  std::vector<UserEntry> users;
  for (const QByteArray& line : SplitLines(contents))
    if (std::optional<UserEntry> entry = parse_record(Scramble(line)))
      users.push_back(*entry);
  return users;
}

std::vector<UserEntry> ReadUsers()
{
  std::optional<QByteArray> contents = read_file(global::UserFilePath());
  return contents ? ParseUsers(*contents) : std::vector<UserEntry>();
}

}  // namespace TxtOps
