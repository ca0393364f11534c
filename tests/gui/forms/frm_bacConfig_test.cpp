// The BACnet settings dialog: it opens with the settings and the PC's address, keeps its
// fields within their ranges, applies the link choice at once, and on "Übernehmen" fills the
// configuration window and writes bacnet.ini, which the next window reads back.
#include "form_fixture.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/forms/frm_bacConfig.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class BacnetSettingsTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_config> config;

  void open_window()
  {
    delete frm_config::Existing();
    global::DeviceType = 1;
    config = frm_config::Instance();
  }

private slots:
  void init()
  {
    fx.start();
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    open_window();
  }
  void cleanup()
  {
    delete frm_config::Existing();
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void opensWithTheSettingsAndThePcsAddress()
  {
    global::BacnetSettings.LocalIp = "10.0.0.99";
    frm_bacConfig dialog(config);
    QCOMPARE(dialog.windowTitle(), QString("BACnet Einstellungen"));
    QCOMPARE(global::BacnetSettings.LocalIp, QString("192.0.2.10"));
    QCOMPARE(dialog.txt_localIP->text(), QString("192.0.2.10"));
    QCOMPARE(dialog.cmb_link->currentText(), QString("BACnet/IP"));
    QCOMPARE(dialog.txt_deviceID->text(), QString("1234567"));
    QCOMPARE(dialog.txt_port->text(), QString("47808"));
    QCOMPARE(dialog.txt_timeout->text(), QString("5"));
    QCOMPARE(dialog.txt_monitorTime->text(), QString("10"));
    QCOMPARE(dialog.txt_mac->text(), QString("127"));
    QCOMPARE(dialog.txt_offsDeviceID->text(), QString("410000"));
    QCOMPARE(dialog.cmb_comPort->currentText(), QString("COM1"));
    QCOMPARE(dialog.cmb_baudrate->currentText(), QString("38400"));
    QVERIFY(!dialog.txt_mac->isEnabled());
    QVERIFY(!dialog.cmb_baudrate->isEnabled());
    QVERIFY(dialog.txt_port->isEnabled());
    QVERIFY(fx.messages.isEmpty());
    const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
    QDir().mkpath(folder);
    dialog.grab().save(folder + "/frm_bacConfig.png");
  }

  void storedValuesOutOfRangeAreCorrectedAtLoad()
  {
    QVERIFY(fx.write(global::BacnetIniPath(), "[BACNET]\r\nLINK=BACnet/IP\r\nSCAN=150\r\nPOLL=0\r\n"));
    open_window();
    QCOMPARE(global::BacnetSettings.ScanTime, 150);
    frm_bacConfig dialog(config);
    QCOMPARE(fx.messages, (QStringList{"Wert zu hoch", "Wert zu niedrig"}));
    QCOMPARE(dialog.txt_timeout->text(), QString("100"));
    QCOMPARE(global::BacnetSettings.ScanTime, 100);
    QCOMPARE(dialog.txt_monitorTime->text(), QString("1"));
    QCOMPARE(global::BacnetSettings.PollCycle, int16_t(0));  // taken only on apply
  }

  void fieldsKeepTheirRanges()
  {
    frm_bacConfig dialog(config);
    dialog.txt_mac->setEnabled(true);
    dialog.txt_mac->setText("0");
    QCOMPARE(dialog.txt_mac->text(), QString("1"));
    QCOMPARE(fx.messages, QStringList{"Wert zu niedrig"});
    dialog.txt_mac->setText("1270");
    QCOMPARE(dialog.txt_mac->text(), QString("127"));
    QCOMPARE(fx.messages.last(), QString("Wert zu hoch"));
    dialog.txt_port->setText("");
    QCOMPARE(dialog.txt_port->text(), QString("0"));
    QCOMPARE(global::BacnetSettings.UdpPort, 0);
    QCOMPARE(fx.messages.size(), 2);
    dialog.txt_deviceID->setText("4194305");
    QTest::mouseClick(dialog.UpDown_deviceID, Qt::LeftButton, {}, QPoint(5, 2));
    QCOMPARE(dialog.txt_deviceID->text(), QString("4194305"));
    QCOMPARE(global::BacnetSettings.LocalDeviceId, 4194305);
    dialog.txt_timeout->setText("0");
    QTest::mouseClick(dialog.UpDown_timeout, Qt::LeftButton, {}, QPoint(5, dialog.UpDown_timeout->height() - 2));
    QCOMPARE(dialog.txt_timeout->text(), QString("0"));
    dialog.txt_port->clear();
    QTest::keyClicks(dialog.txt_port, "4a7-8");
    QCOMPARE(dialog.txt_port->text(), QString("0478"));  // the emptied box held its lower limit
    QCOMPARE(global::BacnetSettings.UdpPort, 478);
  }

  void linkChoiceTakesEffectAtOnce()
  {
    frm_bacConfig dialog(config);
    dialog.cmb_link->setCurrentIndex(1);
    QCOMPARE(global::BacnetSettings.Link, QString("MS/TP"));
    for (QWidget* w : std::initializer_list<QWidget*>{dialog.frame_ip, dialog.txt_localIP, dialog.txt_deviceID,
                                                     dialog.txt_port, dialog.UpDown_deviceID, dialog.UpDown_port})
      QVERIFY(!w->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{dialog.frame_mstp, dialog.txt_mac, dialog.txt_offsDeviceID,
                                                     dialog.cmb_comPort, dialog.cmb_baudrate, dialog.UpDown_mac})
      QVERIFY(w->isEnabled());
    // The window and bacnet.ini change only on apply.
    QCOMPARE(config->txt_link->text(), QString("BACnet/IP"));
    QVERIFY(!QFile::exists(global::BacnetIniPath()));
  }

  void applyFillsTheWindowAndRoundTripsBacnetIni()
  {
    {
      frm_bacConfig dialog(config);
      dialog.cmb_link->setCurrentIndex(1);
      dialog.txt_timeout->setText("12");
      dialog.txt_monitorTime->setText("100");
      dialog.txt_mac->setText("42");
      dialog.txt_offsDeviceID->setText("1");
      dialog.cmb_comPort->setCurrentText("COM3");
      dialog.cmb_baudrate->setCurrentText("76800");
      dialog.txt_deviceID->setText("4711");
      dialog.Command_uebernehmen_Click();
    }
    QVERIFY(fx.messages.isEmpty());
    QFile ini(global::BacnetIniPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), QByteArray("[BACNET]\r\nLINK=MS/TP\r\nSCAN=12\r\nPOLL=100\r\n\r\n"
                                       "[IP]\r\nLOCAL IP=192.0.2.10\r\nDEVICE_ID=4711\r\nPORT=47808\r\n\r\n"
                                       "[MS/TP]\r\nMAC=42\r\nCOM-PORT=COM3\r\nBAUDRATE=76800\r\n"));
    QCOMPARE(config->txt_link->text(), QString("MS/TP"));
    QVERIFY(!config->frm_mstp->isHidden());
    QVERIFY(config->frm_ip->isHidden());
    QCOMPARE(config->txt_bacMac->text(), QString("42"));
    QCOMPARE(config->txt_bacComPort->text(), QString("COM3"));
    QCOMPARE(config->txt_bacBaudrate->text(), QString("76800"));
    QCOMPARE(config->txt_bacDeviceID->text(), QString("4711"));
    QCOMPARE(config->tmr_bacMonitor->interval(), 100000);
    QCOMPARE(global::BacnetSettings.PollCycle, int16_t(100));

    // The next run starts from its defaults and reads the file back.
    global::BacnetSettings = BacnetSettingsT{};
    open_window();
    QCOMPARE(global::BacnetSettings.Link, QString("MS/TP"));
    QCOMPARE(global::BacnetSettings.ScanTime, 12);
    QCOMPARE(global::BacnetSettings.PollCycle, int16_t(100));
    QCOMPARE(global::BacnetSettings.LocalDeviceId, 4711);
    QCOMPARE(global::BacnetSettings.MstpMac, uint8_t(42));
    QCOMPARE(global::BacnetSettings.ComPort, QString("COM3"));
    QCOMPARE(global::BacnetSettings.BaudRate, QString("76800"));
    QVERIFY(!config->frm_mstp->isHidden());
    frm_bacConfig again(config);
    QCOMPARE(again.cmb_link->currentText(), QString("MS/TP"));
    QCOMPARE(again.txt_timeout->text(), QString("12"));
    QCOMPARE(again.txt_monitorTime->text(), QString("100"));
    QCOMPARE(again.txt_mac->text(), QString("42"));
    QCOMPARE(again.cmb_baudrate->currentText(), QString("76800"));
    QCOMPARE(again.txt_offsDeviceID->text(), QString("410000"));  // never kept
    QVERIFY(!again.txt_deviceID->isEnabled());
  }

  void unknownListTextsStillLoad()
  {
    QVERIFY(fx.write(global::BacnetIniPath(), "[BACNET]\r\nLINK=X\r\n[MS/TP]\r\nCOM-PORT=COM99\r\nBAUDRATE=1\r\n"));
    open_window();
    frm_bacConfig dialog(config);
    QCOMPARE(dialog.cmb_link->currentIndex(), -1);
    QCOMPARE(dialog.cmb_comPort->currentIndex(), -1);
    QCOMPARE(dialog.cmb_baudrate->currentIndex(), -1);
    // Neither local frame is switched off by an unknown link.
    QVERIFY(!config->frm_ip->isHidden());
    QVERIFY(!config->frm_mstp->isHidden());
  }

  void menuOpensTheDialogModally()
  {
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
      auto* dialog = qobject_cast<frm_bacConfig*>(QApplication::activeModalWidget());
      seen = dialog != nullptr;
      if (dialog)
        dialog->close();
    });
    config->BacMenuMain1->trigger();
    QVERIFY(seen);
  }

  void localAddressTakesAnIpv4AddressOnly()
  {
    frm_bacConfig dialog(config);
    dialog.show();
    // Pasted text with a line break would put lines of its own into bacnet.ini and the job.
    const std::pair<const char*, const char*> pastes[] = {  // pasted, shown
        {"10.0.0.1\r\n[GENERAL]\r\nLINK=BACnet_MSTP", "192.0.2.10"}, {"10.0.0.1\n", "192.0.2.10"},
        {"host.example", "192.0.2.10"}, {"1.2.3.256", "192.0.2.10"}, {"10.111.1.7", "10.111.1.7"}};
    for (const auto& [pasted, shown] : pastes) {
      QGuiApplication::clipboard()->setText(QString::fromLatin1(pasted));
      dialog.txt_localIP->selectAll();
      dialog.txt_localIP->paste();
      QCOMPARE(dialog.txt_localIP->text(), QString(shown));
    }

    // Half an address is not applied.
    dialog.txt_localIP->selectAll();
    QTest::keyClicks(dialog.txt_localIP, "10.0.");
    QCOMPARE(dialog.txt_localIP->text(), QString("10.0."));
    dialog.Command_uebernehmen->click();
    QCOMPARE(fx.messages, QStringList{QString::fromUtf8("Bitte geben Sie eine vollständige IPv4-Adresse ein.")});
    QVERIFY(dialog.isVisible());
    QVERIFY(!QFile::exists(global::BacnetIniPath()));

    QTest::keyClicks(dialog.txt_localIP, "0.9");
    dialog.Command_uebernehmen->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(config->txt_bacIp->text(), QString("10.0.0.9"));
    QFile ini(global::BacnetIniPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QCOMPARE(text.count('['), 3);
    QVERIFY(text.contains("\r\nLOCAL IP=10.0.0.9\r\n"));
  }

  void englishCaptions()
  {
    global::LanguageCode = "1033";
    frm_bacConfig dialog(config);
    QCOMPARE(dialog.windowTitle(), QString("BACnet settings"));
    QCOMPARE(dialog.Frame1->title(), QString("Settings"));
    QCOMPARE(dialog.frame_mstp->title(), QString("MS/TP settings"));
    QCOMPARE(dialog.Command_uebernehmen->text(), QString("Apply"));
  }
};

QTEST_MAIN(BacnetSettingsTest)
#include "frm_bacConfig_test.moc"
