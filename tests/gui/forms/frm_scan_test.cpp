// The network scan dialog and the device list against a stand-in backend: a scan writes the
// exact scan job and leaves the devices that the list then shows; every way a scan can end
// leaves the dialog usable; the range boxes keep their limits. The device list makes a device
// the destination only on "Übernehmen".
#include "form_fixture.h"
#include "standin_backend.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_deviceList.h"
#include "gui/forms/frm_scan.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class ScanAndDeviceListTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  StandinBackend backend;
  QPointer<frm_config> config;

  void expect_usable(frm_scan& dialog, bool ok_enabled)
  {
    for (QWidget* c : std::initializer_list<QWidget*>{dialog.txt_lowRange, dialog.txt_highRange, dialog.UpDown_lowRange,
                                                     dialog.UpDown_highRange, dialog.Command_scan})
      QVERIFY(c->isEnabled());
    QVERIFY(!dialog.Command_scanCancel->isEnabled());
    QCOMPARE(dialog.cmd_OK->isEnabled(), ok_enabled);
    QVERIFY(!dialog.Scanning());
  }
  void save_picture(QWidget* form, const QString& name)
  {
    const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
    QDir().mkpath(folder);
    form->grab().save(folder + '/' + name + ".png");
  }

private slots:
  void init()
  {
    fx.start();
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    QVERIFY(backend.install(fx.folder));
    QVERIFY(backend.put("scan.csv", "Device ID; Device Name; SoftwareVersion\n"
                                    "1234567;ZOR17-Server;1.0.0\n"
                                    "410001;Raum 1;2.3\n"
                                    "410000;Flur;2.2\n"));
    global::DeviceType = 1;
    global::AdminFlag = 1;
    config = frm_config::Instance();
  }
  void cleanup()
  {
    delete frm_config::Existing();
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void scanListsTheDevicesOfTheResultFile()
  {
    frm_scan dialog(config);
    QVERIFY(!dialog.cmd_OK->isEnabled());
    QVERIFY(!dialog.Command_scanCancel->isEnabled());
    QCOMPARE(dialog.txt_lowRange->text(), QString("0"));
    QCOMPARE(dialog.txt_highRange->text(), QString("4194305"));
    dialog.txt_lowRange->setText("400000");
    dialog.Command_scan_Click();
    QCOMPARE(backend.runs(), 1);
    QByteArray job("[GENERAL]\nLINK=BACnet_IP\nLOGFILE={F}/tmp/logfile.txt\nLOCAL_DEVICE_ID=1234567\n\n"
                   "[BACnet_IP]\nIP=192.0.2.10\nPORT=47808\n\n"
                   "[FUNKTION_1]\nTODO=SCAN_DEVICE\nRANGE_LOW=400000\nRANGE_HIGH=4194302\nSCAN_TIME=5\n"
                   "RESULTFILE={F}/tmp/result.csv\n");
    job.replace("\n", "\r\n");
    job.replace("{F}", fx.folder.toUtf8());
    QCOMPARE(backend.job(1), job);
    QCOMPARE(dialog.Label_wait->text(), QString("Netzwerk gescannt"));
    expect_usable(dialog, true);
    QCOMPARE(dialog.ProgressBar1->value(), 1000);
    save_picture(&dialog, "frm_scan");

    frm_deviceList list(config);
    QCOMPARE(list.ListView1->topLevelItemCount(), 2);
    const QStringList first = {"0", "410001", "Raum 1", "2.3"};
    const QStringList second = {"1", "410000", "Flur", "2.2"};
    for (int c = 0; c < 4; ++c) {
      QCOMPARE(list.ListView1->topLevelItem(0)->text(c), first[c]);
      QCOMPARE(list.ListView1->topLevelItem(1)->text(c), second[c]);
    }
    QVERIFY(list.txt_scan->text() != "---");
    save_picture(&list, "frm_deviceList");
  }

  void rangeBoxesKeepTheirLimits()
  {
    frm_scan dialog(config);
    dialog.txt_highRange->setText("5000000");
    QCOMPARE(fx.messages, QStringList{"Wert zu hoch"});
    QCOMPARE(dialog.txt_highRange->text(), QString("4194305"));
    QCOMPARE(global::BacnetSettings.ScanHigh, 4194305);
    dialog.txt_lowRange->setText("");
    QCOMPARE(dialog.txt_lowRange->text(), QString("0"));
    QCOMPARE(global::BacnetSettings.ScanLow, 0);
    QCOMPARE(fx.messages.size(), 1);
    dialog.UpDown_lowRange_DownClick();
    QCOMPARE(dialog.txt_lowRange->text(), QString("0"));
    dialog.UpDown_highRange_UpClick();
    QCOMPARE(dialog.txt_highRange->text(), QString("4194305"));
    dialog.UpDown_highRange_DownClick();
    QCOMPARE(global::BacnetSettings.ScanHigh, 4194304);
    // Emptying the box puts the lower limit in; the typed digits follow it.
    dialog.txt_lowRange->clear();
    QTest::keyClicks(dialog.txt_lowRange, "1a2-");
    QCOMPARE(dialog.txt_lowRange->text(), QString("012"));
    QCOMPARE(global::BacnetSettings.ScanLow, 12);
  }

  void scanWithoutBackendEndsUsable()
  {
    QFile::remove(shell::BackendProgram());
    // An old log that says all went well must not count.
    QVERIFY(fx.write(global::LogFilePath(), "\n-->Successful finished\n"));
    frm_scan dialog(config);
    dialog.Command_scan_Click();
    QCOMPARE(fx.messages, QStringList{"Netzwerkscan fehlgeschlagen!"});
    QCOMPARE(dialog.Label_wait->text(), QString("Fehler"));
    expect_usable(dialog, false);
  }

  void scanWithAnErrorInTheLogEndsUsable()
  {
    QVERIFY(backend.put("verdict", "\n-->Error while executing the functions\n"));
    frm_scan dialog(config);
    dialog.Command_scan_Click();
    QCOMPARE(dialog.Label_wait->text(), QString("Fehler"));
    QCOMPARE(fx.messages.size(), 1);
    expect_usable(dialog, false);
  }

  void cancelledScanEndsUsableWithoutOk()
  {
    backend.hold();
    frm_scan dialog(config);
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      if (backend.runs() < 1)
        return;
      poll.stop();
      QVERIFY(!dialog.Command_scan->isEnabled());
      QVERIFY(dialog.Command_scanCancel->isEnabled());
      QCOMPARE(dialog.Label_wait->text(), QString("Netzwerk wird gescannt! Bitte warten..."));
      dialog.Command_scanCancel_Click();
    });
    poll.start(10);
    dialog.Command_scan_Click();
    QCOMPARE(dialog.Label_wait->text(), QString("Abbruch durch Benutzer"));
    expect_usable(dialog, false);
    QVERIFY(fx.messages.isEmpty());
  }

  void englishScanTexts()
  {
    global::LanguageCode = "1033";
    frm_scan dialog(config);
    QCOMPARE(dialog.windowTitle(), QString("Scan network"));
    QCOMPARE(dialog.Command_scan->text(), QString("Start scan"));
    dialog.Command_scan_Click();
    QCOMPARE(dialog.Label_wait->text(), QString("Finished"));
  }

  void deviceListSetsTheDestinationOnlyOnApply()
  {
    QVERIFY(fx.write(global::ScanResultPath(), "Device ID; Device Name; SoftwareVersion\n"
                                               "410001;Raum 1;2.3\nabc;Kaputt;1\n410000;Flur;2.2\n"));
    global::DestDeviceId = 7;
    frm_deviceList list(config);
    QVERIFY(!list.cmd_uebernehmen->isEnabled());
    QCOMPARE(list.ListView1->topLevelItemCount(), 3);

    // A click selects: the window and the destination stay as they were.
    QTreeWidget* view = list.ListView1;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(view->topLevelItem(2)).center());
    QCOMPARE(list.txt_device->text(), QString("410000"));
    QVERIFY(list.cmd_uebernehmen->isEnabled());
    QCOMPARE(global::DestDeviceId, 7);
    QCOMPARE(config->txt_destDevice->text(), QString::fromUtf8("Wählen Sie ein Ziel!"));
    QVERIFY(!config->cmd_auslesen->isEnabled());

    // A Device-ID that is no number cannot be chosen.
    list.ListView1_ItemClick(view->topLevelItem(1));
    QCOMPARE(list.txt_device->text(), QString("410000"));

    list.cmd_uebernehmen_Click();
    QCOMPARE(global::DestDeviceId, 410000);
    QCOMPARE(config->txt_destDevice->text(), QString("410000"));
    QVERIFY(config->cmd_auslesen->isEnabled());
    QVERIFY(config->cmd_paramSchreiben->isEnabled());
    QVERIFY(config->cmd_objektSchreiben->isEnabled());
    QVERIFY(config->chk_monitor->isEnabled());
    QCOMPARE(config->Shape1->FillColor(), QColor(255, 0, 0));
    QCOMPARE(global::LampState, 1);
  }

  void deviceListWithoutAdministratorEnablesReadingOnly()
  {
    global::AdminFlag = 0;
    QVERIFY(fx.write(global::ScanResultPath(), "410001;Raum 1;2.3\n"));
    frm_deviceList list(config);
    list.ListView1_ItemClick(list.ListView1->topLevelItem(0));
    list.cmd_uebernehmen_Click();
    QVERIFY(config->cmd_auslesen->isEnabled());
    QVERIFY(config->chk_monitor->isEnabled());
    QVERIFY(!config->cmd_paramSchreiben->isEnabled());
    QVERIFY(!config->cmd_objektSchreiben->isEnabled());
  }

  void deviceListKeepsAMinimumSize()
  {
    QVERIFY(fx.write(global::ScanResultPath(), "Device ID; Device Name; SoftwareVersion\n"));
    frm_deviceList list(config);
    QCOMPARE(list.ListView1->topLevelItemCount(), 0);
    list.show();
    list.resize(50, 50);
    QVERIFY(list.width() >= 2000 / 15);
    QVERIFY(list.height() >= 2000 / 15);
  }
};

QTEST_MAIN(ScanAndDeviceListTest)
#include "frm_scan_test.moc"
