// Module TxtOps: the user file data/user.dat, one scrambled record "name,password:digit" per
// CR LF line in single-byte text. Checks a login, appends and deletes users and lists them
// for the user management. User-interface thread only; reports through MsgBox and never
// touches a widget.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace TxtOps {

// The fixed scramble of every record; applying it twice gives the octets back.
QByteArray Scramble(const QByteArray& octets);

// Octets of the text in the single-byte code page; no value when a character has none.
std::optional<QByteArray> ToOctets(const QString& text);

// s is user name & "," & password. Sets global::LoggedIn and global::AdminFlag.
void CheckLogin(const QString& s);

// Appends the record name & "," & password & ":" & digit ("1" administrator, "0" user).
// A record the file cannot hold faithfully (a "," in the name, a character outside the
// code page, a line break among the scrambled octets) is refused with a message; the result
// tells whether the record was written.
bool AddUser(const QString& name, const QString& password, bool admin);

void DeleteUser(const QString& name);

struct UserEntry {
  QString name;
  bool admin;
};
// The records of the file in file order; lines that hold no record are left out.
std::vector<UserEntry> ReadUsers();

// The lines of a user file's contents, split where the text reader splits them.
std::vector<QByteArray> SplitLines(const QByteArray& contents);

}  // namespace TxtOps
