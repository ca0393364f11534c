// The Modbus master without a window, over the scripted line with its simulated unit, its
// timers driven by calling their handlers: opening the port and the connection test, the
// read-out chain and the write chain in both framings with every frame byte for byte, answers
// in pieces, bad check sums and exception answers, the time-out, the monitor, and a port that
// fails to open or whose device goes away (a socat pair whose socat is killed).
#include "core_fixture.h"
#include "support/modbus_line.h"
#include "support/modbus_standin_window.h"

#include "gui/core/modbus_master.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <unistd.h>

using modbus::Mark;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// Runs the event loop until the condition holds, for at most five seconds.
bool events_until(const std::function<bool()>& condition)
{
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    usleep(2000);
  }
  return condition();
}

void events_for(int ms)
{
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class ModbusMaster : public coretest::ProgramFolderTest {
protected:
  void SetUp() override
  {
    ProgramFolderTest::SetUp();
    global::DecimalSeparator = ",";
    global::DeviceType = 0;
    global::AdminFlag = 1;
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
  }
  void TearDown() override
  {
    master.reset();
    pc_clock::SetClock(nullptr);
    qunsetenv("ZOR17_COM1");
    ProgramFolderTest::TearDown();
  }

  // A master on the scripted line, the unit holding what a read-out expects.
  void start(int modeFlag = 1)
  {
    global::ModbusSettings.ModeFlag = uint8_t(modeFlag);
    auto made = std::make_unique<ScriptedLine>();
    line = made.get();
    master = std::make_unique<modbus::Master>(window, std::move(made));
    master->PrepareLine();
    line->unit.hold_read_out_values();
  }

  // Takes in what the unit answered.
  void poll() { master->Timer4_Timer(); }

  int pump() { return ::pump(*master, *line); }

  void open_port() { master->SelectPort(1); }

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

  StandInWindow window;
  ScriptedLine* line = nullptr;
  std::unique_ptr<modbus::Master> master;
};

// Framing 1 RTU, 0 ASCII.
class ModbusMasterFraming : public ModbusMaster, public ::testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(Both, ModbusMasterFraming, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& info) { return info.param == 1 ? "RTU" : "ASCII"; });

}  // namespace

TEST_F(ModbusMaster, OpeningTheRtuPortTestsTheConnection)
{
  start(1);
  line->unit.answers = false;
  open_port();
  EXPECT_TRUE(line->PortOpen());
  EXPECT_EQ(line->Settings(), "38400,N,8,1");
  EXPECT_EQ(line->InputMode(), 1);
  EXPECT_EQ(master->Timer4->interval(), 50);
  EXPECT_TRUE(master->Timer4->isActive());
  EXPECT_FALSE(window.address_editable);
  EXPECT_EQ(global::SequenceStep, 6);
  EXPECT_EQ(global::StartRegister, int16_t(33));
  EXPECT_EQ(rtu_hex(), QList<QByteArray>{"010300210001D400"});
  EXPECT_FALSE(global::ReadyFlag);
  EXPECT_TRUE(master->Timer5->isActive());
  EXPECT_EQ(master->Timer5->interval(), 10000);
  // The monitor and the cancel button are offered.
  EXPECT_TRUE(window.link_open);

  // "open" once more repeats the test; "close" closes the port and offers nothing.
  open_port();
  EXPECT_EQ(line->written.size(), 2);
  master->SelectPort(0);
  EXPECT_FALSE(line->PortOpen());
  EXPECT_FALSE(master->Timer4->isActive());
  EXPECT_TRUE(window.address_editable);
  EXPECT_FALSE(window.link_open);
}

TEST_F(ModbusMaster, OpeningTheAsciiPortTestsTheConnection)
{
  start(0);
  line->unit.answers = false;
  open_port();
  EXPECT_EQ(line->Settings(), "38400,N,7,1");
  EXPECT_EQ(line->InputMode(), 0);
  EXPECT_EQ(master->Timer4->interval(), 100);
  EXPECT_EQ(global::ModbusSettings.ModeText, "ASCII");
  EXPECT_EQ(line->written, QList<QByteArray>{":010300210001DA\r\n"});
}

TEST_F(ModbusMaster, APortThatCannotOpenIsReportedOnce)
{
  start();
  line->open_error = mscomm::kInvalidPortNumber;
  open_port();
  EXPECT_EQ(message_texts(), std::vector<std::string>{"COM-Port not available,  8002"});
  EXPECT_EQ(window.port_choice_resets, 1);  // the selector back on "close"
  EXPECT_FALSE(global::ModbusSettings.PortOpenWish);
  EXPECT_FALSE(line->PortOpen());
  EXPECT_TRUE(window.address_editable);
  EXPECT_TRUE(line->written.isEmpty());
}

TEST_F(ModbusMaster, APortWithoutPermissionSaysSo)
{
  const std::pair<const char*, const char*> rows[] = {
      {"1031", "Keine Berechtigung für das Gerät (Gruppe dialout?)"},
      {"1033", "No permission for the device (group dialout?)"},
  };
  for (const auto& [language, reason] : rows) {
    SCOPED_TRACE(language);
    messages_.clear();
    global::LanguageCode = language;
    start();
    line->open_error = mscomm::kPermissionDenied;
    open_port();
    EXPECT_EQ(message_texts(), std::vector<std::string>{std::string("COM-Port not available,  70\r\n") + reason});
    EXPECT_FALSE(line->PortOpen());
  }
}

// The device goes away under the open port (socat's end of the pty pair killed, as an
// unplugged adapter): the port is reported closed like a port that fails to open, and nothing
// polls the line any more; a new device opens again.
TEST_F(ModbusMaster, ALostDeviceClosesThePort)
{
  SocatPair pair(folder_.toStdString());
  ASSERT_TRUE(pair.ok()) << "socat made no pty pair";
  qputenv("ZOR17_COM1", pair.near.c_str());
  master = std::make_unique<modbus::Master>(window, nullptr);
  master->PrepareLine();
  open_port();
  ASSERT_TRUE(master->MSComm1->PortOpen()) << ::testing::PrintToString(message_texts());
  EXPECT_TRUE(master->Timer4->isActive());
  EXPECT_TRUE(master->Timer5->isActive());  // the connection test waits for its answer

  pair.kill_socat();
  ASSERT_TRUE(events_until([this] { return !master->MSComm1->PortOpen(); }));
  EXPECT_EQ(message_texts(), std::vector<std::string>{"COM-Port not available,  8020\r\n"
                                                      "Die Verbindung zum Gerät ist abgebrochen (Adapter entfernt?)"});
  EXPECT_EQ(window.port_choice_resets, 1);
  EXPECT_FALSE(global::ModbusSettings.PortOpenWish);
  EXPECT_TRUE(window.address_editable);
  EXPECT_FALSE(master->Timer4->isActive());
  EXPECT_FALSE(master->Timer5->isActive());
  EXPECT_FALSE(window.link_open);
  EXPECT_EQ(window.losses, QStringList({"lost", "reported"}));
  events_for(100);
  EXPECT_EQ(messages_.size(), 1u);

  ASSERT_TRUE(QDir().mkpath(folder_ + "/plugged-in-again"));
  SocatPair again((folder_ + "/plugged-in-again").toStdString());
  ASSERT_TRUE(again.ok()) << "socat made no pty pair";
  qputenv("ZOR17_COM1", again.near.c_str());
  open_port();
  EXPECT_TRUE(master->MSComm1->PortOpen());
  EXPECT_TRUE(window.link_open);
  master->SelectPort(0);
}

TEST_F(ModbusMaster, NoRequestGoesToAnAddressOutsideOneTo247)
{
  // Such an address is reported as a unit that does not answer; an empty field says nothing.
  const std::pair<const char*, bool> rows[] = {{"0", true}, {"248", true}, {"255", true}, {"300", true}, {"", false}};
  for (const auto& [address, times_out] : rows) {
    SCOPED_TRACE(address);
    window = StandInWindow();
    start();
    window.address = address;
    open_port();
    EXPECT_TRUE(line->written.isEmpty());
    EXPECT_EQ(master->Timer5->isActive(), times_out);
    EXPECT_EQ(master->SequenceBusy(), times_out);
  }
  EXPECT_EQ(global::SequenceStep, 6);
  // The step procedures keep their step but send nothing either.
  master->func_read_cfg_bits();
  master->func_read_input_bits();
  master->Timer7_Timer();
  EXPECT_TRUE(line->written.isEmpty());
  EXPECT_EQ(global::SequenceStep, 1);
}

TEST_P(ModbusMasterFraming, ReadOutRunsTheWholeChain)
{
  const int modeFlag = GetParam();
  start(modeFlag);
  // Whatever the user had changed, the read-out shows the unit's values unmarked.
  for (int i = 0; i < ConfigRegisterCount; ++i)
    window.edit_config(i, "1");
  for (int i = 7; i < InputRegisterTableSize; ++i)
    window.edit_input(i, "1");
  for (int k = 0; k < ConfigBitCount; ++k)
    window.marked.insert({Mark::ConfigBit, k});
  open_port();
  poll();  // the connection test's answer: register 33 holds 5
  EXPECT_EQ(global::AnswerDelay, int16_t(5));
  EXPECT_EQ(global::SequenceStep, 1);
  EXPECT_EQ(master->Timer1->interval(), 210);
  EXPECT_EQ(master->Timer2->interval(), 210);
  EXPECT_EQ(master->Timer6->interval(), 210);
  EXPECT_EQ(master->Timer7->interval(), 205);
  EXPECT_TRUE(master->Timer6->isActive());
  EXPECT_EQ(window.status_windows, 1);

  pump();
  EXPECT_EQ(global::SequenceStep, 9);
  EXPECT_TRUE(global::ReadyFlag);
  EXPECT_FALSE(master->Timer6->isActive());

  const char* rtu[] = {"010300210001D400", "01030000000AC5CD", "0103000A000AE5CF", "01030014000A85C9",
                       "0103001E000AA5CB", "01030028000A45C5", "01030032000A6402", "0103003C000A05C1",
                       "01030046000A2418", "0101000000203DD2", "010302070015347C", "0101010000103C3A"};
  const char* ascii[] = {":010300210001DA", ":01030000000AF2", ":0103000A000AE8", ":01030014000ADE",
                         ":0103001E000AD4", ":01030028000ACA", ":01030032000AC0", ":0103003C000AB6",
                         ":01030046000AAC", ":010100000020DE", ":010302070015DE", ":010101000010ED"};
  ASSERT_EQ(line->written.size(), 12);
  for (int i = 0; i < 12; ++i) {
    if (modeFlag == 1)
      EXPECT_EQ(line->written[i].toHex().toUpper(), QByteArray(rtu[i]));
    else
      EXPECT_EQ(line->written[i], QByteArray(ascii[i]) + "\r\n");
  }

  // Values, with the scaling of each group, and no field left marked.
  EXPECT_EQ(window.config[34], "21,5");
  EXPECT_EQ(global::ConfigRegisters[34], 21.5);
  EXPECT_EQ(window.config[35], "-5");
  EXPECT_EQ(window.config[20], "1");
  EXPECT_EQ(window.config[33], "5");
  EXPECT_EQ(window.input[12], "21,5");
  EXPECT_EQ(global::InputRegisters[12], 21.5);
  EXPECT_EQ(window.input[9], "-10");
  EXPECT_EQ(window.input[10], "10");
  EXPECT_EQ(window.input[26], "2");
  for (int k = 0; k < 32; ++k)
    EXPECT_EQ(window.config_bits[size_t(k)], k == 0 || k == 24 || k == 31 ? 1 : 0) << k;
  EXPECT_EQ(global::ConfigBits[31], int16_t(1));
  EXPECT_EQ(window.input_bits[3], 1);
  EXPECT_EQ(global::InputBits[3], int16_t(1));
  for (int i = 0; i < 73; ++i)
    EXPECT_FALSE(window.is_marked(Mark::ConfigText, i)) << i;
  for (int i = 7; i < 28; ++i)
    EXPECT_FALSE(window.is_marked(Mark::InputText, i)) << i;
  for (int k = 0; k < 32; ++k)
    EXPECT_FALSE(window.is_marked(Mark::ConfigBit, k)) << k;
}

TEST_F(ModbusMaster, AnswersInPiecesAndWithNoiseAreTakenIn)
{
  start(1);
  line->unit.answers = false;
  open_port();
  // Noise, then the answer to the connection test in three pieces.
  line->inbox = hex("55AA01");
  poll();
  EXPECT_FALSE(global::ReadyFlag);
  EXPECT_EQ(master->Collector().RxCount(), 1);
  line->inbox = hex("030200");
  poll();
  EXPECT_FALSE(global::ReadyFlag);
  EXPECT_EQ(master->Collector().RxExpected(), 7);
  line->inbox = hex("057847");
  poll();
  EXPECT_TRUE(global::ReadyFlag);
  EXPECT_EQ(global::AnswerHex, "01030200057847");
  EXPECT_EQ(global::SequenceStep, 1);
  EXPECT_FALSE(master->Timer5->isActive());
}

TEST_F(ModbusMaster, BadCheckSumsAndExceptionsAreLeftToTheTimeOut)
{
  struct Row {
    const char* name;
    int modeFlag;
    QByteArray bad, good;
  };
  const Row rows[] = {
      {"RTU bad CRC", 1, hex("01030200057848"), hex("01030200057847")},
      {"RTU exception", 1, hex("018302C0F1"), hex("01030200057847")},
      {"ASCII bad LRC", 0, ":0103020005F6\r\n", ":0103020005F5\r\n"},
      {"ASCII exception", 0, ":0183027A\r\n", ":0103020005F5\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    window = StandInWindow();
    start(row.modeFlag);
    line->unit.answers = false;
    open_port();
    line->inbox = row.bad;
    poll();
    EXPECT_FALSE(global::ReadyFlag);
    EXPECT_EQ(global::SequenceStep, 6);
    EXPECT_TRUE(master->Timer5->isActive());
    EXPECT_FALSE(master->Timer6->isActive());

    // Ten seconds without a checked answer: the window shows the problem.
    master->Timer5_Timer();
    EXPECT_TRUE(window.problem_shown);
    EXPECT_TRUE(master->Timer5->isActive());

    // A good answer ends the report and goes on with the read-out.
    line->inbox = row.good;
    poll();
    EXPECT_FALSE(window.problem_shown);
    EXPECT_EQ(window.status_windows, 1);
    EXPECT_FALSE(master->Timer5->isActive());
    EXPECT_EQ(global::SequenceStep, 1);
    EXPECT_TRUE(master->Timer6->isActive());
  }
}

TEST_P(ModbusMasterFraming, WriteChainLandsInTheUnit)
{
  const int modeFlag = GetParam();
  start(modeFlag);
  window.show_pc_clock();
  read_out();
  line->written.clear();

  window.edit_config(40, "21,5");
  window.edit_config(20, "0");
  window.edit_config(33, "7");
  master->AnswerDelayChanged = true;  // as the change handling of register 33 sets it
  window.check_config(9);
  window.edit_input(12, "19,5");
  window.edit_input(20, "-1");
  window.check_input(2);
  master->StartWrite();
  EXPECT_EQ(global::SequenceStep, 2);
  EXPECT_TRUE(master->Timer1->isActive());
  EXPECT_TRUE(master->InputRegsChanged);
  EXPECT_TRUE(master->InputBitsChanged);
  EXPECT_EQ(window.status_windows, 2);

  pump();
  EXPECT_EQ(global::SequenceStep, 8);
  EXPECT_FALSE(master->Timer1->isActive() || master->Timer2->isActive());
  EXPECT_FALSE(master->InputBitsChanged);
  const SimulatedUnit& u = line->unit;
  EXPECT_EQ(u.hr[40], uint16_t(215));
  EXPECT_EQ(u.hr[20], uint16_t(0));
  EXPECT_EQ(u.hr[33], uint16_t(7));
  EXPECT_EQ(u.hr[34], uint16_t(215));  // unchanged values go along unchanged
  EXPECT_EQ(u.hr[35], uint16_t(0xFFCE));
  EXPECT_EQ(u.hr[0x200 + 12], uint16_t(195));  // written in tenths, as it is read
  EXPECT_EQ(u.hr[0x200 + 20], uint16_t(0xFFF6));
  // The clock fields still show the PC's time of the window's start, taken as digits.
  EXPECT_EQ(u.hr[0x200 + 0], uint16_t(0x03));
  EXPECT_EQ(u.hr[0x200 + 5], uint16_t(0x26));
  EXPECT_EQ(u.co[9], uint8_t(1));
  EXPECT_EQ(u.co[0x100 + 2], uint8_t(1));
  EXPECT_EQ(u.co[0x100 + 3], uint8_t(1));
  // A changed answer delay retimes the request timers after the write.
  EXPECT_EQ(global::AnswerDelay, int16_t(7));
  EXPECT_EQ(master->Timer6->interval(), 164);
  EXPECT_EQ(master->Timer7->interval(), 157);
  EXPECT_FALSE(master->AnswerDelayChanged);

  // Blocks 0..50, the bits, clock registers 0..5, registers 12 and 20, the input bits.
  ASSERT_EQ(line->written.size(), 6 + 1 + 6 + 2 + 1);
  const QByteArray expected[] = {
      SimulatedUnit::as_rtu(hex("010F000000200401020081")),
      SimulatedUnit::as_rtu(hex("0110020C00010200C3")),
      SimulatedUnit::as_rtu(hex("01100214000102FFF6")),
      SimulatedUnit::as_rtu(hex("010F0100001002"
                                "0C00")),
  };
  const QByteArray got[] = {line->written[6], line->written[13], line->written[14], line->written[15]};
  for (int i = 0; i < 4; ++i) {
    if (modeFlag == 1)
      EXPECT_EQ(got[i], expected[i]);
    else
      EXPECT_EQ(got[i], SimulatedUnit::as_ascii(expected[i].left(expected[i].size() - 2)));
  }
}

TEST_F(ModbusMaster, SkippingAnInputRegisterWaitsForTheOutstandingAnswer)
{
  start(1);
  read_out();
  window.reset_red_field(false, true);
  line->written.clear();
  window.edit_input(13, "2");
  window.edit_input(14, "3");
  master->StartWrite();
  EXPECT_EQ(global::SequenceStep, 5);
  line->unit.answers = false;
  // Registers 0..12 are unchanged: one step per tick.
  for (int i = 0; i < 13; ++i)
    master->Timer2_Timer();
  EXPECT_EQ(global::StartRegister, int16_t(0x200 + 13));
  master->Timer2_Timer();
  ASSERT_EQ(line->written.size(), 1);
  EXPECT_EQ(line->written[0].toHex().toUpper().left(18), QByteArray("0110020D0001020014"));
  // Further ticks while the answer is outstanding neither send nor step past 14.
  for (int i = 0; i < 5; ++i)
    master->Timer2_Timer();
  EXPECT_EQ(global::StartRegister, int16_t(0x200 + 13));
  EXPECT_EQ(line->written.size(), 1);
  line->inbox = SimulatedUnit::as_rtu(hex("0110020D0001"));
  poll();
  EXPECT_EQ(global::StartRegister, int16_t(0x200 + 14));
  master->Timer2_Timer();
  ASSERT_EQ(line->written.size(), 2);
  EXPECT_EQ(line->written[1].toHex().toUpper().left(18), QByteArray("0110020E000102001E"));
}

TEST_F(ModbusMaster, AClosedPortIsReportedOncePerSequence)
{
  start(1);
  window.edit_config(40, "1");
  master->StartWrite();
  for (int i = 0; i < 5; ++i) {
    master->Timer1_Timer();
    global::ReadyFlag = true;
  }
  master->Timer7_Timer();
  master->Timer7_Timer();
  EXPECT_EQ(message_texts(), std::vector<std::string>{"Port ist nicht geöffnet"});
  EXPECT_TRUE(line->written.isEmpty());
  // Nothing can move on, so the status window does not wait for it.
  EXPECT_FALSE(master->SequenceBusy());
  // A new sequence may say it again.
  master->func_read_out_parameter();
  master->Timer6_Timer();
  EXPECT_EQ(messages_.size(), 2u);
}

TEST_F(ModbusMaster, MonitorShowsLiveValuesAndButtons)
{
  start(1);
  read_out();
  line->written.clear();
  line->unit.hr[0x100] = 0xF005;
  line->unit.hr[0x101] = 0xFFFF;
  line->unit.hr[0x102] = 0x00E1;
  line->unit.hr[0x107] = 0xFFFF;
  line->unit.hr[0x10F] = 5;
  line->unit.hr[0x110] = 1;
  master->StartMonitor();
  EXPECT_TRUE(master->Timer7->isActive());
  master->Timer7_Timer();
  ASSERT_EQ(line->written.size(), 1);
  EXPECT_EQ(line->written[0].toHex().toUpper(), QByteArray("010301000011843A"));
  poll();
  EXPECT_EQ(window.output[0], "61445");
  EXPECT_EQ(window.output[1], "65535");
  EXPECT_EQ(window.output[2], "22,5");
  EXPECT_EQ(window.temperature, "22,5");
  EXPECT_EQ(window.output[7], "-1");
  for (int j = 0; j < 12; ++j)
    EXPECT_EQ(window.buttons[size_t(j)], j == 9 || j == 11) << j;
  EXPECT_EQ(global::StartRegister, int16_t(266));

  // Below 0x7000 the indicators go dark instead of failing.
  line->unit.hr[0x100] = 0x0005;
  master->Timer7_Timer();
  poll();
  EXPECT_EQ(window.output[0], "5");
  for (int j = 0; j < 12; ++j)
    EXPECT_FALSE(window.buttons[size_t(j)]) << j;
  master->StopMonitor();
  EXPECT_FALSE(master->Timer7->isActive());
}
