// The configuration window against a real Modbus slave on a serial line, with its own
// timers running. The end-to-end tests start the slave (pymodbus on one end of a socat pty
// pair) and run this program with the other end as COM1; on its own, as a unit test, it
// skips. Environment: ZOR17_MODBUS_LIVE (rtu or ascii), ZOR17_COM1 (the device),
// ZOR17_MODBUS_VALUES (the slave's start values, JSON) and ZOR17_MODBUS_DUMP (the slave's
// datastore after each write, JSON).
#include "form_fixture.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_status.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
  QPointer<frm_config> w;

  void open_window()
  {
    global::DeviceType = 0;
    global::AdminFlag = 1;
    global::ModbusSettings.ModeFlag = qEnvironmentVariable("ZOR17_MODBUS_LIVE") == "ascii" ? 0 : 1;
    w = frm_config::Instance();
    w->show();
    w->cmb_modbPort->setCurrentIndex(1);
    QVERIFY2(w->MSComm1->PortOpen(), qPrintable(fx.messages.join("; ")));
  }

  // The read-out has run to its end and its status window is gone.
  bool read_out_done() const
  {
    const frmState* state = frmState::Existing();
    return global::SequenceStep == 0 && global::ReadyFlag && !w->Timer6->isActive() && w->isEnabled() &&
           (!state || !state->isVisible());
  }

  void wait_for_read_out()
  {
    QTRY_VERIFY_WITH_TIMEOUT(global::SequenceStep == 9 && global::ReadyFlag, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(read_out_done(), kWaitMs);
  }

  void check_fields_show(const QJsonObject& unit)
  {
    for (int r = 0; r <= 72; ++r) {
      double v = signed16(register_value(unit, r));
      if (r >= 34 && r <= 42)
        v /= 10;
      if (r == 33 && v < 1)
        v = 5;
      QCOMPARE(global::ConfigRegisters[size_t(r)], v);
      QVERIFY2(!marks::IsSet(w->txt_data_cfg[size_t(r)]), qPrintable(QString::number(r)));
    }
    for (int i = 7; i <= 27; ++i) {
      double v = signed16(register_value(unit, 0x200 + i));
      if (i == 7 || i == 8 || i == 9 || i == 12 || i == 13 || i == 14 || i == 15 || i == 20 || i == 21)
        v /= 10;
      QCOMPARE(global::InputRegisters[size_t(i)], v);
    }
    for (int k = 0; k < 32; ++k) {
      QCOMPARE(int(global::ConfigBits[size_t(k)]), coil_value(unit, k));
      QCOMPARE(w->ConfigBit(k), coil_value(unit, k));
    }
    for (int k = 0; k < 16; ++k)
      QCOMPARE(w->InputBit(k), coil_value(unit, 0x100 + k));
  }

private slots:
  void init()
  {
    if (qEnvironmentVariableIsEmpty("ZOR17_MODBUS_LIVE"))
      QSKIP("runs against the Modbus slave of the end-to-end tests");
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

  void readOutShowsTheUnitsValues()
  {
    open_window();
    wait_for_read_out();
    check_fields_show(read_json("ZOR17_MODBUS_VALUES"));
    QCOMPARE(w->txt_data_cfg[34]->text(), QString("21,5"));
    QVERIFY(fx.messages.isEmpty());
  }

  void writeChainLandsInTheUnit()
  {
    open_window();
    wait_for_read_out();
    w->txt_data_cfg[40]->setText("21,5");
    w->txt_data_cfg[20]->setText("0");
    w->txt_data_cfg[33]->setText("7");
    w->chk_cfg[9]->setChecked(true);
    w->txt_data_in[12]->setText("19,5");
    w->txt_data_in[20]->setText("-1");
    w->chk_input[2]->setChecked(true);
    w->cmd_paramSchreiben->click();
    QCOMPARE(global::SequenceStep, 2);
    // The write ends with the input bits; closing its status window reads the unit again.
    QTRY_VERIFY_WITH_TIMEOUT(coil_value(read_json("ZOR17_MODBUS_DUMP"), 0x102) == 1, kWaitMs);
    wait_for_read_out();
    const QJsonObject unit = read_json("ZOR17_MODBUS_DUMP");
    QCOMPARE(register_value(unit, 40), 215);
    QCOMPARE(register_value(unit, 0x200 + 12), 195);
    check_fields_show(unit);
    QCOMPARE(w->txt_data_in[12]->text(), QString("19,5"));
    QCOMPARE(w->txt_data_cfg[40]->text(), QString("21,5"));
    QCOMPARE(global::AnswerDelay, int16_t(7));
    // The changed answer delay retimed the request timers at the end of the write.
    QCOMPARE(w->Timer6->interval(), 164);
    QVERIFY(fx.messages.isEmpty());
  }

  void monitorDecodesLiveValues()
  {
    open_window();
    wait_for_read_out();
    w->chk_monitor->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(w->txt_data_out[0]->text(), QString("61445"), kWaitMs);
    QCOMPARE(w->txt_data_out[2]->text(), QString("22,5"));
    QCOMPARE(w->lbl_temp[0]->text(), QString("22,5"));
    QCOMPARE(w->lbl_in_val[15]->text(), QString("Auto 1. Stufe"));
    for (int j = 0; j < 12; ++j)
      QCOMPARE(w->Lbl_button[size_t(j)]->palette().color(QPalette::Window) == QColor(255, 0, 0), j == 9 || j == 11);
    w->chk_monitor->setChecked(false);
    QVERIFY(!w->Timer7->isActive());
  }

  void silenceGivesTheTimeOut()
  {
    open_window();
    QCOMPARE(global::SequenceStep, 6);
    QVERIFY(w->Timer5->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!w->lbl_desc[7]->isHidden(), kWaitMs);
    QVERIFY(!w->chk_monitor->isEnabled());
    QVERIFY(!w->cmd_auslesen->isEnabled());
    QCOMPARE(global::SequenceStep, 6);
    QVERIFY(!global::ReadyFlag);
  }

  // For the benchmark: how long the read-out takes from opening the port to its last answer.
  void readOutDuration()
  {
    QElapsedTimer clock;
    clock.start();
    open_window();
    QTRY_VERIFY_WITH_TIMEOUT(global::SequenceStep == 9 && global::ReadyFlag, kWaitMs);
    std::printf("readout_ms=%lld\n", static_cast<long long>(clock.elapsed()));
    std::fflush(stdout);
  }
};

QTEST_MAIN(ModbusLiveTest)
#include "frm_config_modbus_live_test.moc"
