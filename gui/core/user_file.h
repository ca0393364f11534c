// Module TxtOps: the user file data/user.dat, one scrambled record "name,password:digit" per
// CR LF line in single-byte text. Checks a login, appends and deletes users and lists them
// for the user management. Every write leaves the file readable and writable by its owner
// only: the scramble hides the passwords from a glance, it does not encrypt them.
// User-interface thread only; reports through MsgBox and never touches a widget.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace TxtOps {

// The fixed scramble of every record; applying it twice gives the octets back.
QByteArray Scramble(QByteArrayView octets);

// Octets of the text in the single-byte code page; no value when a character has none.
std::optional<QByteArray> ToOctets(const QString& text);

// True when the user file holds at least one user, or cannot be read: a file without any user
// counts as no file, so that the first-start login works again.
bool UserFileExists();

// s is user name & "," & password. Sets global::LoggedIn and global::AdminFlag.
void CheckLogin(const QString& s);

// Appends the record name & "," & password & ":" & digit ("1" administrator, "0" user).
// A record the file cannot hold faithfully (a "," in the name, a character outside the
// code page, a line break among the scrambled octets) is refused with a message; the result
// tells whether the record was written.
bool AddUser(const QString& name, const QString& password, bool admin);

// Removes every record of the user. Deleting the last administrator is refused with a
// message, since nobody could manage the users afterwards; false when refused or when the
// file cannot be written.
bool DeleteUser(const QString& name);

struct UserEntry {
  QString name;
  bool admin;
};
// The records of the file in file order; lines that hold no record are left out.
std::vector<UserEntry> ReadUsers();

// The same on the file's contents.
std::vector<UserEntry> ParseUsers(const QByteArray& contents);
// True when users has an administrator and none remains once name's records are gone.
bool RemovesLastAdministrator(const std::vector<UserEntry>& users, const QString& name);
// The administrator flag of the first line whose record starts with the clear-text login
// name & "," & password followed by ":" and one character; no value when none does.
std::optional<uint8_t> MatchLogin(const QByteArray& contents, const QByteArray& login);
// The contents without the records of that user; other lines stay, each ended by CR LF.
QByteArray RemoveUser(const QByteArray& contents, const QString& name);
// The lines of a user file's contents, split where the text reader splits them; views into
// the contents, valid while they are.
std::vector<QByteArrayView> SplitLines(QByteArrayView contents);

}  // namespace TxtOps
