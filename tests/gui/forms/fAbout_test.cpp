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
    auto texts = [] {
      fAbout about;
      return QStringList{about.windowTitle(), about.lblVersion->text(), about.lbl_Software_Hinweis->text(),
                         about.Label1->text(), about.Label2->text(), about.lbltxtEmail->text(),
                         about.lbltxtHyperlink->text()};
    };
    // No version recorded: the line shows its heading only. The headings stay as they are.
    QCOMPARE(texts(), (QStringList{"Information", QString::fromUtf8("Morvane: Konfigurationssoftware für ZOR17-RS485"),
                                   QString::fromUtf8("Für Schäden die durch Verwendung dieser Software an Hard- oder "
                                                     "Software entstehen wird keine Haftung übernommen."),
                                   "", "Version:", "E-Mail:", "Internet:"}));
    QVERIFY(fx.write(fx.folder + "/machine.reg", "[SOFTWARE\\Morvane\\ZOR17-RS485]\n\"Version\"=\"2.0\"\n"));
    global::LanguageCode = "1033";
    const QStringList english = texts();
    QCOMPARE(english.mid(0, 2), (QStringList{"About", "Morvane: Configuration software for ZOR17-RS485"}));
    QVERIFY(english[2].contains("Morvane accepts no liability"));
    QCOMPARE(english.mid(3), (QStringList{"2.0", "Version:", "E-Mail:", "Internet:"}));
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
