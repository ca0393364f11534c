#include "core_fixture.h"

#include "gui/core/language_texts.h"
#include "gui/core/user_file.h"

#include <sys/stat.h>

using namespace coretest;

namespace {

const char* const kNoUserFile = "Nutzerdatei existiert nicht.\r\nLegen Sie einen Benutzer an!";
const char* const kNoSuchUser = "Nutzer existiert nicht.\r\nÜberprüfen Sie Anmeldenamen und Passwort.";

}  // namespace

class UserFile : public ProgramFolderTest {
protected:
  QByteArray file() const { return read_all(global::UserFilePath()); }
};

TEST_F(UserFile, RecordIsScrambledOctetForOctet)
{
  ASSERT_TRUE(TxtOps::AddUser("admin", "secret", true));
  EXPECT_EQ(file(), octets({0xc8, 0xfa, 0xfe, 0xf4, 0xe3, 0xb6, 0xe2, 0xee, 0xfd, 0xdb, 0xfb, 0xe7, 0xa7, 0xbc,
                            0x0d, 0x0a}));
  ASSERT_TRUE(TxtOps::AddUser("otto", "", false));
  EXPECT_EQ(file().mid(16), TxtOps::Scramble("otto,:0") + "\r\n");
}

TEST_F(UserFile, ScrambleTwiceGivesTheOctetsBack)
{
  QByteArray all;
  for (int i = 0; i < 256; ++i)
    all.append(char(i));
  EXPECT_EQ(TxtOps::Scramble(TxtOps::Scramble(all)), all);
  EXPECT_EQ(TxtOps::Scramble(""), "");
  for (char c : TxtOps::Scramble("plain ASCII text ~!"))
    EXPECT_GE(uint8_t(c), 128);
}

TEST_F(UserFile, LoginMatchesExactNameAndPassword)
{
  ASSERT_TRUE(TxtOps::AddUser("admin", "secret", true));
  ASSERT_TRUE(TxtOps::AddUser("user", "pw", false));

  TxtOps::CheckLogin("admin,secret");
  EXPECT_TRUE(global::LoggedIn);
  EXPECT_EQ(global::AdminFlag, 1);

  TxtOps::CheckLogin("user,pw");
  EXPECT_TRUE(global::LoggedIn);
  EXPECT_EQ(global::AdminFlag, 0);
  EXPECT_TRUE(messages_.empty());

  for (const char* wrong : {"Admin,secret", "admin,Secret", "admin,secre", "admin,secret:", "adm,secret", "admin"}) {
    global::LoggedIn = true;
    global::AdminFlag = 7;
    TxtOps::CheckLogin(wrong);
    EXPECT_FALSE(global::LoggedIn) << wrong;
    EXPECT_EQ(global::AdminFlag, 7) << wrong;
  }
  EXPECT_EQ(message_texts(), std::vector<std::string>(6, kNoSuchUser));
}

// A file that holds no user, as the deletion of the last one used to leave, is no user file.
TEST_F(UserFile, LoginWithoutUserFileSaysSoAndChangesNothing)
{
  const std::optional<QByteArray> files[] = {std::nullopt, "", "\r\n\r\n", TxtOps::Scramble("no record") + "\r\n"};
  for (const std::optional<QByteArray>& contents : files) {
    QFile::remove(global::UserFilePath());
    if (contents) {
      ASSERT_TRUE(write_all(global::UserFilePath(), *contents));
    }
    EXPECT_FALSE(TxtOps::UserFileExists());
    messages_.clear();
    global::LoggedIn = true;
    TxtOps::CheckLogin("admin,secret");
    EXPECT_TRUE(global::LoggedIn);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, kNoUserFile);
    EXPECT_EQ(messages_[0].title, "ZOR17-RS485");
    EXPECT_EQ(messages_[0].icon, MsgIcon::None);
  }
  ASSERT_TRUE(TxtOps::AddUser("a", "b", false));
  EXPECT_TRUE(TxtOps::UserFileExists());
}

TEST_F(UserFile, PasswordsWithSeparatorsAndDuplicateNames)
{
  ASSERT_TRUE(TxtOps::AddUser("a", "p:q,r", true));
  ASSERT_TRUE(TxtOps::AddUser("a", "second", false));
  TxtOps::CheckLogin("a,p:q,r");
  EXPECT_TRUE(global::LoggedIn);
  EXPECT_EQ(global::AdminFlag, 1);
  TxtOps::CheckLogin("a,second");
  EXPECT_TRUE(global::LoggedIn);
  EXPECT_EQ(global::AdminFlag, 0);
  auto users = TxtOps::ReadUsers();
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].name, "a");
  EXPECT_TRUE(users[0].admin);
  EXPECT_FALSE(users[1].admin);
}

TEST_F(UserFile, LatinOneNamesWork)
{
  ASSERT_TRUE(TxtOps::AddUser(QString::fromUtf8("Jürgen"), QString::fromUtf8("Grüße"), false));
  TxtOps::CheckLogin(QString::fromUtf8("Jürgen,Grüße"));
  EXPECT_TRUE(global::LoggedIn);
}

TEST_F(UserFile, RecordsTheFileCannotHoldAreRefused)
{
  struct Case {
    QString name, password;
    const char* german;
    const char* english;
  };
  const char* const kOther = "Diese Kombination aus Anmeldename und Passwort kann nicht gespeichert werden.\r\n"
                             "Bitte wählen Sie ein anderes Passwort.";
  const char* const kOtherEn = "This combination of user name and password cannot be stored.\r\n"
                               "Please choose another password.";
  const Case cases[] = {
      {"a,b", "pw", "Der Anmeldename darf kein Komma enthalten.", "The user name must not contain a comma."},
      {"name", QString::fromUtf8("pass€"),
       "Anmeldename und Passwort dürfen nur Zeichen westeuropäischer Sprachen enthalten.",
       "User name and password may hold only characters of Western European languages."},
      // 0xA4 meets the key's "V" and scrambles to a CR; 0x99 meets its "l" and becomes an LF.
      {QString::fromLatin1("\xa4"), "x", kOther, kOtherEn},
      {"x", QString::fromLatin1("\x99"), kOther, kOtherEn},
  };
  for (const char* language : {"1031", "1033"}) {
    global::LanguageCode = language;
    for (const Case& c : cases) {
      messages_.clear();
      EXPECT_FALSE(TxtOps::AddUser(c.name, c.password, false));
      EXPECT_EQ(message_texts(), std::vector<std::string>{global::IsEnglish() ? c.english : c.german});
    }
  }
  EXPECT_FALSE(global::FileExists(global::UserFilePath()));

  ASSERT_TRUE(TxtOps::AddUser("ok", "ok", false));
  global::LoggedIn = true;
  TxtOps::CheckLogin(QString::fromUtf8("ok,o€"));
  EXPECT_FALSE(global::LoggedIn);
}

TEST_F(UserFile, DeleteKeepsOtherUsersAndForeignLines)
{
  ASSERT_TRUE(TxtOps::AddUser("anna", "1", true));
  ASSERT_TRUE(TxtOps::AddUser("ann", "2", true));
  ASSERT_TRUE(TxtOps::AddUser("bert", "3", false));
  ASSERT_TRUE(write_all(global::UserFilePath(), file() + "\r\n"));  // an empty line holds no record
  TxtOps::DeleteUser("ann");
  EXPECT_EQ(file(), TxtOps::Scramble("anna,1:1") + "\r\n" + TxtOps::Scramble("bert,3:0") + "\r\n\r\n");
  TxtOps::DeleteUser("nobody");
  EXPECT_EQ(file().size(), 8 + 2 + 8 + 2 + 2);
  EXPECT_TRUE(messages_.empty());
}

// Nobody could manage the users without an administrator: the last one stays.
TEST_F(UserFile, TheLastAdministratorIsNotDeleted)
{
  using Users = std::vector<TxtOps::UserEntry>;
  const struct {
    Users users;
    const char* name;
    bool refused;
  } cases[] = {
      {{{"chef", true}}, "chef", true},
      {{{"chef", true}, {"chef", true}, {"gast", false}}, "chef", true},
      {{{"chef", true}, {"gast", false}}, "gast", false},
      {{{"chef", true}, {"vize", true}}, "chef", false},
      {{{"chef", false}, {"chef", true}}, "chef", true},
      {{{"gast", false}}, "gast", false},
      {{}, "chef", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TxtOps::RemovesLastAdministrator(c.users, c.name), c.refused) << c.name << " of " << c.users.size();

  // The form's test shows the refusal and its message in both languages.
  ASSERT_TRUE(TxtOps::AddUser("chef", "1", true));
  ASSERT_TRUE(TxtOps::AddUser("gast", "2", false));
  const QByteArray before = file();
  EXPECT_FALSE(TxtOps::DeleteUser("chef"));
  EXPECT_EQ(file(), before);
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(TxtOps::DeleteUser("gast"));
  EXPECT_EQ(file(), TxtOps::Scramble("chef,1:1") + "\r\n");
}

// The file holds the passwords, merely scrambled: only its owner reads it, however it was made.
TEST_F(UserFile, OnlyItsOwnerReadsTheFile)
{
  const mode_t old_mask = umask(022);
  auto mode = [] {
    struct stat st{};
    return stat(global::UserFilePath().toLocal8Bit().constData(), &st) == 0 ? st.st_mode & 0777 : 0777u;
  };
  ASSERT_TRUE(TxtOps::AddUser("chef", "1", true));
  EXPECT_EQ(mode(), 0600u);
  ASSERT_EQ(chmod(global::UserFilePath().toLocal8Bit().constData(), 0644), 0);
  ASSERT_TRUE(TxtOps::AddUser("gast", "2", false));
  EXPECT_EQ(mode(), 0600u);
  ASSERT_EQ(chmod(global::UserFilePath().toLocal8Bit().constData(), 0644), 0);
  ASSERT_TRUE(TxtOps::DeleteUser("gast"));
  EXPECT_EQ(mode(), 0600u);
  umask(old_mask);
}

TEST_F(UserFile, DeleteWithoutFileDoesNothing)
{
  EXPECT_TRUE(TxtOps::DeleteUser("x"));
  EXPECT_FALSE(global::FileExists(global::UserFilePath()));
  EXPECT_TRUE(TxtOps::ReadUsers().empty());
}

TEST_F(UserFile, LinesSplitAtEveryLineEnd)
{
  auto lines = TxtOps::SplitLines("a\r\nb\nc\rd\r\n\r\ne");
  std::vector<QByteArrayView> expected{"a", "b", "c", "d", "", "e"};
  EXPECT_EQ(lines, expected);
}
