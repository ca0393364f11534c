// The configuration window's side of the Modbus master over a scripted serial line, the
// master's timers driven by calling their handlers: what the window shows of the link, the
// chains and the monitor, the status window with its durations, cancel and the read-out after
// a write, the close box during a write chain, the address field and the Modbus settings
// dialog. The protocol itself is the master's test (tests/gui/core/modbus_master_test.cpp).
#include "form_fixture.h"
#include "support/modbus_line.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_modbusConfig.h"
#include "gui/forms/frm_status.h"
#include "gui/forms/program_exit.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>

namespace {

const QColor kRed(255, 0, 0);

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

}  // namespace

class ConfigWindowModbusTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_config> w;
  ScriptedLine* line = nullptr;

  void open_window(int modeFlag = 1)
  {
    global::DeviceType = 0;
    global::AdminFlag = 1;
    global::ModbusSettings.ModeFlag = uint8_t(modeFlag);
    w = frm_config::Instance();
    w->show();
    if (line)
      line->unit.hold_read_out_values();
  }

  modbus::Master& m() { return w->Modbus(); }

  // Takes in what the unit answered.
  void poll() { m().Timer4_Timer(); }

  int pump() { return ::pump(m(), *line); }

  void open_port() { w->cmb_modbPort->setCurrentIndex(1); }

  // Opens the port, answers the connection test and runs the whole read-out.
  void read_out()
  {
    open_port();
    pump();
  }

private slots:
  void init()
  {
    fx.start();
    global::DecimalSeparator = ",";
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    frm_config::SetSerialLineFactory([this] {
      auto made = std::make_unique<ScriptedLine>();
      line = made.get();
      return made;
    });
  }
  void cleanup()
  {
    delete frm_config::Existing();
    frm_config::SetSerialLineFactory(nullptr);
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void openingTheRtuPortTestsTheConnection()
  {
    open_window(1);
    line->unit.answers = false;
    open_port();
    QVERIFY(!w->txt_modbAddr->isEnabled());
    QVERIFY(w->chk_monitor->isEnabled());
    QVERIFY(w->cmd_abbrechen->isEnabled());

    // "open" once more repeats the test; "close" closes the port and greys the actions.
    QCoreApplication::processEvents();
    emit w->cmb_modbPort->activated(1);
    QCOMPARE(line->written.size(), 2);
    w->cmb_modbPort->setCurrentIndex(0);
    QVERIFY(!line->PortOpen());
    QVERIFY(w->txt_modbAddr->isEnabled());
    for (QWidget* b : std::initializer_list<QWidget*>{w->cmd_abbrechen, w->cmd_paramSchreiben, w->cmd_objektSchreiben,
                                                     w->cmd_auslesen, w->chk_monitor})
      QVERIFY(!b->isEnabled());
  }

  void aPortThatCannotOpenIsReportedOnce()
  {
    open_window();
    line->open_error = mscomm::kInvalidPortNumber;
    open_port();
    QCOMPARE(fx.messages, QStringList{"COM-Port not available,  8002"});
    QCOMPARE(w->cmb_modbPort->currentIndex(), 0);
    QVERIFY(w->txt_modbAddr->isEnabled());
  }

  // The device goes away under the open port: the selector is back on "close", the lamp
  // turns red and nothing is offered; the next good opening clears the lamp.
  void aLostDeviceClosesThePort()
  {
    open_window();
    open_port();
    const QColor design_colour = w->Shape1->FillColor();
    line->lose();
    QCOMPARE(fx.messages.size(), 1);
    QCOMPARE(w->cmb_modbPort->currentIndex(), 0);
    QVERIFY(w->txt_modbAddr->isEnabled());
    QVERIFY(!w->cmd_auslesen->isEnabled() && !w->chk_monitor->isEnabled());
    QCOMPARE(w->Shape1->FillColor(), kRed);

    open_port();
    QVERIFY(line->PortOpen());
    QCOMPARE(w->Shape1->FillColor(), design_colour);
  }

  void actionsAreOfferedOnlyWhileThePortIsOpen()
  {
    open_window();
    const QList<QWidget*> actions = {w->cmd_auslesen, w->cmd_paramSchreiben, w->cmd_objektSchreiben,
                                     w->cmd_abbrechen, w->chk_monitor};
    auto none_enabled = [&] {
      for (QWidget* a : actions)
        if (a->isEnabled())
          return false;
      return true;
    };
    w->txt_data_cfg[3]->setText("7");  // a changed field, the port still closed
    QVERIFY(marks::IsSet(w->txt_data_cfg[3]));
    QVERIFY(none_enabled());

    read_out();
    frmState::Existing()->close();
    w->txt_data_cfg[3]->setText("9");
    QVERIFY(w->cmd_paramSchreiben->isEnabled());
    w->chk_monitor->setChecked(true);
    // Closing the port while the monitor runs switches the monitor off and offers nothing.
    w->cmb_modbPort->setCurrentIndex(0);
    QVERIFY(!w->chk_monitor->isChecked());
    QVERIFY(none_enabled());
    w->txt_data_cfg[3]->setText("8");
    QVERIFY(none_enabled());
  }

  void bacnetMenuStaysOffAfterAStatusWindow()
  {
    open_window();
    QVERIFY(!w->MenueMain[3]->isEnabled());
    read_out();
    QVERIFY(frmState::Existing());
    frmState::Existing()->close();
    QVERIFY(w->isEnabled());
    QVERIFY(!w->MenueMain[3]->isEnabled());
    QVERIFY(!w->MenueMain[3]->menu()->isEnabled());
    QVERIFY(w->MenueMain[2]->isEnabled());
  }

  void addressFieldTakesDigitsOnly()
  {
    open_window();
    for (int key : {int('a'), int('-'), 13, int(' ')}) {
      int k = key;
      w->txt_modbAddr_KeyPress(k);
      QCOMPARE(k, 0);
    }
    for (int key : {int('0'), int('9'), 8}) {
      int k = key;
      w->txt_modbAddr_KeyPress(k);
      QCOMPARE(k, key);
    }
  }

  void readOutRunsTheWholeChain()
  {
    open_window(1);
    open_port();
    poll();  // the connection test's answer: register 33 holds 5
    QVERIFY(!w->isEnabled());
    frmState* state = frmState::Existing();
    QVERIFY(state && state->isVisible());
    QCOMPARE(state->Timer1SW->interval(), 2100);
    QCOMPARE(state->Timer2SW->interval(), 210);
    QVERIFY(!state->Abbruch->isVisible());

    pump();
    QCOMPARE(global::SequenceStep, 9);
    // The lists beside the fields follow the values read.
    QCOMPARE(w->txt_data_cfg[34]->text(), QString("21,5"));
    QCOMPARE(w->cmb_in[26]->currentIndex(), 2);
    QCOMPARE(w->cmb_bit_cfg[24]->currentIndex(), 1);
    for (int i = 0; i < 73; ++i)
      QVERIFY2(!marks::IsSet(w->txt_data_cfg[size_t(i)]), qPrintable(QString::number(i)));

    // The window's time is over and the chain has ended: it closes and nothing follows.
    state->Timer1SW_Timer();
    QVERIFY(!state->isVisible());
    QVERIFY(w->isEnabled());
    QCOMPARE(global::SequenceStep, 0);
    QCOMPARE(line->written.size(), 12);
  }

  // Ten seconds without a checked answer: the window says so and greys its actions; a good
  // answer ends the report.
  void aSilentUnitIsReported()
  {
    open_window(1);
    line->unit.answers = false;
    open_port();
    m().Timer5_Timer();
    QVERIFY(w->lbl_desc[7]->isVisible());
    QCOMPARE(w->lbl_desc[7]->text(), QString::fromUtf8("Kommunikationsprobleme, bitte Einstellungen überprüfen!"));
    for (QWidget* b : std::initializer_list<QWidget*>{w->chk_monitor, w->cmd_abbrechen, w->cmd_paramSchreiben,
                                                     w->cmd_objektSchreiben, w->cmd_auslesen})
      QVERIFY(!b->isEnabled());

    line->inbox = hex("01030200057847");
    poll();
    QVERIFY(!w->lbl_desc[7]->isVisible());
    // Enabled again, under the status window of the read-out that now starts.
    QVERIFY(w->chk_monitor->isEnabledTo(w));
    QVERIFY(w->cmd_abbrechen->isEnabledTo(w));
    QVERIFY(!w->isEnabled());
  }

  void writeChainLandsInTheUnitAndReadsAgain()
  {
    open_window(1);
    read_out();
    frmState::Existing()->Timer1SW_Timer();
    line->written.clear();

    w->txt_data_cfg[40]->setText("21,5");
    w->txt_data_cfg[33]->setText("7");
    w->txt_data_in[12]->setText("19,5");
    w->chk_input[2]->setChecked(true);
    QVERIFY(w->cmd_paramSchreiben->isEnabled());
    w->cmd_paramSchreiben_Click();
    QCOMPARE(global::SequenceStep, 2);
    QVERIFY(m().InputRegsChanged);
    QVERIFY(m().InputBitsChanged);
    frmState* state = frmState::Existing();
    QVERIFY(state->isVisible());
    QCOMPARE(state->Timer1SW->interval(), 7350);
    QVERIFY(state->Abbruch->isVisible());

    pump();
    QCOMPARE(global::SequenceStep, 8);
    QCOMPARE(line->unit.hr[40], uint16_t(215));
    QVERIFY(!m().AnswerDelayChanged);

    // The window's time is over: the unit is read again, with no write timer left running.
    state->Timer1SW_Timer();
    QCOMPARE(global::SequenceStep, 1);
    QVERIFY(m().Timer6->isActive());
    QVERIFY(!m().Timer1->isActive() && !m().Timer2->isActive());
    QVERIFY(frmState::Existing()->isVisible());
    QCOMPARE(frmState::Existing()->Timer1SW->interval(), 2140);
  }

  void monitorShowsLiveValuesAndButtons()
  {
    open_window(1);
    read_out();
    frmState::Existing()->Timer1SW_Timer();
    line->unit.hr[0x100] = 0xF005;
    line->unit.hr[0x102] = 0x00E1;
    line->unit.hr[0x10F] = 5;
    line->unit.hr[0x110] = 1;
    w->chk_monitor->setChecked(true);
    QVERIFY(m().Timer7->isActive());
    m().Timer7_Timer();
    poll();
    QCOMPARE(w->txt_data_out[0]->text(), QString("61445"));
    QCOMPARE(w->lbl_temp[0]->text(), QString("22,5"));
    QCOMPARE(w->lbl_in_val[15]->text(), QString("Auto 1. Stufe"));
    QCOMPARE(w->lbl_in_val[16]->text(), QString("Raum belegt"));
    for (int j = 0; j < 12; ++j)
      QCOMPARE(w->Lbl_button[size_t(j)]->palette().color(QPalette::Window) == kRed, j == 9 || j == 11);
    w->chk_monitor->setChecked(false);
    QVERIFY(!m().Timer7->isActive());
  }

  void statusWindowDurationsAndCancel()
  {
    open_window(1);
    global::AnswerDelay = 5;
    w->txt_data_cfg[40]->setText("1");
    line->unit.answers = false;
    open_port();
    w->cmd_paramSchreiben_Click();
    frmState* state = frmState::Existing();
    QCOMPARE(state->Timer1SW->interval(), 7350);
    QCOMPARE(state->Timer2SW->interval(), 735);
    for (int i = 0; i < 12; ++i)
      state->Timer2SW_Timer();
    QCOMPARE(state->ProgressFile->value(), 10);
    QCOMPARE(state->lblTxt->text(), QString("Warten ..."));
    QVERIFY(m().Timer1->isActive());
    state->Abbruch_Click();
    QVERIFY(!state->isVisible());
    QVERIFY(!m().Timer1->isActive() && !m().Timer6->isActive() && !m().Timer2->isActive());
    QCOMPARE(global::SequenceStep, 0);
    QVERIFY(w->isEnabled());

    // Input bits only: one basic time.
    global::AnswerDelay = 3;
    global::SequenceStep = 8;
    w->ShowMsgWindow();
    QCOMPARE(frmState::Existing()->Timer1SW->interval(), 206);
    QCOMPARE(frmState::Existing()->Timer2SW->interval(), 21);
    // A delay the 16-bit sum of old would overflow gives a window that runs.
    frmState::Existing()->close();
    global::AnswerDelay = 3000;
    global::SequenceStep = 2;
    w->ShowMsgWindow();
    QCOMPARE(frmState::Existing()->Timer1SW->interval(), 217000);
    QVERIFY(frmState::Existing()->Timer1SW->isActive());
  }

  void closingTheStatusWindowStopsTheRequestTimers()
  {
    open_window(1);
    open_port();
    line->unit.answers = false;
    w->txt_data_cfg[40]->setText("1");
    w->cmd_paramSchreiben_Click();
    m().Timer1_Timer();
    QVERIFY(m().Timer1->isActive());
    frmState::Existing()->close();
    QVERIFY(!m().Timer1->isActive());
    QCOMPARE(global::SequenceStep, 0);
    QVERIFY(w->isEnabled());
  }

  void theStatusWindowWaitsForARunningChain()
  {
    open_window(1);
    open_port();
    poll();
    frmState* state = frmState::Existing();
    QVERIFY(m().Timer6->isActive());
    // Time is over but blocks are still to come: the window stays, full.
    state->Timer1SW_Timer();
    QVERIFY(state->isVisible());
    QCOMPARE(global::SequenceStep, 1);
    QCOMPARE(state->Timer1SW->interval(), 210);
    pump();
    state->Timer1SW_Timer();
    QVERIFY(!state->isVisible());
    QCOMPARE(global::InputBits[3], int16_t(1));

    // A unit that falls silent does not hold the window: the time-out lets it close.
    w->cmd_abbrechen_Click();
    line->unit.answers = false;
    m().Timer6_Timer();
    frmState::Existing()->Timer1SW_Timer();
    QVERIFY(frmState::Existing()->isVisible());
    m().Timer5_Timer();
    frmState::Existing()->Timer1SW_Timer();
    QVERIFY(!frmState::Existing()->isVisible());
    QVERIFY(!m().Timer6->isActive());
  }

  // The close box during a write chain lets the chain finish, so that the unit is not left
  // half-written (register 4 new, register 50 old), and ends the program after it; a line lost
  // or a unit fallen silent on the way is reported before the end. A read-out or the monitor
  // stops at once.
  void theCloseBoxLetsAWriteChainFinish_data()
  {
    QTest::addColumn<QString>("running");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QStringList>("told");  // why the write stopped, message by message
    const QString lost = QString::fromUtf8("COM-Port not available,  8020\r\n"
                                           "Die Verbindung zum Gerät ist abgebrochen (Adapter entfernt?)");
    const QString silent = QString::fromUtf8("Kommunikationsprobleme, bitte Einstellungen überprüfen!");
    QTest::newRow("write chain") << "write" << false << QStringList();
    QTest::newRow("write chain, english") << "write" << true << QStringList();
    QTest::newRow("write chain, line lost") << "line lost" << false << QStringList{lost};
    QTest::newRow("write chain, unit silent") << "unit silent" << false << QStringList{silent};
    // The adapter is pulled while the silent unit's message is open.
    QTest::newRow("write chain, unit silent, then line lost")
        << "unit silent, then line lost" << false << QStringList{silent, lost};
    QTest::newRow("read-out") << "read-out" << false << QStringList();
    QTest::newRow("monitor") << "monitor" << false << QStringList();
  }
  void theCloseBoxLetsAWriteChainFinish()
  {
    QFETCH(QString, running);
    QFETCH(bool, english);
    QFETCH(QStringList, told);
    global::LanguageCode = english ? "1033" : "1031";
    int loop_ends = 0;
    forms::SetEventLoopEnd([&] { ++loop_ends; });
    open_window(1);
    read_out();
    frmState* state = frmState::Existing();
    state->Timer1SW_Timer();
    const bool stops = !told.isEmpty();
    const bool writes = running == "write" || stops;
    if (writes) {
      w->txt_data_cfg[4]->setText("55");
      w->txt_data_cfg[50]->setText("7");
      w->cmd_paramSchreiben_Click();
      m().Timer1_Timer();
      poll();  // block 0 with register 4 is in the unit
      QCOMPARE(line->unit.hr[4], uint16_t(55));
    } else if (running == "read-out") {
      w->cmd_abbrechen_Click();
      m().Timer6_Timer();
    } else {
      w->chk_monitor->setChecked(true);
      m().Timer7_Timer();
    }
    const int sent = int(line->written.size());
    const uint16_t register50 = line->unit.hr[50];

    const bool closed = w->close();
    QCOMPARE(closed, !writes);
    if (stops) {
      // The user learns why the write stopped before the program ends: no end while a message
      // is open.
      int ends_when_told = -1;
      SetMessageHandler([&](const QString&, const QString& text, MsgIcon) {
        fx.messages << text;
        if (running == "unit silent, then line lost" && fx.messages.size() == 1)
          line->lose();
        ends_when_told = std::max(ends_when_told, loop_ends);
      });
      m().Timer1_Timer();
      poll();
      if (running == "line lost") {
        line->lose();
      } else {
        line->unit.answers = false;
        m().Timer1_Timer();
        m().Timer5_Timer();  // ten seconds without an answer
      }
      QCOMPARE(fx.messages, told);
      QCOMPARE(ends_when_told, 0);
      QCOMPARE(loop_ends, 1);
      QVERIFY(!w->isVisible());
      QCOMPARE(line->unit.hr[50], register50);
      fx.messages.clear();
    } else if (running == "write") {
      QVERIFY(w->isVisible());
      QCOMPARE(state->lblTxt->text(), english ? QString("Writing to the unit. The program ends afterwards ...")
                                              : QString("Die Daten werden geschrieben. Danach wird das Programm "
                                                        "beendet ..."));
      QCOMPARE(loop_ends, 0);
      QVERIFY(pump() > 0);
      QCOMPARE(line->unit.hr[50], uint16_t(7));
      QVERIFY(global::ReadyFlag);
      const int chain = int(line->written.size());
      QVERIFY(chain > sent);
      state->Timer1SW_Timer();  // the chain is done: the window closes, and the program ends
      QCOMPARE(loop_ends, 1);
      QVERIFY(!w->isVisible());
      // No read-out follows a write that ends the program.
      QCOMPARE(int(line->written.size()), chain);
    } else {
      QVERIFY(!w->isVisible());
      QCOMPARE(int(line->written.size()), sent);
      QCOMPARE(line->unit.hr[50], register50);
    }
    for (QTimer* t : {m().Timer1, m().Timer2, m().Timer4, m().Timer5, m().Timer6, m().Timer7})
      QVERIFY(!t->isActive());
    QVERIFY(fx.messages.isEmpty());
    forms::SetEventLoopEnd(nullptr);
  }

  void statusWindowSpeaksEnglish()
  {
    open_window(1);
    global::LanguageCode = "1033";
    global::SequenceStep = 1;
    w->ShowMsgWindow();
    frmState* state = frmState::Existing();
    QCOMPARE(state->windowTitle(), QString("State"));
    QCOMPARE(state->Abbruch->text(), QString("Cancel"));
    QCOMPARE(state->lblTxt->text(), QString("Waiting ..."));
    QVERIFY(!state->cmdOK->isVisible());
    QVERIFY(!state->Abbruch->isVisible());
  }

  void showMsgWithStepZeroClosesAtOnce()
  {
    open_window(1);
    global::SequenceStep = 0;
    w->ShowMsgWindow();
    frmState* state = frmState::Existing();
    QVERIFY(!state->Timer1SW->isActive());
    QVERIFY(!state->Timer2SW->isActive());
    QVERIFY(w->isEnabled());
  }

  void cancelButtonReadsTheUnitAgain()
  {
    open_window(1);
    open_port();
    line->unit.answers = false;
    w->cmd_abbrechen_Click();
    QCOMPARE(global::SequenceStep, 1);
    QCOMPARE(global::StartRegister, int16_t(0));
    QVERIFY(m().Timer6->isActive());
    QVERIFY(frmState::Existing()->isVisible());
  }

  void modbusSettingsDialog()
  {
    open_window(1);
    {
      frm_modbConfig dialog(w);
      QCOMPARE(dialog.windowTitle(), QString("Modbus Einstellungen"));
      QCOMPARE(dialog.cmb_mode->currentText(), QString("RTU"));
      QCOMPARE(dialog.cmb_baudrate->currentText(), QString("38400"));
      QCOMPARE(dialog.cmb_comPort->currentText(), QString("COM1"));
      dialog.cmb_mode->setCurrentText("ASCII");
      dialog.cmb_comPort->setCurrentText("COM10");
      dialog.cmb_baudrate->setCurrentText("115200");
      dialog.cmd_uebernehmen_Click();
    }
    QCOMPARE(global::ModbusSettings.ModeFlag, uint8_t(0));
    QCOMPARE(global::ModbusSettings.ComPortNumber, uint8_t(10));
    QCOMPARE(global::ModbusSettings.BaudRate, QString("115200"));
    QCOMPARE(w->txt_modbComPort->text(), QString("COM10"));
    QCOMPARE(w->txt_modbMode->text(), QString("ASCII"));
    QCOMPARE(w->txt_modbBaud->text(), QString("115200"));
    {
      frm_modbConfig dialog(w);
      QCOMPARE(dialog.cmb_comPort->currentText(), QString("COM10"));
      QCOMPARE(dialog.cmb_baudrate->currentIndex(), -1);
      QCOMPARE(dialog.cmb_mode->currentText(), QString("ASCII"));
      // Texts that are no setting change nothing, and the frame keeps showing what holds.
      dialog.cmb_mode->setCurrentText("BIN");
      dialog.cmb_comPort->setCurrentText("COM13");
      dialog.cmb_baudrate->setCurrentText("fast");
      dialog.cmd_uebernehmen_Click();
    }
    QCOMPARE(global::ModbusSettings.ModeFlag, uint8_t(0));
    QCOMPARE(global::ModbusSettings.ComPortNumber, uint8_t(10));
    QCOMPARE(global::ModbusSettings.BaudRate, QString("115200"));
    QCOMPARE(w->txt_modbComPort->text(), QString("COM10"));
    QCOMPARE(w->txt_modbMode->text(), QString("ASCII"));
    QCOMPARE(w->txt_modbBaud->text(), QString("115200"));
    {
      frm_modbConfig dialog(w);
      dialog.cmb_mode->setCurrentText("RTU");
      dialog.cmd_uebernehmen_Click();
    }
    QCOMPARE(global::ModbusSettings.ModeFlag, uint8_t(1));
    // The port is not touched; the new settings hold from the next opening on.
    QVERIFY(!line->PortOpen());
    open_port();
    QCOMPARE(line->CommPort(), 10);
    QCOMPARE(line->Settings(), QString("115200,N,8,1"));
  }
};

QTEST_MAIN(ConfigWindowModbusTest)
#include "frm_config_modbus_test.moc"
