// The configuration window offscreen: its frame for each device type, every register
// control at its index, the change marking against the register image, the status lamp, the
// selection rules, key filters and stepping, factory values, the clock fields and the
// English texts. Each page is also kept as a picture for review under the build folder.
#include "form_fixture.h"
#include "support/modbus_line.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/core/register_rows.h"
#include "gui/core/window_design.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/program_exit.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kYellow(255, 255, 0);

}  // namespace

class ConfigWindowTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_config> w;

  void open(int deviceType)
  {
    global::DeviceType = uint8_t(deviceType);
    w = frm_config::Instance();
    w->show();
  }
  // Starts from a window without marks and a green lamp, as after a complete read.
  void settle()
  {
    w->reset_red_field(true, true);
    global::LampState = 0;
    w->SetLampGreen();
  }
  bool red(QWidget* control) const { return marks::IsSet(control); }
  // The control's own visibility, whichever tab page is in front.
  bool shown(QWidget* control) const { return !control->isHidden(); }

  void save_pages(const QString& prefix)
  {
    const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
    QDir().mkpath(folder);
    for (int t = 0; t < design::TabCount; ++t) {
      w->SSTab1->setCurrentIndex(t);
      QCoreApplication::processEvents();
      w->grab().save(QStringLiteral("%1/%2_page%3.png").arg(folder, prefix).arg(t));
    }
    w->SSTab1->setCurrentIndex(0);
  }

private slots:
  void init()
  {
    fx.start();
    global::DecimalSeparator = ",";
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
  }
  void cleanup()
  {
    delete frm_config::Existing();
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void bacnetFrameWithoutSettingsFile()
  {
    open(1);
    QCOMPARE(w->windowTitle(), QString("ZOR17_RS485 Konfiguration 1.0.1"));
    QCOMPARE(w->txt_bacIp->text(), QString("192.0.2.10"));
    QCOMPARE(w->txt_bacPort->text(), QString("47808"));
    QCOMPARE(w->txt_bacDeviceID->text(), QString("1234567"));
    QCOMPARE(w->txt_link->text(), QString("BACnet/IP"));
    QVERIFY(shown(w->frm_bacnet));
    QVERIFY(!shown(w->frm_modbus));
    QVERIFY(shown(w->frm_ip));
    QVERIFY(!shown(w->frm_mstp));
    QVERIFY(!w->MenueMain[2]->isEnabled());
    QVERIFY(w->MenueMain[3]->isEnabled());
    QCOMPARE(w->Shape1->FillColor(), kRed);
    for (QWidget* b : std::initializer_list<QWidget*>{w->cmd_auslesen, w->cmd_paramSchreiben, w->cmd_objektSchreiben,
                                                     w->chk_monitor})
      QVERIFY(!b->isEnabled());
    // The unit's clock can be set over BACnet; the Modbus answer delay and bus watch are hidden.
    for (int i = 0; i <= 5; ++i)
      QVERIFY(shown(w->txt_data_in[size_t(i)]) && w->txt_data_in[size_t(i)]->isEnabled());
    for (int d : {4, 6, 67, 69, 70})
      QVERIFY(shown(w->lbl_desc[size_t(d)]));
    for (int i : {33, 60}) {
      QVERIFY(!shown(w->txt_data_cfg[size_t(i)]));
      QVERIFY(!shown(w->lbl_cfg[size_t(i)]));
      QVERIFY(!shown(w->UpD_txt_cfg[size_t(i)]));
    }
    for (int i = 11; i <= 14; ++i)
      QVERIFY(!shown(w->txt_data_out[size_t(i)]));
    QVERIFY(shown(w->frames["frm_allg_3"]));
    save_pages("bacnet");
  }

  void bacnetFrameFollowsTheSettingsFile()
  {
    QVERIFY(fx.write(global::BacnetIniPath(), "[BACNET]\r\nLINK=MS/TP\r\nSCAN=7\r\nPOLL=3\r\n[IP]\r\n"
                                               "LOCAL IP=10.111.1.1\r\nDEVICE_ID=4711\r\nPORT=47809\r\n"
                                               "[MS/TP]\r\nMAC=5\r\nCOM-PORT=COM3\r\nBAUDRATE=19200\r\n"));
    open(1);
    QVERIFY(shown(w->frm_mstp));
    QVERIFY(!shown(w->frm_ip));
    QCOMPARE(w->txt_bacIp->text(), QString("10.111.1.1"));
    QCOMPARE(w->txt_bacDeviceID->text(), QString("4711"));
    QCOMPARE(w->txt_bacPort->text(), QString("47809"));
    QCOMPARE(w->txt_link->text(), QString("MS/TP"));
    QCOMPARE(global::BacnetSettings.PollCycle, int16_t(3));
    QCOMPARE(global::BacnetSettings.MstpMac, uint8_t(5));
  }

  void modbusFrame()
  {
    open(0);
    QVERIFY(shown(w->frm_modbus));
    QVERIFY(!shown(w->frm_bacnet));
    QCOMPARE(w->txt_modbComPort->text(), QString("COM1"));
    QCOMPARE(w->txt_modbBaud->text(), QString("38400"));
    QCOMPARE(w->txt_modbMode->text(), QString("RTU"));
    QCOMPARE(w->txt_modbAddr->text(), QString("1"));
    QCOMPARE(w->cmb_modbPort->currentIndex(), 0);
    QCOMPARE(w->cmb_modbPort->currentText(), QString("close"));
    QVERIFY(!w->MenueMain[3]->isEnabled());
    QVERIFY(w->MenueMain[2]->isEnabled());
    QVERIFY(!shown(w->frames["frm_allg_3"]));
    QCOMPARE(w->Modbus().MSComm1->Settings(), QString("38400,N,8,1"));
    QCOMPARE(w->Modbus().MSComm1->InputMode(), 1);
    QCOMPARE(w->Modbus().MSComm1->CommPort(), 1);
    QVERIFY(!w->Modbus().MSComm1->PortOpen());
    // The lamp keeps its design colour, the clock fields stay hidden.
    QCOMPARE(w->Shape1->FillColor(), kYellow);
    QVERIFY(!shown(w->txt_data_in[0]));
    QVERIFY(shown(w->txt_data_cfg[33]));
    save_pages("modbus");
  }

  void everyRegisterControlExistsAtItsIndex()
  {
    open(1);
    auto find = [this](const char* array, int i) {
      return w->findChild<QWidget*>(QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(i));
    };
    for (int i = 0; i < 73; ++i) {
      QVERIFY(qobject_cast<QLineEdit*>(find("txt_data_cfg", i)));
      QVERIFY(qobject_cast<QLabel*>(find("lbl_cfg", i)));
      QCOMPARE(find("cmb_cfg", i) != nullptr, design::HasConfigChoice(i));
      QCOMPARE(find("UpD_txt_cfg", i) != nullptr, design::HasConfigSpin(i));
      QCOMPARE(find("txt_data_cfg", i), static_cast<QWidget*>(w->txt_data_cfg[size_t(i)]));
    }
    for (int i = 0; i < 32; ++i) {
      QVERIFY(qobject_cast<QCheckBox*>(find("chk_cfg", i)));
      QVERIFY(find("lbl_read_cfg_bit", i));
      QCOMPARE(find("cmb_bit_cfg", i) != nullptr, i >= 24 && i <= 30);
    }
    for (int i = 0; i < 28; ++i) {
      QVERIFY(qobject_cast<QLineEdit*>(find("txt_data_in", i)));
      QCOMPARE(find("lbl_data_in", i) != nullptr, i >= 7);
      QCOMPARE(find("cmb_in", i) != nullptr, i == 26 || i == 27);
    }
    for (int i = 0; i < 16; ++i) {
      QVERIFY(qobject_cast<QCheckBox*>(find("chk_input", i)));
      QVERIFY(find("lbl_read_in_bit", i));
    }
    for (int i = 0; i < 17; ++i) {
      QVERIFY(qobject_cast<QLineEdit*>(find("txt_data_out", i)));
      QVERIFY(find("lbl_read_out", i));
      QCOMPARE(find("lbl_in_val", i) != nullptr, i == 15 || i == 16);
    }
    for (int i = 0; i < 80; ++i) {
      // Every descriptive label sits somewhere on the window's frames, none loose on it.
      QWidget* label = find("lbl_desc", i);
      QVERIFY(label);
      QVERIFY2(label->parentWidget() != w->centralWidget() && label->parentWidget() != w.data(),
               qPrintable(QString::number(i)));
    }
    for (int i = 0; i < 12; ++i)
      QVERIFY(find("Lbl_button", i));
    for (const char* picture : {"Image2T", "Image4T", "Image8T", "Image12T"})
      for (int k = 0; k < 3; ++k)
        QVERIFY(find(picture, k));
    for (const char* f : {"frm_allg_0", "frm_allg_3", "frm_Anzeige_2", "frm_soll_8", "frm_extern_2", "frm_val_1",
                          "frm_button_0", "frm_2T_0", "frm_4T_2", "frm_8T_4", "frm_12T", "Frame1", "Frame2"})
      QVERIFY2(w->findChild<QGroupBox*>(f), f);
    for (const char* name : {"cmd_zielWählen", "MenüMain_1", "ParMenüMain_5", "BacMenuMain_1", "SSTab1_0"})
      QVERIFY2(w->findChild<QObject*>(QString::fromUtf8(name)), name);
    for (const char* timer : {"Timer", "Timer1", "Timer2", "Timer4", "Timer5", "Timer6", "Timer7", "tmr_bacMonitor"}) {
      auto* t = w->findChild<QTimer*>(timer);
      QVERIFY2(t && !t->isActive(), timer);
    }
    QCOMPARE(w->tmr_bacMonitor->interval(), 10000);
    QCOMPARE(w->Timer->interval(), 250);
  }

  void factoryValuesAndClockFields()
  {
    open(1);
    for (const rows::ConfigRegisterRow& r : rows::ConfigRegisters()) {
      QCOMPARE(global::ConfigRegisters[size_t(r.index)], r.factory);
      QVERIFY2(!red(w->txt_data_cfg[size_t(r.index)]), qPrintable(QString::number(r.index)));
    }
    QCOMPARE(w->txt_data_cfg[37]->text(), QString("0,5"));
    QCOMPARE(w->txt_data_cfg[36]->text(), QString("-3"));
    QCOMPARE(w->cmb_cfg[2]->currentText(), QString("12T"));
    QCOMPARE(w->cmb_cfg[59]->currentText(), QString("3"));
    for (int i = 61; i <= 68; ++i)
      QCOMPARE(w->cmb_cfg[size_t(i)]->currentText(), QString("Temp"));
    for (int i = 0; i < 32; ++i)
      QCOMPARE(w->chk_cfg[size_t(i)]->isChecked(), i == 0 || i == 20 || i == 21 || i == 22 || i == 24 || i == 25 ||
                                                        i == 26);
    for (int i = 0; i < 17; ++i)
      QCOMPARE(w->txt_data_out[size_t(i)]->text(), QString("0"));
    // 5 March 2026, 09:07:03: second, minute, hour, day, month, year of the century.
    const char* clock[6] = {"3", "7", "9", "5", "3", "26"};
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(w->txt_data_in[size_t(i)]->text(), QString(clock[i]));
      QVERIFY(red(w->txt_data_in[size_t(i)]));
    }
    // The clock fields differ from the input registers read so far, so the lamp shows a change.
    QCOMPARE(global::LampState, 1);
  }

  void changeMarkingFollowsTheRegisterImage()
  {
    open(1);
    settle();
    QLineEdit* box = w->txt_data_cfg[40];
    box->setText("5");
    QVERIFY(red(box));
    QCOMPARE(global::LampState, 1);
    QCOMPARE(w->Shape1->FillColor(), kRed);
    box->setText("-3");
    QVERIFY(!red(box));
    QCOMPARE(global::LampState, 2);
    QCOMPARE(w->Shape1->FillColor(), kYellow);
    // A green lamp stays green while nothing is marked.
    global::LampState = 0;
    w->SetLampGreen();
    w->func_red_field();
    QCOMPARE(w->Shape1->FillColor(), kGreen);

    // Texts that hold no number keep the field's colour.
    box->setText("7");
    box->setText("");
    QVERIFY(red(box));
    box->setText("-");
    QVERIFY(red(box));
    box->setText("-3");
    QVERIFY(!red(box));

    w->chk_input[3]->setChecked(true);
    QVERIFY(red(w->chk_input[3]));
    w->txt_data_cfg[3]->setText("9");
    w->reset_red_field(true, false);
    QVERIFY(!red(w->txt_data_cfg[3]));
    QVERIFY(red(w->chk_input[3]));
    w->reset_red_field(false, true);
    QVERIFY(!red(w->chk_input[3]));
  }

  void modbusButtonsFollowTheMarks()
  {
    global::AdminFlag = 1;
    frm_config::SetSerialLineFactory([] { return std::make_unique<ScriptedLine>(); });
    open(0);
    frm_config::SetSerialLineFactory(nullptr);
    settle();
    // The buttons need an open port (a closed one is the Modbus window test's case).
    QVERIFY(w->Modbus().MSComm1->SetPortOpen(true) == mscomm::kNoError);
    w->func_red_field();
    QVERIFY(!w->cmd_auslesen->isEnabled());
    w->txt_data_cfg[40]->setText("1");
    QVERIFY(w->cmd_auslesen->isEnabled());
    QVERIFY(w->cmd_paramSchreiben->isEnabled());
    QVERIFY(w->cmd_objektSchreiben->isEnabled());
    global::AdminFlag = 0;
    w->txt_data_cfg[41]->setText("1");
    QVERIFY(w->cmd_auslesen->isEnabled());
    QVERIFY(!w->cmd_paramSchreiben->isEnabled());
    w->txt_data_cfg[41]->setText("0,5");
    w->txt_data_cfg[40]->setText("-3");
    QVERIFY(!w->cmd_auslesen->isEnabled());
    QVERIFY(!w->cmd_objektSchreiben->isEnabled());
  }

  void modbusWriteStartsTheBlockThatChanged()
  {
    global::AdminFlag = 1;
    open(0);
    settle();
    w->cmd_paramSchreiben_Click();
    QCOMPARE(global::SequenceStep, 0);
    QVERIFY(!w->Modbus().Timer1->isActive() && !w->Modbus().Timer2->isActive());

    // A clock display setting goes out with the clock registers after it.
    w->txt_data_cfg[29]->setText("2");
    w->cmd_objektSchreiben_Click();
    QCOMPARE(global::SequenceStep, 2);
    QCOMPARE(global::StartRegister, int16_t(0));
    QVERIFY(w->Modbus().Timer1->isActive());
    for (int i = 0; i <= 5; ++i)
      QVERIFY(red(w->txt_data_in[size_t(i)]));
    QVERIFY(w->Modbus().InputRegsChanged);
    w->Modbus().Timer1->stop();

    settle();
    global::SequenceStep = 0;
    w->txt_data_in[12]->setText("4");
    w->cmd_paramSchreiben_Click();
    QCOMPARE(global::SequenceStep, 5);
    QCOMPARE(global::StartRegister, int16_t(512));
    QVERIFY(w->Modbus().Timer2->isActive());
    QVERIFY(!w->Modbus().Timer1->isActive());
    w->Modbus().Timer2->stop();
  }

  void linkedControlsFollowTheText()
  {
    open(1);
    settle();
    w->txt_data_cfg[2]->setText("8");
    QCOMPARE(w->cmb_cfg[2]->currentIndex(), 2);
    w->txt_data_cfg[2]->setText("6");
    QCOMPARE(w->cmb_cfg[2]->currentIndex(), 2);
    QVERIFY(red(w->cmb_cfg[2]));
    w->txt_data_cfg[59]->setText("2");
    QCOMPARE(w->cmb_cfg[59]->currentIndex(), 1);
    w->txt_data_cfg[33]->setText("0");
    QCOMPARE(w->txt_data_cfg[33]->text(), QString("5"));
    QCOMPARE(global::AnswerDelay, int16_t(5));
    QVERIFY(w->Modbus().AnswerDelayChanged);
    // No entry 9 in a two-entry list: the field keeps its colour.
    QVERIFY(!red(w->txt_data_cfg[20]));
    w->txt_data_cfg[20]->setText("9");
    QVERIFY(!red(w->txt_data_cfg[20]));
    QCOMPARE(w->cmb_cfg[20]->currentIndex(), 1);
    // A cleared temperature-unit bit selects "°F" and marks both controls.
    w->chk_cfg[24]->setChecked(false);
    QCOMPARE(w->cmb_bit_cfg[24]->currentIndex(), 0);
    QVERIFY(red(w->chk_cfg[24]));
    QVERIFY(red(w->cmb_bit_cfg[24]));
    w->txt_data_out[15]->setText("5");
    QCOMPARE(w->lbl_in_val[15]->text(), QString("Auto 1. Stufe"));
    w->txt_data_out[15]->setText("9");
    QCOMPARE(w->lbl_in_val[15]->text(), QString("Auto 1. Stufe"));
    w->txt_data_out[16]->setText("1");
    QCOMPARE(w->lbl_in_val[16]->text(), QString("Raum belegt"));
    w->txt_data_cfg[0]->setText("abc");
    QCOMPARE(w->lbl_cfg_val[0]->text(), QString("abc"));
    w->cmb_in[27]->setCurrentIndex(1);
    QCOMPARE(w->txt_data_in[27]->text(), QString("1"));
    QVERIFY(red(w->txt_data_in[27]));
  }

  void buttonLayoutsShowTheirFrames()
  {
    open(1);
    w->cmb_cfg[2]->setCurrentIndex(2);  // 8T
    w->cmb_cfg[2]->setCurrentIndex(0);  // 2T
    QCOMPARE(w->txt_data_cfg[2]->text(), QString("2"));
    for (const char* f : {"frm_4T_0", "frm_8T_0", "frm_12T", "frm_4T_1", "frm_4T_2", "frm_8T_1", "frm_8T_4"})
      QVERIFY2(!shown(w->frames[f]), f);
    for (int k = 0; k < 3; ++k) {
      QVERIFY(shown(w->Images[0][size_t(k)]));
      QVERIFY(!shown(w->Images[3][size_t(k)]));
    }
    for (int b = 0; b < 12; ++b)
      QCOMPARE(shown(w->Lbl_button[size_t(b)]), b == 4 || b == 5);
    QCOMPARE(w->Lbl_button[4]->height(), forms::Px(1400));

    // 4T with T7's LED on its button, then 8T: T7 stays hidden, T9..T12 follow their LEDs.
    w->cmb_cfg[2]->setCurrentIndex(1);
    QCOMPARE(w->Lbl_button[6]->geometry().top(), forms::Px(3210));
    QCOMPARE(w->Lbl_button[6]->height(), forms::Px(680));
    w->cmb_cfg[22]->setCurrentIndex(1);
    w->cmb_cfg[24]->setCurrentIndex(0);
    QVERIFY(!shown(w->frames["frm_8T_1"]));  // no T9 in a 4T layout
    QCOMPARE(w->txt_data_cfg[24]->text(), QString("0"));
    w->cmb_cfg[2]->setCurrentIndex(2);
    QVERIFY(!shown(w->frames["frm_4T_1"]));
    QVERIFY(shown(w->frames["frm_8T_1"]));
    QVERIFY(!shown(w->frames["frm_8T_2"]));
    QCOMPARE(w->Lbl_button[6]->geometry().top(), forms::Px(2850));
    QCOMPARE(w->Lbl_button[6]->height(), forms::Px(285));
  }

  void unitsAndFanStagesFollowTheirChoice()
  {
    open(1);
    w->cmb_cfg[59]->setCurrentIndex(1);
    QCOMPARE(w->txt_data_cfg[59]->text(), QString("2"));
    QStringList entries;
    for (int i = 0; i < w->cmb_in[26]->count(); ++i)
      entries << w->cmb_in[26]->itemText(i);
    QCOMPARE(entries, design::FanStageTexts(2));

    w->txt_data_cfg[41]->setText("0");
    w->cmb_cfg[62]->setCurrentIndex(2);  // "%"
    QCOMPARE(w->txt_data_cfg[41]->text(), QString("1"));
    QCOMPARE(w->lbl_desc[55]->text(), QString("%"));
    QCOMPARE(w->lbl_desc[38]->text(), QString("%"));
    w->cmb_cfg[62]->setCurrentIndex(0);  // "keine"
    QCOMPARE(w->lbl_desc[55]->text(), QString());
    QCOMPARE(w->UpD_txt_cfg[40]->Max, 999.0);
    QCOMPARE(w->UpD_txt_cfg[41]->Min, 0.0);
    QCOMPARE(w->UpD_txt_cfg[40]->Min, -999.0);

    // °F: absolute labels of "Temp" set points change, relative ones stay "K".
    w->cmb_bit_cfg[24]->setCurrentIndex(0);
    QVERIFY(!w->chk_cfg[24]->isChecked());
    QCOMPARE(w->lbl_temp[1]->text(), QString::fromUtf8("°F"));
    QCOMPARE(w->lbl_desc[33]->text(), QString::fromUtf8("°F"));
    QCOMPARE(w->lbl_desc[54]->text(), QString::fromUtf8("°F"));
    QCOMPARE(w->lbl_desc[51]->text(), QString("K"));
    QCOMPARE(w->lbl_desc[34]->text(), QString::fromUtf8("°F"));
    QCOMPARE(w->lbl_desc[55]->text(), QString());
    QCOMPARE(w->UpD_txt_cfg[35]->Max, 100.0);
  }

  void keyFiltersAndRangeChecks()
  {
    open(1);
    QLineEdit* whole = w->txt_data_cfg[20];
    whole->clear();
    QTest::keyClicks(whole, "1,-2a");
    QCOMPARE(whole->text(), QString("12"));
    QLineEdit* sign = w->txt_data_cfg[36];
    sign->clear();
    QTest::keyClicks(sign, "-1.,2,-");
    QCOMPARE(sign->text(), QString("-1,2"));
    QLineEdit* external = w->txt_data_in[9];
    w->cmb_cfg[66]->setCurrentIndex(2);
    external->clear();
    QTest::keyClicks(external, "-5,5");
    QCOMPARE(external->text(), QString("55"));
    w->cmb_cfg[66]->setCurrentIndex(-1);
    external->clear();
    QTest::keyClicks(external, "abc");
    QCOMPARE(external->text(), QString("abc"));
    w->txt_data_in_LostFocus(9);
    QCOMPARE(external->text(), QString("0"));  // the stored value comes back

    w->txt_data_cfg[5]->setText("150");
    w->txt_data_cfg_LostFocus(5);
    QCOMPARE(w->txt_data_cfg[5]->text(), QString("100"));
    w->txt_data_cfg[60]->setText("256");
    w->txt_data_cfg_LostFocus(60);
    QCOMPARE(w->txt_data_cfg[60]->text(), QString("0"));
  }

  void upDownStepsAndRepeats()
  {
    open(1);
    QLineEdit* box = w->txt_data_cfg[40];
    box->setText("21,5");
    w->UpD_txt_cfg_UpClick(40);
    QCOMPARE(box->text(), QString("21,6"));
    box->setText("99,95");
    w->UpD_txt_cfg_UpClick(40);
    QCOMPARE(box->text(), QString("100"));
    w->txt_data_cfg[3]->setText("70000");
    w->UpD_txt_cfg_DownClick(3);
    QCOMPARE(w->txt_data_cfg[3]->text(), QString("69999"));

    // Holding the upper half of 45: the click adds 0.1, each tick 1. Leaving to the right stops.
    QLineEdit* sp3 = w->txt_data_cfg[45];
    sp3->setText("1");
    UpDownControl* ud = w->UpD_txt_cfg[45];
    QTest::mousePress(ud, Qt::LeftButton, {}, QPoint(ud->width() / 2, 2));
    QCOMPARE(sp3->text(), QString("1,1"));
    QVERIFY(w->Timer->isActive());
    QCOMPARE(w->RepeatIndex, 45.0);
    QVERIFY(w->RepeatUp);
    w->Timer_Timer();
    QCOMPARE(sp3->text(), QString("2,1"));
    w->UpD_txt_cfg_MouseMove(45, -500, -500);
    QVERIFY(w->Timer->isActive());
    w->UpD_txt_cfg_MouseMove(45, 1.3 * ud->width(), 1);
    QVERIFY(!w->Timer->isActive());
    // Exactly on the middle line the repeat steps down.
    w->UpD_txt_cfg_MouseDown(34, 0, ud->height() / 2.0);
    QVERIFY(!w->RepeatUp);
    w->UpD_txt_cfg_MouseUp(34);
    QVERIFY(!w->Timer->isActive());
  }

  void englishTexts()
  {
    global::LanguageCode = "1033";
    open(1);
    w->SetEnglishTexts();
    QCOMPARE(w->windowTitle(), QString("ZOR17_RS485 Configuration"));
    QCOMPARE(w->SSTab1->tabText(0), QString("General"));
    QCOMPARE(w->SSTab1->tabText(8), QString("Monitor"));
    QCOMPARE(w->MenueMain[1]->text(), QString("File"));
    QCOMPARE(w->ParMenueMain[3]->text(), QString("User"));
    QCOMPARE(w->cmd_auslesen->text(), QString("Parameter Download"));
    QCOMPARE(w->cmd_zielWaehlen->text(), QString("Choose Dest."));
    QCOMPARE(w->txt_destDevice->text(), QString("Choose a device!"));
    QCOMPARE(w->lbl_bacMac->text(), QString("Mac address"));
    QCOMPARE(w->lbl_desc[22]->text(), QString("Lock"));
    QCOMPARE(w->lbl_desc[31]->text(), QString("Function:"));
    QCOMPARE(w->lbl_cfg[0]->text(), QString("Device coding:"));
    QCOMPARE(w->lbl_cfg[61]->text(), QString("Unit :"));
    QCOMPARE(w->lbl_cfg[8]->text(), QString("T1:"));
    QCOMPARE(w->lbl_read_in_bit[8]->text(), QString("Fault:"));
    QCOMPARE(w->frames["frm_soll_7"]->title(), QString("Setpoint value without unit 1"));
    QCOMPARE(w->cmb_cfg[8]->itemText(13), QString("0x0D, Fan stage Plus with 'AUTO'"));
    QCOMPARE(w->cmb_cfg[8]->currentIndex(), 0);
    QCOMPARE(w->cmb_cfg[61]->currentText(), QString("Temp"));
    QCOMPARE(w->cmb_in[26]->itemText(4), QString("0xFF00, Auto Off"));
    save_pages("english");
  }

  void administratorMenus()
  {
    global::AdminFlag = 0;
    open(1);
    w->MenueMain_Click(1);
    QVERIFY(!w->ParMenueMain[2]->isEnabled());
    QVERIFY(!w->ParMenueMain[3]->isEnabled());
    QVERIFY(w->ParMenueMain[1]->isEnabled());
    QVERIFY(w->ParMenueMain[5]->isEnabled());
  }

  void exitStopsTheTimersAndEndsTheProgram()
  {
    open(0);
    int loop_ends = 0;
    forms::SetEventLoopEnd([&] { ++loop_ends; });
    QWidget other;
    other.show();
    const modbus::Master& m = w->Modbus();
    const QList<QTimer*> timers = {w->Timer, m.Timer1, m.Timer2, m.Timer4,
                                   m.Timer5, m.Timer6, m.Timer7, w->tmr_bacMonitor};
    for (QTimer* t : timers)
      t->start();
    w->ParMenueMain[5]->trigger();
    forms::SetEventLoopEnd(nullptr);
    QCOMPARE(loop_ends, 1);
    for (QTimer* t : timers)
      QVERIFY2(!t->isActive(), qPrintable(t->objectName()));
    QVERIFY(!w->isVisible());
    QVERIFY(!other.isVisible());
  }

  void zielWaehlenWithoutScanResultShowsTheMessage()
  {
    open(1);
    w->cmd_zielWaehlen_Click();
    QCOMPARE(fx.messages,
             QStringList{QString::fromUtf8("Es konnte keine Geräteliste gefunden werden. Bitte führen Sie zuerst "
                                           "einen Netzwerkscan durch!!")});
  }
};

QTEST_MAIN(ConfigWindowTest)
#include "frm_config_test.moc"
