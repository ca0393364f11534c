// The Modbus master, without the configuration window, against a real Modbus slave on a
// serial line, with its own timers running. The end-to-end tests start the slave (pymodbus on
// one end of a socat pty pair) and run this program with the other end as COM1; on its own,
// as a unit test, it skips. Environment: ZOR17_MODBUS_LIVE (rtu or ascii), ZOR17_COM1 (the
// device), ZOR17_MODBUS_VALUES (the slave's start values, JSON) and ZOR17_MODBUS_DUMP (the
// slave's datastore after each write, JSON).
#include "form_fixture.h"
#include "support/modbus_live_case.h"
#include "support/modbus_standin_window.h"

#include "gui/core/modbus_master.h"
#include "gui/core/pc_clock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QtTest>

#include <cstdio>

namespace {

constexpr int kWaitMs = 20000;

QJsonObject read_json(const QByteArray& variable)
{
  QFile f(qEnvironmentVariable(variable.constData()));
  if (!f.open(QIODevice::ReadOnly))
    return {};
  return QJsonDocument::fromJson(f.readAll()).object();
}

int register_value(const QJsonObject& state, int address)
{
  return state.value("hr").toObject().value(QString::number(address)).toInt(0);
}

int coil_value(const QJsonObject& state, int address)
{
  return state.value("co").toObject().value(QString::number(address)).toInt(0);
}

int16_t signed16(int v) { return int16_t(uint16_t(v)); }

}  // namespace

class ModbusLiveTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  StandInWindow window;
  std::unique_ptr<modbus::Master> master;

  // The master on COM1 as the window starts it: the clock fields show the PC's time, the
  // port is opened.
  void open_port()
  {
    global::DeviceType = 0;
    global::AdminFlag = 1;
    global::ModbusSettings.ModeFlag = qEnvironmentVariable("ZOR17_MODBUS_LIVE") == "ascii" ? 0 : 1;
    window = StandInWindow();
    window.show_pc_clock();
    master = std::make_unique<modbus::Master>(window, nullptr);
    master->PrepareLine();
    master->SelectPort(1);
    QVERIFY2(master->PortOpen(), qPrintable(fx.messages.join("; ")));
  }

  // The read-out has run to its end: its last answer is in.
  bool read_out_done() const
  {
    return global::SequenceStep == 9 && global::ReadyFlag && !master->Timer6->isActive() && !master->SequenceBusy();
  }

  void wait_for_read_out() { QTRY_VERIFY_WITH_TIMEOUT(read_out_done(), kWaitMs); }

  void check_fields_show(const QJsonObject& unit)
  {
    for (int r = 0; r <= 72; ++r) {
      double v = signed16(register_value(unit, r));
      if (r >= 34 && r <= 42)
        v /= 10;
      if (r == 33 && v < 1)
        v = 5;
      QCOMPARE(global::ConfigRegisters[size_t(r)], v);
      QVERIFY2(!window.is_marked(modbus::Mark::ConfigText, r), qPrintable(QString::number(r)));
    }
    for (int i = 7; i <= 27; ++i) {
      double v = signed16(register_value(unit, 0x200 + i));
      if (i == 7 || i == 8 || i == 9 || i == 12 || i == 13 || i == 14 || i == 15 || i == 20 || i == 21)
        v /= 10;
      QCOMPARE(global::InputRegisters[size_t(i)], v);
    }
    for (int k = 0; k < 32; ++k) {
      QCOMPARE(int(global::ConfigBits[size_t(k)]), coil_value(unit, k));
      QCOMPARE(window.ConfigBit(k), coil_value(unit, k));
    }
    for (int k = 0; k < 16; ++k)
      QCOMPARE(window.InputBit(k), coil_value(unit, 0x100 + k));
  }

private slots:
  void init()
  {
    if (!start_modbus_live_case(fx))
      return;
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
  }
  void cleanup()
  {
    master.reset();
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void readOutShowsTheUnitsValues()
  {
    open_port();
    wait_for_read_out();
    check_fields_show(read_json("ZOR17_MODBUS_VALUES"));
    QCOMPARE(window.config[34], QString("21,5"));
    QVERIFY(fx.messages.isEmpty());
  }

  void writeChainLandsInTheUnit()
  {
    open_port();
    wait_for_read_out();
    window.edit_config(40, "21,5");
    window.edit_config(20, "0");
    window.edit_config(33, "7");
    master->AnswerDelayChanged = true;  // as the change handling of register 33 sets it
    window.check_config(9);
    window.edit_input(12, "19,5");
    window.edit_input(20, "-1");
    window.check_input(2);
    master->StartWrite();
    QCOMPARE(global::SequenceStep, 2);
    // The write ends with the input bits; then the unit is read again, as the status window
    // has it read when it closes.
    QTRY_VERIFY_WITH_TIMEOUT(coil_value(read_json("ZOR17_MODBUS_DUMP"), 0x102) == 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(global::SequenceStep == 8 && global::ReadyFlag && !master->SequenceBusy(), kWaitMs);
    master->StopRequestTimers();
    global::SequenceStep = 0;
    master->func_read_out_parameter();
    wait_for_read_out();
    const QJsonObject unit = read_json("ZOR17_MODBUS_DUMP");
    QCOMPARE(register_value(unit, 40), 215);
    QCOMPARE(register_value(unit, 0x200 + 12), 195);
    check_fields_show(unit);
    QCOMPARE(window.input[12], QString("19,5"));
    QCOMPARE(window.config[40], QString("21,5"));
    QCOMPARE(global::AnswerDelay, int16_t(7));
    // The changed answer delay retimed the request timers at the end of the write.
    QCOMPARE(master->Timer6->interval(), 164);
    QVERIFY(fx.messages.isEmpty());
  }

  void monitorDecodesLiveValues()
  {
    open_port();
    wait_for_read_out();
    master->StartMonitor();
    QTRY_COMPARE_WITH_TIMEOUT(window.output[0], QString("61445"), kWaitMs);
    QCOMPARE(window.output[2], QString("22,5"));
    QCOMPARE(window.temperature, QString("22,5"));
    QCOMPARE(window.output[15], QString("5"));
    for (int j = 0; j < 12; ++j)
      QCOMPARE(window.buttons[size_t(j)], j == 9 || j == 11);
    master->StopMonitor();
    QVERIFY(!master->Timer7->isActive());
  }

  void silenceGivesTheTimeOut()
  {
    open_port();
    QCOMPARE(global::SequenceStep, 6);
    QVERIFY(master->Timer5->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(window.problem_shown, kWaitMs);
    QCOMPARE(global::SequenceStep, 6);
    QVERIFY(!global::ReadyFlag);
  }

  // For the benchmark: how long the read-out takes from opening the port to its last answer.
  void readOutDuration()
  {
    QElapsedTimer clock;
    clock.start();
    open_port();
    QTRY_VERIFY_WITH_TIMEOUT(global::SequenceStep == 9 && global::ReadyFlag, kWaitMs);
    std::printf("readout_ms=%lld\n", static_cast<long long>(clock.elapsed()));
    std::fflush(stdout);
  }
};

QTEST_MAIN(ModbusLiveTest)
#include "frm_config_modbus_live_test.moc"
