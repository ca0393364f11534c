#include "form_fixture.h"

#include "gui/core/user_file.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_start.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {

const char* const kNoUserFile = "Nutzerdatei existiert nicht.\r\nLegen Sie einen Benutzer an!";
const char* const kNoSuchUser = "Nutzer existiert nicht.\r\nÜberprüfen Sie Anmeldenamen und Passwort.";

}  // namespace

class StartFormTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_start> form;

  template <class T>
  T* child(const char* name) const
  {
    T* w = form->findChild<T*>(name);
    if (!w)
      qFatal("no control %s", name);
    return w;
  }
  bool choice_enabled() const
  {
    return child<QComboBox>("Combo1")->isEnabled() && child<QPushButton>("Uebernehmen")->isEnabled();
  }
  void login(const QString& user, const QString& password)
  {
    child<QLineEdit>("txt_User")->setText(user);
    child<QLineEdit>("txt_Password")->setText(password);
    QTest::mouseClick(child<QPushButton>("cmd_Login"), Qt::LeftButton);
  }
  void open_form()
  {
    form = new frm_start;
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

  void loadsGermanWithBacnetChosenAndTheChoiceLocked()
  {
    QCOMPARE(form->windowTitle(), QString::fromUtf8("Geräteauswahl"));
    QCOMPARE(child<QLabel>("lbl_Loginfrm_0")->text(), QString("Anmeldename:"));
    QCOMPARE(child<QLabel>("lbl_Loginfrm_1")->text(), QString("Passwort:"));
    QCOMPARE(child<QPushButton>("cmd_Login")->text(), QString("&Login"));
    QCOMPARE(child<QPushButton>("cmd_Cancel")->text(), QString("&Abbrechen"));
    QCOMPARE(child<QLabel>("Label1")->text(), QString::fromUtf8("Bitte wählen Sie ein Gerät aus:"));
    QCOMPARE(child<QPushButton>("Uebernehmen")->text(), QString("Ok"));
    QVERIFY(form->findChild<QWidget*>("fr_Loginfrm"));
    QCOMPARE(child<QLineEdit>("txt_Password")->echoMode(), QLineEdit::Password);

    auto* combo = child<QComboBox>("Combo1");
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QString("ZOR17_Modbus"));
    QCOMPARE(combo->currentIndex(), 1);
    QCOMPARE(int(global::DeviceType), 1);
    QVERIFY(!choice_enabled());
    QCOMPARE(global::DecimalSeparator.isEmpty(), false);
  }

  void englishCaptionsKeepLoginAndOk()
  {
    delete form;
    QVERIFY(fx.write(fx.folder + "/machine.reg", "[SOFTWARE\\Morvane\\ZOR17-RS485]\n\"Language\"=\"1033\"\n"));
    open_form();
    QCOMPARE(form->windowTitle(), QString("Choose a device"));
    QCOMPARE(child<QLabel>("lbl_Loginfrm_0")->text(), QString("User name"));
    QCOMPARE(child<QLabel>("lbl_Loginfrm_1")->text(), QString("Password"));
    QCOMPARE(child<QPushButton>("cmd_Cancel")->text(), QString("Cancel"));
    QCOMPARE(child<QLabel>("Label1")->text(), QString("Please choose the device type:"));
    QCOMPARE(child<QPushButton>("cmd_Login")->text(), QString("&Login"));
    QCOMPARE(child<QPushButton>("Uebernehmen")->text(), QString("Ok"));
  }

  void qtsOwnTextsFollowTheLanguage()
  {
    // Loaded German: the file dialogs, message box buttons and context menus speak German.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Abbrechen"));
    QCOMPARE(QCoreApplication::translate("QLineEdit", "&Undo"), QString::fromUtf8("&Rückgängig"));
    delete form;
    QVERIFY(fx.write(fx.folder + "/machine.reg", "[SOFTWARE\\Morvane\\ZOR17-RS485]\n\"Language\"=\"1033\"\n"));
    open_form();
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cancel"));
  }

  // No user file, or one that holds no user (the last user deleted): the first start.
  void firstStartAdmitsEmptyLoginAsAdministrator_data()
  {
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("no user file") << QByteArray();
    QTest::newRow("empty user file") << QByteArray("");
    QTest::newRow("only empty lines") << QByteArray("\r\n\r\n");
  }
  void firstStartAdmitsEmptyLoginAsAdministrator()
  {
    QFETCH(QByteArray, file);
    if (!file.isNull())
      QVERIFY(fx.write(global::UserFilePath(), file));
    login("", "");
    QVERIFY(choice_enabled());
    QCOMPARE(int(global::AdminFlag), 1);
    QVERIFY(!global::LoggedIn);
    QVERIFY(fx.messages.isEmpty());
  }

  void firstStartWithANameSaysThereIsNoUserFile_data() { firstStartAdmitsEmptyLoginAsAdministrator_data(); }
  void firstStartWithANameSaysThereIsNoUserFile()
  {
    QFETCH(QByteArray, file);
    if (!file.isNull())
      QVERIFY(fx.write(global::UserFilePath(), file));
    login("admin", "");
    QCOMPARE(fx.messages, QStringList{QString::fromUtf8(kNoUserFile)});
    QVERIFY(!choice_enabled());
  }

  void wrongThenRightLogin()
  {
    QVERIFY(TxtOps::AddUser("admin", "secret", true));
    login("admin", "Secret");
    QCOMPARE(fx.messages, QStringList{QString::fromUtf8(kNoSuchUser)});
    QVERIFY(!choice_enabled());
    login("Admin", "secret");
    QCOMPARE(fx.messages.size(), 2);
    QVERIFY(!choice_enabled());

    login("admin", "secret");
    QVERIFY(choice_enabled());
    QVERIFY(global::LoggedIn);
    QCOMPARE(int(global::AdminFlag), 1);

    // A failed login afterwards does not take the choice back.
    login("admin", "wrong");
    QVERIFY(!global::LoggedIn);
    QVERIFY(choice_enabled());
  }

  void emptyLoginWithAUserFileIsIgnored()
  {
    QVERIFY(TxtOps::AddUser("user", "pw", false));
    login("", "");
    QVERIFY(!choice_enabled());
    QVERIFY(fx.messages.isEmpty());
    QCOMPARE(int(global::AdminFlag), 0);
  }

  void enterInThePasswordBoxLogsIn()
  {
    QVERIFY(TxtOps::AddUser("user", "pw", false));
    child<QLineEdit>("txt_User")->setText("user");
    QTest::keyClick(child<QLineEdit>("txt_User"), Qt::Key_Return);
    QVERIFY(!choice_enabled());
    QVERIFY(fx.messages.isEmpty());
    QTest::keyClicks(child<QLineEdit>("txt_Password"), "pw");
    QTest::keyClick(child<QLineEdit>("txt_Password"), Qt::Key_Return);
    QVERIFY(choice_enabled());
    QCOMPARE(int(global::AdminFlag), 0);
  }

  void modbusOkStaysOnTheStartForm()
  {
    login("", "");
    child<QComboBox>("Combo1")->setCurrentIndex(0);
    QCOMPARE(int(global::DeviceType), 0);
    QTest::mouseClick(child<QPushButton>("Uebernehmen"), Qt::LeftButton);
    QVERIFY(form->isVisible());
    QVERIFY(!frm_config::Existing());
  }

  void bacnetOkOpensTheConfigurationWindow()
  {
    global::LanguageCode.clear();
    login("", "");
    child<QComboBox>("Combo1")->setCurrentIndex(0);
    child<QComboBox>("Combo1")->setCurrentIndex(1);
    QTest::mouseClick(child<QPushButton>("Uebernehmen"), Qt::LeftButton);
    QVERIFY(frm_config::Existing());
    QVERIFY(frm_config::Existing()->isVisible());
    QCOMPARE(frm_config::Existing()->windowTitle(), QString("ZOR17_RS485 Konfiguration 1.0.1"));
    QCOMPARE(global::LanguageCode, QString("1031"));
    QVERIFY(!form->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form.isNull());  // unloaded
    QVERIFY(!frm_start::Loaded());
  }

  void englishReachesTheConfigurationWindow()
  {
    delete form;
    QVERIFY(fx.write(fx.folder + "/machine.reg", "[SOFTWARE\\Morvane\\ZOR17-RS485]\n\"Language\"=\"1033\"\n"));
    open_form();
    login("", "");
    QTest::mouseClick(child<QPushButton>("Uebernehmen"), Qt::LeftButton);
    QCOMPARE(child<QLabel>("Label1")->text(), QString("Please choose the device type"));
    QCOMPARE(frm_config::Existing()->windowTitle(), QString("ZOR17_RS485 Configuration"));
    QCOMPARE(global::TextTable[0], QString("Off"));
  }
};

QTEST_MAIN(StartFormTest)
#include "frm_start_test.moc"
