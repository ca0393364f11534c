// The configuration window as Modbus master over a scripted serial line, its timers driven
// by calling their handlers: opening the port and the connection test, the read-out chain
// and the write chain in both framings with every frame byte for byte, answers in pieces,
// bad check sums and exception answers, the time-out, the monitor, the status window and
// the Modbus settings dialog.
#include "form_fixture.h"
#include "modbus_line.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/core/register_rows.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_modbusConfig.h"
#include "gui/forms/frm_status.h"
#include "gui/forms/program_exit.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QColor kRed(255, 0, 0);

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

}  // namespace

class ModbusMasterTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_config> w;
  ScriptedLine* line = nullptr;

  // The unit's registers as a configuration read-out expects them: the factory values.
  void fill_unit()
  {
    for (const rows::ConfigRegisterRow& r : rows::ConfigRegisters()) {
      const double raw = r.index >= 34 && r.index <= 42 ? r.factory * 10 : r.factory;
      line->unit.hr[size_t(r.index)] = uint16_t(int(std::lround(raw)) & 0xFFFF);
    }
    line->unit.hr[33] = 5;
    line->unit.hr[34] = 215;  // 21,5
    line->unit.hr[35] = 0xFFCE;  // -5
    line->unit.hr[20] = 1;
    for (int i = 7; i <= 27; ++i)
      line->unit.hr[size_t(0x200 + i)] = uint16_t(i);
    line->unit.hr[0x200 + 12] = 215;  // 21,5
    line->unit.hr[0x200 + 9] = 0xFF9C;  // -10
    line->unit.hr[0x200 + 26] = 2;
    line->unit.hr[0x200 + 27] = 1;
    line->unit.co[0] = 1;
    line->unit.co[31] = 1;
    line->unit.co[24] = 1;
    line->unit.co[0x100 + 3] = 1;
  }

  void open_window(int modeFlag = 1)
  {
    global::DeviceType = 0;
    global::AdminFlag = 1;
    global::ModbusSettings.ModeFlag = uint8_t(modeFlag);
    w = frm_config::Instance();
    w->show();
    if (line)
      fill_unit();
  }

  // Takes in what the unit answered.
  void poll() { w->Timer4_Timer(); }

  // Runs the window's timers in a fixed order until nothing is left to do: the receive
  // poll when there is input, else the first running request timer.
  int pump(int limit = 200)
  {
    int ticks = 0;
    for (; ticks < limit; ++ticks) {
      if (line->InBufferCount() > 0)
        poll();
      else if (w->Timer1->isActive())
        w->Timer1_Timer();
      else if (w->Timer2->isActive())
        w->Timer2_Timer();
      else if (w->Timer6->isActive())
        w->Timer6_Timer();
      else
        break;
    }
    return ticks;
  }

  void open_port() { w->cmb_modbPort->setCurrentIndex(1); }

  QList<QByteArray> rtu_hex() const
  {
    QList<QByteArray> out;
    for (const QByteArray& f : line->written)
      out << f.toHex().toUpper();
    return out;
  }

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
    QVERIFY(line->PortOpen());
    QCOMPARE(line->Settings(), QString("38400,N,8,1"));
    QCOMPARE(line->InputMode(), 1);
    QCOMPARE(w->Timer4->interval(), 50);
    QVERIFY(w->Timer4->isActive());
    QVERIFY(!w->txt_modbAddr->isEnabled());
    QCOMPARE(global::SequenceStep, 6);
    QCOMPARE(global::StartRegister, int16_t(33));
    QCOMPARE(rtu_hex(), QList<QByteArray>{"010300210001D400"});
    QVERIFY(!global::ReadyFlag);
    QVERIFY(w->Timer5->isActive());
    QCOMPARE(w->Timer5->interval(), 10000);
    QVERIFY(w->chk_monitor->isEnabled());
    QVERIFY(w->cmd_abbrechen->isEnabled());

    // "open" once more repeats the test; "close" closes the port and greys the actions.
    QCoreApplication::processEvents();
    emit w->cmb_modbPort->activated(1);
    QCOMPARE(line->written.size(), 2);
    w->cmb_modbPort->setCurrentIndex(0);
    QVERIFY(!line->PortOpen());
    QVERIFY(!w->Timer4->isActive());
    QVERIFY(w->txt_modbAddr->isEnabled());
    for (QWidget* b : std::initializer_list<QWidget*>{w->cmd_abbrechen, w->cmd_paramSchreiben, w->cmd_objektSchreiben,
                                                     w->cmd_auslesen, w->chk_monitor})
      QVERIFY(!b->isEnabled());
  }

  void openingTheAsciiPortTestsTheConnection()
  {
    open_window(0);
    line->unit.answers = false;
    open_port();
    QCOMPARE(line->Settings(), QString("38400,N,7,1"));
    QCOMPARE(line->InputMode(), 0);
    QCOMPARE(w->Timer4->interval(), 100);
    QCOMPARE(global::ModbusSettings.ModeText, QString("ASCII"));
    QCOMPARE(line->written, QList<QByteArray>{":010300210001DA\r\n"});
  }

  void aPortThatCannotOpenIsReportedOnce()
  {
    open_window();
    line->open_error = mscomm::kInvalidPortNumber;
    open_port();
    QCOMPARE(fx.messages, QStringList{"COM-Port not available,  8002"});
    QCOMPARE(w->cmb_modbPort->currentIndex(), 0);
    QVERIFY(!global::ModbusSettings.PortOpenWish);
    QVERIFY(!line->PortOpen());
    QVERIFY(w->txt_modbAddr->isEnabled());
    QVERIFY(line->written.isEmpty());
  }

  // The device goes away under the open port (socat's end of the pty pair killed, as an
  // unplugged adapter): the port is reported closed like a port that fails to open, the lamp
  // turns red, and nothing polls the line any more; the next good opening clears the lamp.
  void aLostDeviceClosesThePort()
  {
    frm_config::SetSerialLineFactory(nullptr);
    line = nullptr;
    SocatPair pair(fx.folder.toStdString());
    QVERIFY2(pair.ok(), "socat made no pty pair");
    qputenv("ZOR17_COM1", pair.near.c_str());
    open_window();
    open_port();
    QVERIFY2(w->MSComm1->PortOpen(), qPrintable(fx.messages.join("; ")));
    QVERIFY(w->Timer4->isActive());
    QVERIFY(w->Timer5->isActive());  // the connection test waits for its answer
    const QColor design_colour = w->Shape1->FillColor();

    pair.kill_socat();
    QTRY_VERIFY(!w->MSComm1->PortOpen());
    QCOMPARE(fx.messages, QStringList{QString::fromUtf8("COM-Port not available,  8020\r\n"
                                                        "Die Verbindung zum Gerät ist abgebrochen (Adapter "
                                                        "entfernt?)")});
    QCOMPARE(w->cmb_modbPort->currentIndex(), 0);
    QVERIFY(!global::ModbusSettings.PortOpenWish);
    QVERIFY(w->txt_modbAddr->isEnabled());
    QVERIFY(!w->Timer4->isActive());
    QVERIFY(!w->Timer5->isActive());
    QVERIFY(!w->cmd_auslesen->isEnabled() && !w->chk_monitor->isEnabled());
    QCOMPARE(w->Shape1->FillColor(), kRed);
    QTest::qWait(100);
    QCOMPARE(fx.messages.size(), 1);

    QVERIFY(QDir().mkpath(fx.folder + "/plugged-in-again"));
    SocatPair again((fx.folder + "/plugged-in-again").toStdString());
    QVERIFY2(again.ok(), "socat made no pty pair");
    qputenv("ZOR17_COM1", again.near.c_str());
    open_port();
    QVERIFY(w->MSComm1->PortOpen());
    QCOMPARE(w->Shape1->FillColor(), design_colour);
    w->cmb_modbPort->setCurrentIndex(0);
    qunsetenv("ZOR17_COM1");
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

  void aPortWithoutPermissionSaysSo_data()
  {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("reason");
    QTest::newRow("german") << "1031" << QString::fromUtf8("Keine Berechtigung für das Gerät (Gruppe dialout?)");
    QTest::newRow("english") << "1033" << QString("No permission for the device (group dialout?)");
  }
  void aPortWithoutPermissionSaysSo()
  {
    QFETCH(QString, language);
    QFETCH(QString, reason);
    global::LanguageCode = language;
    open_window();
    line->open_error = mscomm::kPermissionDenied;
    open_port();
    QCOMPARE(fx.messages, QStringList{"COM-Port not available,  70\r\n" + reason});
    QVERIFY(!line->PortOpen());
  }

  void noRequestGoesToAnAddressOutsideOneTo247()
  {
    open_window();
    for (const char* address : {"0", "248", "300", ""}) {
      w->txt_modbAddr->setText(address);
      emit w->cmb_modbPort->activated(1);
      QVERIFY2(line->written.isEmpty(), address);
    }
    QCOMPARE(global::SequenceStep, 6);
    // The step procedures keep their step but send nothing either.
    w->func_read_cfg_bits();
    w->func_read_input_bits();
    w->Timer7_Timer();
    QVERIFY(line->written.isEmpty());
    QCOMPARE(global::SequenceStep, 1);
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

  void readOutRunsTheWholeChain_data()
  {
    QTest::addColumn<int>("modeFlag");
    QTest::newRow("RTU") << 1;
    QTest::newRow("ASCII") << 0;
  }

  void readOutRunsTheWholeChain()
  {
    QFETCH(int, modeFlag);
    open_window(modeFlag);
    open_port();
    poll();  // the connection test's answer: register 33 holds 5
    QCOMPARE(global::AnswerDelay, int16_t(5));
    QCOMPARE(global::SequenceStep, 1);
    QCOMPARE(w->Timer1->interval(), 210);
    QCOMPARE(w->Timer2->interval(), 210);
    QCOMPARE(w->Timer6->interval(), 210);
    QCOMPARE(w->Timer7->interval(), 205);
    QVERIFY(w->Timer6->isActive());
    QVERIFY(!w->isEnabled());
    frmState* state = frmState::Existing();
    QVERIFY(state && state->isVisible());
    QCOMPARE(state->Timer1SW->interval(), 2100);
    QCOMPARE(state->Timer2SW->interval(), 210);
    QVERIFY(!state->Abbruch->isVisible());

    pump();
    QCOMPARE(global::SequenceStep, 9);
    QVERIFY(global::ReadyFlag);
    QVERIFY(!w->Timer6->isActive());

    const char* rtu[] = {"010300210001D400", "01030000000AC5CD", "0103000A000AE5CF", "01030014000A85C9",
                         "0103001E000AA5CB", "01030028000A45C5", "01030032000A6402", "0103003C000A05C1",
                         "01030046000A2418", "0101000000203DD2", "010302070015347C", "0101010000103C3A"};
    const char* ascii[] = {":010300210001DA", ":01030000000AF2", ":0103000A000AE8", ":01030014000ADE",
                           ":0103001E000AD4", ":01030028000ACA", ":01030032000AC0", ":0103003C000AB6",
                           ":01030046000AAC", ":010100000020DE", ":010302070015DE", ":010101000010ED"};
    QCOMPARE(line->written.size(), 12);
    for (int i = 0; i < 12; ++i) {
      if (modeFlag == 1)
        QCOMPARE(line->written[i].toHex().toUpper(), QByteArray(rtu[i]));
      else
        QCOMPARE(line->written[i], QByteArray(ascii[i]) + "\r\n");
    }

    // Values, with the scaling of each group, and no field left marked.
    QCOMPARE(w->txt_data_cfg[34]->text(), QString("21,5"));
    QCOMPARE(global::ConfigRegisters[34], 21.5);
    QCOMPARE(w->txt_data_cfg[35]->text(), QString("-5"));
    QCOMPARE(w->txt_data_cfg[20]->text(), QString("1"));
    QCOMPARE(w->txt_data_cfg[33]->text(), QString("5"));
    QCOMPARE(w->txt_data_in[12]->text(), QString("21,5"));
    QCOMPARE(global::InputRegisters[12], 21.5);
    QCOMPARE(w->txt_data_in[9]->text(), QString("-10"));
    QCOMPARE(w->txt_data_in[10]->text(), QString("10"));
    QCOMPARE(w->txt_data_in[26]->text(), QString("2"));
    QCOMPARE(w->cmb_in[26]->currentIndex(), 2);
    for (int k = 0; k < 32; ++k)
      QCOMPARE(w->ConfigBit(k), k == 0 || k == 24 || k == 31 ? 1 : 0);
    QCOMPARE(global::ConfigBits[31], int16_t(1));
    QCOMPARE(w->cmb_bit_cfg[24]->currentIndex(), 1);
    QCOMPARE(w->InputBit(3), 1);
    QCOMPARE(global::InputBits[3], int16_t(1));
    for (int i = 0; i < 73; ++i)
      QVERIFY2(!marks::IsSet(w->txt_data_cfg[size_t(i)]), qPrintable(QString::number(i)));
    for (int i = 7; i < 28; ++i)
      QVERIFY(!marks::IsSet(w->txt_data_in[size_t(i)]));
    for (int k = 0; k < 32; ++k)
      QVERIFY(!marks::IsSet(w->chk_cfg[size_t(k)]));

    // The window's time is over and the chain has ended: it closes and nothing follows.
    state->Timer1SW_Timer();
    QVERIFY(!state->isVisible());
    QVERIFY(w->isEnabled());
    QCOMPARE(global::SequenceStep, 0);
    QCOMPARE(line->written.size(), 12);
  }

  void answersInPiecesAndWithNoiseAreTakenIn()
  {
    open_window(1);
    line->unit.answers = false;
    open_port();
    // Noise, then the answer to the connection test in three pieces.
    line->inbox = hex("55AA01");
    poll();
    QVERIFY(!global::ReadyFlag);
    QCOMPARE(w->AnswerCollector().RxCount(), 1);
    line->inbox = hex("030200");
    poll();
    QVERIFY(!global::ReadyFlag);
    QCOMPARE(w->AnswerCollector().RxExpected(), 7);
    line->inbox = hex("057847");
    poll();
    QVERIFY(global::ReadyFlag);
    QCOMPARE(global::AnswerHex, QString("01030200057847"));
    QCOMPARE(global::SequenceStep, 1);
    QVERIFY(!w->Timer5->isActive());
  }

  void badCheckSumsAndExceptionsAreLeftToTheTimeOut_data()
  {
    QTest::addColumn<int>("modeFlag");
    QTest::addColumn<QByteArray>("bad");
    QTest::addColumn<QByteArray>("good");
    QTest::newRow("RTU bad CRC") << 1 << hex("01030200057848") << hex("01030200057847");
    QTest::newRow("RTU exception") << 1 << hex("018302C0F1") << hex("01030200057847");
    QTest::newRow("ASCII bad LRC") << 0 << QByteArray(":0103020005F6\r\n") << QByteArray(":0103020005F5\r\n");
    QTest::newRow("ASCII exception") << 0 << QByteArray(":0183027A\r\n") << QByteArray(":0103020005F5\r\n");
  }

  void badCheckSumsAndExceptionsAreLeftToTheTimeOut()
  {
    QFETCH(int, modeFlag);
    QFETCH(QByteArray, bad);
    QFETCH(QByteArray, good);
    open_window(modeFlag);
    line->unit.answers = false;
    open_port();
    line->inbox = bad;
    poll();
    QVERIFY(!global::ReadyFlag);
    QCOMPARE(global::SequenceStep, 6);
    QVERIFY(w->Timer5->isActive());
    QVERIFY(!w->Timer6->isActive());

    // Ten seconds without a checked answer.
    w->Timer5_Timer();
    QVERIFY(w->lbl_desc[7]->isVisible());
    QCOMPARE(w->lbl_desc[7]->text(), QString::fromUtf8("Kommunikationsprobleme, bitte Einstellungen überprüfen!"));
    for (QWidget* b : std::initializer_list<QWidget*>{w->chk_monitor, w->cmd_abbrechen, w->cmd_paramSchreiben,
                                                     w->cmd_objektSchreiben, w->cmd_auslesen})
      QVERIFY(!b->isEnabled());
    QVERIFY(w->Timer5->isActive());

    // A good answer ends the report and goes on with the read-out.
    line->inbox = good;
    poll();
    QVERIFY(!w->lbl_desc[7]->isVisible());
    // Enabled again, under the status window of the read-out that now starts.
    QVERIFY(w->chk_monitor->isEnabledTo(w));
    QVERIFY(w->cmd_abbrechen->isEnabledTo(w));
    QVERIFY(!w->isEnabled());
    QVERIFY(!w->Timer5->isActive());
    QCOMPARE(global::SequenceStep, 1);
    QVERIFY(w->Timer6->isActive());
  }

  void writeChainLandsInTheUnitAndReadsAgain_data()
  {
    QTest::addColumn<int>("modeFlag");
    QTest::newRow("RTU") << 1;
    QTest::newRow("ASCII") << 0;
  }

  void writeChainLandsInTheUnitAndReadsAgain()
  {
    QFETCH(int, modeFlag);
    open_window(modeFlag);
    read_out();
    frmState::Existing()->Timer1SW_Timer();
    line->written.clear();

    w->txt_data_cfg[40]->setText("21,5");
    w->txt_data_cfg[20]->setText("0");
    w->txt_data_cfg[33]->setText("7");
    w->chk_cfg[9]->setChecked(true);
    w->txt_data_in[12]->setText("19,5");
    w->txt_data_in[20]->setText("-1");
    w->chk_input[2]->setChecked(true);
    QVERIFY(w->cmd_paramSchreiben->isEnabled());
    w->cmd_paramSchreiben_Click();
    QCOMPARE(global::SequenceStep, 2);
    QVERIFY(w->Timer1->isActive());
    QVERIFY(w->InputRegsChanged);
    QVERIFY(w->InputBitsChanged);
    frmState* state = frmState::Existing();
    QVERIFY(state->isVisible());
    QCOMPARE(state->Timer1SW->interval(), 7350);
    QVERIFY(state->Abbruch->isVisible());

    pump();
    QCOMPARE(global::SequenceStep, 8);
    QVERIFY(!w->Timer1->isActive() && !w->Timer2->isActive());
    QVERIFY(!w->InputBitsChanged);
    const SimulatedUnit& u = line->unit;
    QCOMPARE(u.hr[40], uint16_t(215));
    QCOMPARE(u.hr[20], uint16_t(0));
    QCOMPARE(u.hr[33], uint16_t(7));
    QCOMPARE(u.hr[34], uint16_t(215));  // unchanged values go along unchanged
    QCOMPARE(u.hr[35], uint16_t(0xFFCE));
    QCOMPARE(u.hr[0x200 + 12], uint16_t(195));  // written in tenths, as it is read
    QCOMPARE(u.hr[0x200 + 20], uint16_t(0xFFF6));
    // The clock fields still show the PC's time of the window's start, taken as digits.
    QCOMPARE(u.hr[0x200 + 0], uint16_t(0x03));
    QCOMPARE(u.hr[0x200 + 5], uint16_t(0x26));
    QCOMPARE(u.co[9], uint8_t(1));
    QCOMPARE(u.co[0x100 + 2], uint8_t(1));
    QCOMPARE(u.co[0x100 + 3], uint8_t(1));
    // A changed answer delay retimes the request timers after the write.
    QCOMPARE(global::AnswerDelay, int16_t(7));
    QCOMPARE(w->Timer6->interval(), 164);
    QCOMPARE(w->Timer7->interval(), 157);
    QVERIFY(!w->AnswerDelayChanged);

    // Blocks 0..50, the bits, clock registers 0..5, registers 12 and 20, the input bits.
    QCOMPARE(line->written.size(), 6 + 1 + 6 + 2 + 1);
    const QByteArray expected[] = {
        SimulatedUnit::as_rtu(hex("010F000000200401020081")),
        SimulatedUnit::as_rtu(hex("0110020C00010200C3")),
        SimulatedUnit::as_rtu(hex("01100214000102FFF6")),
        SimulatedUnit::as_rtu(hex("010F0100001002" "0C00")),
    };
    const QByteArray got[] = {line->written[6], line->written[13], line->written[14], line->written[15]};
    for (int i = 0; i < 4; ++i) {
      if (modeFlag == 1)
        QCOMPARE(got[i], expected[i]);
      else
        QCOMPARE(got[i], SimulatedUnit::as_ascii(expected[i].left(expected[i].size() - 2)));
    }

    // The window's time is over: the unit is read again, with no write timer left running.
    state->Timer1SW_Timer();
    QCOMPARE(global::SequenceStep, 1);
    QVERIFY(w->Timer6->isActive());
    QVERIFY(!w->Timer1->isActive() && !w->Timer2->isActive());
    QVERIFY(frmState::Existing()->isVisible());
    QCOMPARE(frmState::Existing()->Timer1SW->interval(), 2140);
  }

  void skippingAnInputRegisterWaitsForTheOutstandingAnswer()
  {
    open_window(1);
    read_out();
    frmState::Existing()->Timer1SW_Timer();
    w->reset_red_field(false, true);
    line->written.clear();
    w->txt_data_in[13]->setText("2");
    w->txt_data_in[14]->setText("3");
    w->cmd_objektSchreiben_Click();
    QCOMPARE(global::SequenceStep, 5);
    line->unit.answers = false;
    // Registers 0..12 are unchanged: one step per tick.
    for (int i = 0; i < 13; ++i)
      w->Timer2_Timer();
    QCOMPARE(global::StartRegister, int16_t(0x200 + 13));
    w->Timer2_Timer();
    QCOMPARE(line->written.size(), 1);
    QCOMPARE(line->written[0].toHex().toUpper().left(18), QByteArray("0110020D0001020014"));
    // Further ticks while the answer is outstanding neither send nor step past 14.
    for (int i = 0; i < 5; ++i)
      w->Timer2_Timer();
    QCOMPARE(global::StartRegister, int16_t(0x200 + 13));
    QCOMPARE(line->written.size(), 1);
    line->inbox = SimulatedUnit::as_rtu(hex("0110020D0001"));
    poll();
    QCOMPARE(global::StartRegister, int16_t(0x200 + 14));
    w->Timer2_Timer();
    QCOMPARE(line->written.size(), 2);
    QCOMPARE(line->written[1].toHex().toUpper().left(18), QByteArray("0110020E000102001E"));
  }

  void aClosedPortIsReportedOncePerSequence()
  {
    open_window(1);
    w->txt_data_cfg[40]->setText("1");
    w->cmd_paramSchreiben_Click();
    for (int i = 0; i < 5; ++i) {
      w->Timer1_Timer();
      global::ReadyFlag = true;
    }
    w->Timer7_Timer();
    w->Timer7_Timer();
    QCOMPARE(fx.messages, QStringList{QString::fromUtf8("Port ist nicht geöffnet")});
    QVERIFY(line->written.isEmpty());
    // Nothing can move on, so the status window does not wait for it.
    QVERIFY(!w->ModbusSequenceBusy());
    // A new sequence may say it again.
    frmState::Existing()->Abbruch_Click();
    w->cmd_abbrechen_Click();
    w->Timer6_Timer();
    QCOMPARE(fx.messages.size(), 2);
  }

  void monitorShowsLiveValuesAndButtons()
  {
    open_window(1);
    read_out();
    frmState::Existing()->Timer1SW_Timer();
    line->written.clear();
    line->unit.hr[0x100] = 0xF005;
    line->unit.hr[0x101] = 0xFFFF;
    line->unit.hr[0x102] = 0x00E1;
    line->unit.hr[0x107] = 0xFFFF;
    line->unit.hr[0x10F] = 5;
    line->unit.hr[0x110] = 1;
    w->chk_monitor->setChecked(true);
    QVERIFY(w->Timer7->isActive());
    w->Timer7_Timer();
    QCOMPARE(line->written[0].toHex().toUpper(), QByteArray("010301000011843A"));
    poll();
    QCOMPARE(w->txt_data_out[0]->text(), QString("61445"));
    QCOMPARE(w->txt_data_out[1]->text(), QString("65535"));
    QCOMPARE(w->txt_data_out[2]->text(), QString("22,5"));
    QCOMPARE(w->lbl_temp[0]->text(), QString("22,5"));
    QCOMPARE(w->txt_data_out[7]->text(), QString("-1"));
    QCOMPARE(w->lbl_in_val[15]->text(), QString("Auto 1. Stufe"));
    QCOMPARE(w->lbl_in_val[16]->text(), QString("Raum belegt"));
    for (int j = 0; j < 12; ++j)
      QCOMPARE(w->Lbl_button[size_t(j)]->palette().color(QPalette::Window) == kRed, j == 9 || j == 11);
    QCOMPARE(global::StartRegister, int16_t(266));

    // Below 0x7000 the indicators go dark instead of failing.
    line->unit.hr[0x100] = 0x0005;
    w->Timer7_Timer();
    poll();
    QCOMPARE(w->txt_data_out[0]->text(), QString("5"));
    for (int j = 0; j < 12; ++j)
      QVERIFY(w->Lbl_button[size_t(j)]->palette().color(QPalette::Window) != kRed);
    w->chk_monitor->setChecked(false);
    QVERIFY(!w->Timer7->isActive());
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
    QVERIFY(w->Timer1->isActive());
    state->Abbruch_Click();
    QVERIFY(!state->isVisible());
    QVERIFY(!w->Timer1->isActive() && !w->Timer6->isActive() && !w->Timer2->isActive());
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
    w->Timer1_Timer();
    QVERIFY(w->Timer1->isActive());
    frmState::Existing()->close();
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(global::SequenceStep, 0);
    QVERIFY(w->isEnabled());
  }

  void theStatusWindowWaitsForARunningChain()
  {
    open_window(1);
    open_port();
    poll();
    frmState* state = frmState::Existing();
    QVERIFY(w->Timer6->isActive());
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
    w->Timer6_Timer();
    frmState::Existing()->Timer1SW_Timer();
    QVERIFY(frmState::Existing()->isVisible());
    w->Timer5_Timer();
    frmState::Existing()->Timer1SW_Timer();
    QVERIFY(!frmState::Existing()->isVisible());
    QVERIFY(!w->Timer6->isActive());
  }

  // The close box during a write chain lets the chain finish, so that the unit is not left
  // half-written (register 4 new, register 50 old), and ends the program after it; a line lost
  // on the way is reported before the end. A read-out or the monitor stops at once.
  void theCloseBoxLetsAWriteChainFinish_data()
  {
    QTest::addColumn<QString>("running");
    QTest::addColumn<bool>("english");
    QTest::newRow("write chain") << "write" << false;
    QTest::newRow("write chain, english") << "write" << true;
    QTest::newRow("write chain, line lost") << "line lost" << false;
    QTest::newRow("read-out") << "read-out" << false;
    QTest::newRow("monitor") << "monitor" << false;
  }
  void theCloseBoxLetsAWriteChainFinish()
  {
    QFETCH(QString, running);
    QFETCH(bool, english);
    global::LanguageCode = english ? "1033" : "1031";
    int loop_ends = 0;
    forms::SetEventLoopEnd([&] { ++loop_ends; });
    open_window(1);
    read_out();
    frmState* state = frmState::Existing();
    state->Timer1SW_Timer();
    const bool writes = running == "write" || running == "line lost";
    if (writes) {
      w->txt_data_cfg[4]->setText("55");
      w->txt_data_cfg[50]->setText("7");
      w->cmd_paramSchreiben_Click();
      w->Timer1_Timer();
      poll();  // block 0 with register 4 is in the unit
      QCOMPARE(line->unit.hr[4], uint16_t(55));
    } else if (running == "read-out") {
      w->cmd_abbrechen_Click();
      w->Timer6_Timer();
    } else {
      w->chk_monitor->setChecked(true);
      w->Timer7_Timer();
    }
    const int sent = int(line->written.size());
    const uint16_t register50 = line->unit.hr[50];

    const bool closed = w->close();
    QCOMPARE(closed, !writes);
    if (running == "line lost") {
      // The user learns why the write stopped before the program ends.
      int ends_when_told = -1;
      SetMessageHandler([&](const QString&, const QString& text, MsgIcon) {
        fx.messages << text;
        ends_when_told = loop_ends;
      });
      w->Timer1_Timer();
      poll();
      line->lose();
      QCOMPARE(fx.messages, QStringList{QString::fromUtf8("COM-Port not available,  8020\r\n"
                                                          "Die Verbindung zum Gerät ist abgebrochen (Adapter "
                                                          "entfernt?)")});
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
    for (QTimer* t : {w->Timer1, w->Timer2, w->Timer4, w->Timer5, w->Timer6, w->Timer7})
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
    QVERIFY(w->Timer6->isActive());
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

QTEST_MAIN(ModbusMasterTest)
#include "frm_config_modbus_test.moc"
