// The user management form over the user file: the tree by groups in file order, setting up
// and deleting users, administrator rights, the frames that come into view by widening the
// form, wrong input; then the start form logs in with a user made here. The menu opens it
// for administrators only.
#include "form_fixture.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/core/user_file.h"
#include "gui/forms/frm_UserMng.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_start.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class UserManagementTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_UserMng> form;

  // The tree as text: one line per node, indented by its depth.
  QStringList tree() const
  {
    QStringList lines;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
      lines << QString(depth * 2, ' ') + item->text(0);
      for (int i = 0; i < item->childCount(); ++i)
        walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < form->tv_UserMng->topLevelItemCount(); ++i)
      walk(form->tv_UserMng->topLevelItem(i), 0);
    return lines;
  }
  void set_up(const QString& name, const QString& password, const QString& confirmation, Qt::CheckState admin)
  {
    form->cmd_Neu->click();
    for (QLineEdit* field : {form->txt_User[0], form->txt_Password[0], form->txt_Password[1]})
      field->clear();
    form->txt_User[0]->insert(name);
    form->txt_Password[0]->insert(password);
    form->txt_Password[1]->insert(confirmation);
    form->chk_Admin->setCheckState(admin);
    form->cmd_OK[0]->click();
  }
  void open_form()
  {
    delete form;
    form = new frm_UserMng;
    form->show();
  }

private slots:
  void init()
  {
    fx.start();
    open_form();
  }
  void cleanup()
  {
    delete form;
    delete frm_config::Existing();
    fx.stop();
  }

  void framesComeIntoViewByWidening()
  {
    QCOMPARE(tree(), (QStringList{"Benutzergruppen", "  Administratoren", "  Benutzer"}));
    QVERIFY(!form->FramesInView());
    const int narrow = form->width();
    form->cmd_Neu->click();
    QVERIFY(form->FramesInView() && form->width() > narrow);
    QVERIFY(form->fr_UserMngfrm[1]->isVisible() && !form->fr_UserMngfrm[0]->isVisible());
    form->txt_User[0]->setText("kept");
    form->cmd_Delete->click();
    QVERIFY(form->fr_UserMngfrm[0]->isVisible() && !form->fr_UserMngfrm[1]->isVisible());
    form->cmd_Cancel[2]->click();
    QVERIFY(!form->FramesInView());
    QCOMPARE(form->width(), narrow);
    QCOMPARE(form->txt_User[0]->text(), QString("kept"));  // the fields keep their text
    form->cmd_Cancel[0]->click();
    QVERIFY(!form->isVisible());
  }

  void setsUpUsersWithTheirRightsAndTheStartFormLogsThemIn()
  {
    set_up("chef", "geheim", "geheim", Qt::Checked);
    set_up("gast", "", "", Qt::Unchecked);  // an empty password is a password
    set_up("halb", "x:y,z", "x:y,z", Qt::PartiallyChecked);  // grey counts as checked
    set_up("gast", "anders", "anders", Qt::Unchecked);  // a second record of the same name
    QCOMPARE(tree(), (QStringList{"Benutzergruppen", "  Administratoren", "    chef", "    halb", "  Benutzer",
                                  "    gast", "    gast"}));
    QVERIFY(fx.messages.isEmpty());
    // The fields are emptied for the next user.
    QVERIFY(form->txt_User[0]->text().isEmpty() && form->txt_Password[1]->text().isEmpty());
    QCOMPARE(form->chk_Admin->checkState(), Qt::Unchecked);
    // Setting up users does not change the rights of the running program.
    QCOMPARE(int(global::AdminFlag), 0);

    // Exact names and passwords and a second record of one name are the user file's own tests.
    const std::tuple<const char*, const char*, int> logins[] = {{"chef", "geheim", 1}, {"halb", "x:y,z", 1},
                                                                {"gast", "", 0}};
    for (const auto& [user, password, admin] : logins) {
      global::LoggedIn = false;
      global::AdminFlag = 0;
      frm_start start;
      start.findChild<QLineEdit*>("txt_User")->setText(user);
      start.findChild<QLineEdit*>("txt_Password")->setText(password);
      start.findChild<QPushButton*>("cmd_Login")->click();
      QVERIFY(global::LoggedIn);
      QVERIFY(start.findChild<QComboBox*>("Combo1")->isEnabled());
      QCOMPARE(int(global::AdminFlag), admin);
    }
  }

  void wrongInputChangesNothing()
  {
    set_up("", "pw", "pw", Qt::Checked);  // no name: ignored silently
    QVERIFY(fx.messages.isEmpty());
    QVERIFY(!QFile::exists(global::UserFilePath()));

    set_up("chef", "geheim", "Geheim", Qt::Checked);
    QCOMPARE(fx.messages, QStringList{QString::fromUtf8("Eingegebene Passwörter ungleich")});
    QCOMPARE(form->txt_User[0]->text(), QString("chef"));
    QCOMPARE(form->txt_Password[1]->text(), QString("Geheim"));
    QVERIFY(!QFile::exists(global::UserFilePath()));

    // A name the file cannot hold is refused, and the fields stay for a correction.
    set_up("a,b", "pw", "pw", Qt::Unchecked);
    QCOMPARE(form->txt_User[0]->text(), QString("a,b"));
    QCOMPARE(fx.messages.size(), 2);
    QVERIFY(!QFile::exists(global::UserFilePath()));
    QCOMPARE(tree().size(), 3);
  }

  void deletesTheUserClickedInTheTree()
  {
    QVERIFY(TxtOps::AddUser("anna", "1", true));
    QVERIFY(TxtOps::AddUser("ann", "2", false));
    QVERIFY(TxtOps::AddUser("annabel", "3", false));
    open_form();
    form->cmd_Delete->click();
    // Group nodes leave the name as it was.
    form->txt_User[1]->setText("x");
    QTest::mouseClick(form->tv_UserMng->viewport(), Qt::LeftButton, {},
                      form->tv_UserMng->visualItemRect(form->tv_UserMng->topLevelItem(0)->child(0)).center());
    QCOMPARE(form->txt_User[1]->text(), QString("x"));
    QTreeWidgetItem* ann = form->tv_UserMng->topLevelItem(0)->child(1)->child(0);
    QCOMPARE(ann->text(0), QString("ann"));
    QTest::mouseClick(form->tv_UserMng->viewport(), Qt::LeftButton, {}, form->tv_UserMng->visualItemRect(ann).center());
    QCOMPARE(form->txt_User[1]->text(), QString("ann"));
    form->cmd_OK[1]->click();
    // Only that user is gone: a name that begins another's leaves the other alone.
    QCOMPARE(tree(), (QStringList{"Benutzergruppen", "  Administratoren", "    anna", "  Benutzer", "    annabel"}));
    QVERIFY(form->txt_User[1]->text().isEmpty());
    QVERIFY(fx.messages.isEmpty());
  }

  // Nobody could manage users, save parameters or write to the unit without an administrator:
  // the last one is not deleted, himself included, and is told why in the program's language.
  void theLastAdministratorStays_data()
  {
    QTest::addColumn<QStringList>("admins");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QString>("message");
    const QString german = QString::fromUtf8("Der letzte Administrator kann nicht gelöscht werden.\r\n"
                                             "Legen Sie zuerst einen weiteren Administrator an.");
    QTest::newRow("the only one") << QStringList{"chef"} << "chef" << false << QStringList{"chef", "gast"}
                                  << german;
    QTest::newRow("the only one, english") << QStringList{"chef"} << "chef" << true << QStringList{"chef", "gast"}
                                           << QString("The last administrator cannot be deleted.\r\n"
                                                      "Set up another administrator first.");
    QTest::newRow("twice the same name") << QStringList{"chef", "chef"} << "chef" << false
                                         << QStringList{"chef", "chef", "gast"} << german;
    QTest::newRow("one of two") << QStringList{"chef", "vize"} << "chef" << false << QStringList{"vize", "gast"}
                                << QString();
    QTest::newRow("an ordinary user") << QStringList{"chef"} << "gast" << false << QStringList{"chef"} << QString();
  }
  void theLastAdministratorStays()
  {
    QFETCH(QStringList, admins);
    QFETCH(QString, name);
    QFETCH(bool, english);
    QFETCH(QStringList, left);
    QFETCH(QString, message);
    global::LanguageCode = english ? "1033" : "1031";
    for (const QString& admin : admins)
      QVERIFY(TxtOps::AddUser(admin, "pw", true));
    QVERIFY(TxtOps::AddUser("gast", "pw", false));
    open_form();
    form->cmd_Delete->click();
    form->txt_User[1]->setText(name);
    form->cmd_OK[1]->click();
    QStringList users;
    for (const TxtOps::UserEntry& u : TxtOps::ReadUsers())
      users << u.name;
    QCOMPARE(users, left);
    QCOMPARE(tree().size(), 3 + left.size());
    QCOMPARE(fx.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(form->txt_User[1]->text(), message.isEmpty() ? QString() : name);
  }

  void englishGroups()
  {
    global::LanguageCode = "1033";
    open_form();
    QCOMPARE(form->windowTitle(), QString("User management"));
    QCOMPARE(tree(), (QStringList{"User groups", "  administrator", "  user"}));
  }

  void menuOpensItModallyForAdministratorsOnly()
  {
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    global::DeviceType = 1;
    frm_config* config = frm_config::Instance();
    for (int admin : {1, 0}) {
      global::AdminFlag = uint8_t(admin);
      bool seen = false;
      QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<frm_UserMng*>(QApplication::activeModalWidget());
        seen = dialog != nullptr;
        if (dialog)
          dialog->cmd_Cancel[0]->click();
      });
      config->ParMenueMain[3]->trigger();
      QCoreApplication::processEvents();
      QCOMPARE(seen, admin == 1);
    }
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
  }
};

QTEST_MAIN(UserManagementTest)
#include "frm_UserMng_test.moc"
