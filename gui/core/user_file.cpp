#include "gui/core/user_file.h"

#include "gui/core/language_texts.h"
#include "gui/core/message_box.h"
#include "gui/core/program_state.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

namespace TxtOps {
namespace {

constexpr char kKey[] = "Valbrenta";
constexpr int kKeyLength = 9;

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

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
  return UserEntry{QString::fromLatin1(record.constData(), comma), admin};
}

// Scramble into `out`, so that a loop over the lines reuses one record's room.
void scramble_into(QByteArrayView octets, QByteArray& out)
{
  out.resize(octets.size());
  char* scrambled = out.data();
  for (const char* plain = octets.begin(); plain != octets.end(); ++plain, ++scrambled) {
    uint8_t k = uint8_t(kKey[(plain - octets.begin()) % kKeyLength]);
    *scrambled = char(255 - (uint8_t(*plain) ^ k));
  }
}

void cannot_write()
{
  MsgBox(global::InLanguage("Die Nutzerdatei kann nicht geschrieben werden.", "The user file cannot be written."));
}

}  // namespace

QByteArray Scramble(QByteArrayView octets)
{
  QByteArray out;
  scramble_into(octets, out);
  return out;
}

std::optional<QByteArray> ToOctets(const QString& text)
{
  for (QChar c : text)
    if (c.unicode() > 0xFF)
      return std::nullopt;
  return text.toLatin1();
}

std::vector<QByteArrayView> SplitLines(QByteArrayView contents)
{
  std::vector<QByteArrayView> lines;
  lines.reserve(size_t(contents.count('\r') + contents.count('\n') + 1));
  qsizetype start = 0;
  const qsizetype size = contents.size();
  // The next CR and the next LF at or after `start` (the size when there is none), each
  // searched for again only once passed.
  auto next = [&](char c, qsizetype from) {
    const qsizetype at = contents.indexOf(c, from);
    return at < 0 ? size : at;
  };
  qsizetype cr = -1, lf = -1;
  while (start < size) {
    if (cr < start)
      cr = next('\r', start);
    if (lf < start)
      lf = next('\n', start);
    qsizetype end = std::min(cr, lf);
    lines.push_back(contents.sliced(start, end - start));
    if (end + 1 < size && contents[end] == '\r' && contents[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

std::optional<uint8_t> MatchLogin(const QByteArray& contents, const QByteArray& login)
{
  const QByteArray wanted = Scramble(login);
  for (QByteArrayView line : SplitLines(contents)) {
    if (line.size() < 2 || line.first(line.size() - 2) != wanted)
      continue;
    // Only the digit "1" grants administrator rights; anything else is an ordinary user.
    return uint8_t(Scramble(line).back() == '1' ? 1 : 0);
  }
  return std::nullopt;
}

bool UserFileExists()
{
  const QString path = global::UserFilePath();
  if (!global::FileExists(path))
    return false;
  // A file that cannot be read may well hold users.
  std::optional<QByteArray> contents = read_file(path);
  return !contents || !ParseUsers(*contents).empty();
}

void CheckLogin(const QString& s)
{
  const QString path = global::UserFilePath();
  if (!UserFileExists()) {
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
    MsgBox(global::InLanguage("Der Anmeldename darf kein Komma enthalten.", "The user name must not contain a comma."));
    return false;
  }
  std::optional<QByteArray> octets = ToOctets(name + ',' + password + ':' + (admin ? '1' : '0'));
  if (!octets) {
    MsgBox(global::InLanguage("Anmeldename und Passwort dürfen nur Zeichen westeuropäischer Sprachen enthalten.",
                              "User name and password may hold only characters of Western European languages."));
    return false;
  }
  const QByteArray scrambled = Scramble(*octets);
  if (scrambled.contains('\r') || scrambled.contains('\n')) {
    MsgBox(global::InLanguage("Diese Kombination aus Anmeldename und Passwort kann nicht gespeichert werden.\r\n"
                              "Bitte wählen Sie ein anderes Passwort.",
                              "This combination of user name and password cannot be stored.\r\n"
                              "Please choose another password."));
    return false;
  }
  // A file made before its owner alone could read it is closed to others on the next write.
  QFile file(global::UserFilePath());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append, kOwnerOnly) || !file.setPermissions(kOwnerOnly) ||
      file.write(scrambled + "\r\n") < 0) {
    cannot_write();
    return false;
  }
  return true;
}

QByteArray RemoveUser(const QByteArray& contents, const QString& name)
{
  QByteArray kept;
  kept.reserve(contents.size());
  QByteArray record;
  for (QByteArrayView line : SplitLines(contents)) {
    scramble_into(line, record);
    std::optional<UserEntry> entry = parse_record(record);
    if (entry && entry->name == name)
      continue;
    kept.append(line).append("\r\n");
  }
  return kept;
}

bool RemovesLastAdministrator(const std::vector<UserEntry>& users, const QString& name)
{
  bool had_admin = false;
  for (const UserEntry& u : users) {
    if (!u.admin)
      continue;
    if (u.name != name)
      return false;
    had_admin = true;
  }
  return had_admin;
}

bool DeleteUser(const QString& name)
{
  const QString path = global::UserFilePath();
  std::optional<QByteArray> contents = read_file(path);
  if (!contents)
    return true;
  if (RemovesLastAdministrator(ParseUsers(*contents), name)) {
    MsgBox(global::InLanguage("Der letzte Administrator kann nicht gelöscht werden.\r\n"
                              "Legen Sie zuerst einen weiteren Administrator an.",
                              "The last administrator cannot be deleted.\r\n"
                              "Set up another administrator first."));
    return false;
  }
  const QByteArray kept = RemoveUser(*contents, name);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerOnly) || file.write(kept) < 0 ||
      !file.commit()) {
    cannot_write();
    return false;
  }
  return true;
}

std::vector<UserEntry> ParseUsers(const QByteArray& contents)
{
  std::vector<UserEntry> users;
  QByteArray record;
  for (QByteArrayView line : SplitLines(contents)) {
    scramble_into(line, record);
    if (std::optional<UserEntry> entry = parse_record(record))
      users.push_back(*entry);
  }
  return users;
}

std::vector<UserEntry> ReadUsers()
{
  std::optional<QByteArray> contents = read_file(global::UserFilePath());
  return contents ? ParseUsers(*contents) : std::vector<UserEntry>();
}

}  // namespace TxtOps
