// The configuration window used as a technician uses it, on a real serial line against a
// Modbus slave, with its own timers running: the faults that only show once the unit stops
// answering. The end-to-end tests start the slave (pymodbus on one end of a socat pty pair) and
// run this program with the other end as COM1; on its own, as a unit test, it skips.
// Environment: ZOR17_MODBUS_LIVE (rtu or ascii), ZOR17_COM1 (the device) and
// ZOR17_MODBUS_UNIT_PID (the slave's process, stopped here as a unit loses its power; the case
// that stops it fails without it).
#include "form_fixture.h"
#include "support/modbus_live_case.h"

#include "gui/core/language_texts.h"
#include "gui/core/program_state.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_status.h"
#include "gui/forms/language_forms.h"
#include "gui/forms/program_exit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <signal.h>

namespace {

constexpr int kWaitMs = 20000;

QString problem_label(bool english)
{
  return english ? QString("Communication problems, please check your settings!")
                 : QString::fromUtf8("Kommunikationsprobleme, bitte Einstellungen überprüfen!");
}

}  // namespace

class ConfigModbusE2eTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_config> w;
  int loop_ends = 0;
  int ends_when_told = -1;

  void open_window(bool english, const QString& address)
  {
    global::DeviceType = 0;
    global::AdminFlag = 1;
    global::LanguageCode = english ? "1033" : "1031";
    global::ModbusSettings.ModeFlag = qEnvironmentVariable("ZOR17_MODBUS_LIVE") == "ascii" ? 0 : 1;
    w = frm_config::Instance();
    global::SetEnglishTexts(0);
    w->show();
    w->txt_modbAddr->setText(address);
    w->cmb_modbPort->setCurrentIndex(1);
    QVERIFY2(w->Modbus().PortOpen(), qPrintable(fx.messages.join("; ")));
  }

  void write_registers_4_and_50()
  {
    w->txt_data_cfg[4]->setText("77");
    w->txt_data_cfg[50]->setText("88");
    QVERIFY(w->cmd_paramSchreiben->isEnabled());
    QTest::mouseClick(w->cmd_paramSchreiben, Qt::LeftButton);
    QCOMPARE(global::SequenceStep, 2);
  }

  static void add_language_rows()
  {
    QTest::addColumn<bool>("english");
    QTest::newRow("deutsch") << false;
    QTest::newRow("english") << true;
  }

  // The simulated unit's process, 0 when the lab names none: kill() takes 0 for the caller's
  // whole process group and a negative number for another group, the shell's among them.
  static pid_t unit_pid()
  {
    bool ok = false;
    const int pid = qEnvironmentVariableIntValue("ZOR17_MODBUS_UNIT_PID", &ok);
    return ok && pid > 0 ? pid_t(pid) : 0;
  }

private slots:
  void init()
  {
    if (!start_modbus_live_case(fx))
      return;
    loop_ends = 0;
    ends_when_told = -1;
    forms::SetEventLoopEnd([this] { ++loop_ends; });
    SetMessageHandler([this](const QString&, const QString& text, MsgIcon) {
      fx.messages << text;
      ends_when_told = loop_ends;
    });
  }
  void cleanup()
  {
    delete frm_config::Existing();
    forms::SetEventLoopEnd(nullptr);
    fx.stop();
  }

  // The close box during a write, then the unit stops answering: the write is given up, the
  // user reads why, and the program ends once; the unit keeps what it got.
  void aUnitSilentUnderTheCloseBoxIsReportedBeforeTheEnd_data() { add_language_rows(); }
  void aUnitSilentUnderTheCloseBoxIsReportedBeforeTheEnd()
  {
    QFETCH(bool, english);
    // A lab without the unit's process is set up wrongly; a skip would let its run pass.
    const pid_t unit = unit_pid();
    if (unit == 0)
      QFAIL("ZOR17_MODBUS_UNIT_PID must name the simulated unit's process (a positive PID)");
    open_window(english, "1");
    // The read-out is done and its status window has closed.
    QTRY_VERIFY_WITH_TIMEOUT(global::SequenceStep == 0 && w->isEnabled(), kWaitMs);
    write_registers_4_and_50();
    QTest::qWait(300);
    QVERIFY(!w->close());
    QTest::qWait(400);
    QVERIFY(::kill(unit, SIGSTOP) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(loop_ends, 1, kWaitMs);
    QCOMPARE(fx.messages, QStringList{problem_label(english)});
    QCOMPARE(ends_when_told, 0);
    QTest::qWait(500);
    QCOMPARE(loop_ends, 1);
  }

  // An address no unit answers to: nothing is sent, and the window shows what a silent unit
  // shows.
  void anAddressNoUnitAnswersToGivesTheTimeOut_data() { add_language_rows(); }
  void anAddressNoUnitAnswersToGivesTheTimeOut()
  {
    QFETCH(bool, english);
    open_window(english, "0");
    write_registers_4_and_50();
    QTRY_VERIFY_WITH_TIMEOUT(w->lbl_desc[7]->isVisible(), kWaitMs);
    QCOMPARE(w->lbl_desc[7]->text(), problem_label(english));
    for (QWidget* b : std::initializer_list<QWidget*>{w->chk_monitor, w->cmd_abbrechen, w->cmd_paramSchreiben,
                                                     w->cmd_objektSchreiben, w->cmd_auslesen})
      QVERIFY(!b->isEnabled());
    QVERIFY(fx.messages.isEmpty());
  }
};

QTEST_MAIN(ConfigModbusE2eTest)
#include "frm_config_modbus_e2e_test.moc"
