// The About form: its texts in both languages, the version from the machine's settings, and
// the two links handed to the platform's shell. The menu shows it modally.
#include "form_fixture.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/forms/fAbout.h"
#include "gui/forms/frm_config.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <QtTest>

// Stands in for the shell: records what it is asked to open.
class Shell : public QObject {
  Q_OBJECT
public:
  QList<QUrl> opened;
public slots:
  void open(const QUrl& url) { opened << url; }
};

class AboutTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  Shell shell;

private slots:
  void init()
  {
    fx.start();
    QDesktopServices::setUrlHandler("mailto", &shell, "open");
    QDesktopServices::setUrlHandler("https", &shell, "open");
    shell.opened.clear();
  }
  void cleanup()
  {
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    delete frm_config::Existing();
    fx.stop();
  }

  void textsInBothLanguages()
  {
    {
      fAbout about;  // no version recorded: the line shows its heading only
      QCOMPARE(about.windowTitle(), QString("Information"));
      QCOMPARE(about.lblVersion->text(), QString::fromUtf8("Morvane: Konfigurationssoftware für ZOR17-RS485"));
      QCOMPARE(about.lbl_Software_Hinweis->text(),
               QString::fromUtf8("Für Schäden die durch Verwendung dieser Software an Hard- oder Software entstehen "
                                 "wird keine Haftung übernommen."));
      QCOMPARE(about.Label1->text(), QString());
    }
    QVERIFY(fx.write(fx.folder + "/machine.reg", "[SOFTWARE\\Morvane\\ZOR17-RS485]\n\"Version\"=\"2.0\"\n"));
    global::LanguageCode = "1033";
    fAbout about;
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.lblVersion->text(), QString("Morvane: Configuration software for ZOR17-RS485"));
    QVERIFY(about.lbl_Software_Hinweis->text().contains("Morvane accepts no liability"));
    QCOMPARE(about.Label1->text(), QString("2.0"));
    // The headings stay as they are.
    QCOMPARE(about.Label2->text(), QString("Version:"));
    QCOMPARE(about.lbltxtEmail->text(), QString("E-Mail:"));
    QCOMPARE(about.lbltxtHyperlink->text(), QString("Internet:"));
  }

  void linksOpenInTheShell()
  {
    fAbout about;
    about.show();
    QTest::mouseClick(about.lblemail, Qt::LeftButton);
    QTest::mouseClick(about.lblHyperlink, Qt::LeftButton);
    QTest::mouseClick(about.lbl_Software_Hinweis, Qt::LeftButton);
    QCOMPARE(shell.opened, (QList<QUrl>{QUrl("mailto:" + about.lblemail->text()), QUrl(about.lblHyperlink->text())}));
  }

  void menuShowsItModally()
  {
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    global::DeviceType = 1;
    frm_config* config = frm_config::Instance();
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
      auto* about = qobject_cast<fAbout*>(QApplication::activeModalWidget());
      seen = about && about->parentWidget() == config;
      if (about)
        about->close();
    });
    config->MenueMain[4]->trigger();
    QVERIFY(seen);
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
  }
};

QTEST_MAIN(AboutTest)
#include "fAbout_test.moc"
