// Arbitrary user files through the login check, the user list and the delete: the input up
// to its first NUL is the typed login, the rest the file's contents.
#include "gui/core/user_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  qsizetype split = input.indexOf('\0');
  const QByteArray login = split < 0 ? QByteArray() : input.left(split);
  const QByteArray contents = split < 0 ? input : input.mid(split + 1);

  if (TxtOps::Scramble(TxtOps::Scramble(contents)) != contents)
    __builtin_trap();
  std::optional<uint8_t> admin = TxtOps::MatchLogin(contents, login);
  if (admin && *admin > 1)
    __builtin_trap();

  std::vector<TxtOps::UserEntry> users = TxtOps::ParseUsers(contents);
  if (!users.empty()) {
    // Deleting a user leaves no record of that name and every other record in place.
    const QString name = users.front().name;
    size_t others = 0;
    for (const auto& u : users)
      others += u.name != name;
    std::vector<TxtOps::UserEntry> rest = TxtOps::ParseUsers(TxtOps::RemoveUser(contents, name));
    if (rest.size() != others)
      __builtin_trap();
    for (const auto& u : rest)
      if (u.name == name)
        __builtin_trap();
  }
  return 0;
}
