// The point-to-point machines on a scripted line in virtual time: every frame they write is
// checked with its time, every NPDU they hand up, and the dialler against a scripted modem.
#include "bacnet/datalink/ptp_machine.h"
#include "bacnet/foundation/driver.h"
#include "scripted_line.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::vector<uint8_t> kTrigger = {'B', 'A', 'C', 'n', 'e', 't', '\r', 0};

std::vector<uint8_t> frame(uint8_t type, const std::string& data = "")
{
  std::vector<uint8_t> out;
  ptp_encode_frame(type, bytes(data), &out);
  return out;
}

std::vector<uint8_t> text(const std::string& t) { return {t.begin(), t.end()}; }

// "type" or "type:data" of a written frame; other writes as their text.
std::string describe(const std::vector<uint8_t>& octets)
{
  PtpReceiver receiver;
  for (uint8_t o : octets)
    receiver.feed(o);
  if (!receiver.valid_frame())
    return octets == kTrigger ? "trigger" : std::string(octets.begin(), octets.end());
  std::string out = std::to_string(receiver.frame_type());
  return receiver.data().empty() ? out : out + ":" + hex(receiver.data());
}

// One machine on its own line and clock.
struct Bench {
  explicit Bench(PtpSettings s = {}, bool connect = false) : settings(std::move(s))
  {
    os_set_clock(&clock);
    shared.connect_request = connect;
    machine = std::make_unique<PtpMachine>(
        settings, line, shared, [this](std::span<const uint8_t> npdu) { delivered.push_back(hex(npdu)); },
        [this](const std::string& t) { log.push_back(t); });
  }
  ~Bench() { os_set_clock(nullptr); }

  bool run_until(const std::function<bool()>& done, int64_t limit_ms = 120000)
  {
    const int64_t end = line.now() + limit_ms;
    while (!done())
      if (line.now() > end || !machine->pass())
        return false;
    return true;
  }
  void run_for(int64_t ms)
  {
    const int64_t end = line.now() + ms;
    run_until([&] { return line.now() >= end; });
  }
  void peer(uint8_t type, const std::string& data = "", int64_t delay = 0) { line.arrive(delay, frame(type, data)); }
  // Answers a trigger and takes the Connect Response: connected, the first heartbeat sent.
  void connect()
  {
    line.arrive(0, kTrigger);
    ASSERT_TRUE(run_until([&] { return !line.written.empty(); }));
    peer(kPtpConnectResponse, hex(text(settings.password.value_or(""))));
    ASSERT_TRUE(run_until([&] { return machine->link_state() == kPtpConnected && line.written.size() == 2; }));
    connected = line.written.size();
  }
  int queue(const std::string& npdu)
  {
    DRIVER_LOCK_SCOPE();
    return shared.queue.put(bytes(npdu)) ? 0 : -1;
  }
  std::vector<std::string> frames(std::size_t from)
  {
    std::vector<std::string> out;
    for (std::size_t i = from; i < line.written.size(); ++i)
      out.push_back(describe(line.written[i].octets));
    return out;
  }
  std::vector<std::string> since_connect() { return frames(connected); }
  std::vector<int64_t> times(std::size_t from)
  {
    std::vector<int64_t> out;
    for (std::size_t i = from; i < line.written.size(); ++i)
      out.push_back(line.written[i].at - line.written[from].at);
    return out;
  }
  bool logged(const std::string& t) const { return std::find(log.begin(), log.end(), t) != log.end(); }

  ManualClock clock;
  ScriptedLine line{clock};
  PtpSettings settings;
  PtpShared shared;
  std::unique_ptr<PtpMachine> machine;
  std::vector<std::string> delivered, log;
  std::size_t connected = 0;
};

using Frames = std::vector<std::string>;

TEST(PtpLink, ACallerSendsTheTriggerFourTimesThenStartsOver)
{
  Bench b({}, true);
  b.run_for(61000);
  EXPECT_EQ(b.frames(0), Frames(5, "trigger"));
  EXPECT_EQ(b.times(0), (std::vector<int64_t>{0, 15000, 30000, 45000, 60100}));
  EXPECT_TRUE(b.logged("PTP 0 Sent      42 41 43 6E 65 74 0D 00"));
  // Asked to hang up while calling, it gives the call up and does not call again.
  b.shared.disconnect_request = true;
  b.shared.connect_request = false;
  b.run_for(31000);
  EXPECT_EQ(b.frames(0).size(), 5u);
  EXPECT_EQ(b.machine->link_state(), kPtpDisconnected);
}

TEST(PtpLink, TheAnsweringSideHearsASplitTriggerAndChecksThePassword)
{
  struct Case {
    std::optional<std::string> password;
    std::string response;
    Frames frames;
    uint8_t state;
  } cases[] = {
      {"secret", "secret", {"12", "1"}, kPtpConnected},
      {"secret", "secre", {"12", "14"}, kPtpDisconnecting},
      {"secret", "Secret", {"12", "14"}, kPtpDisconnecting},
      {std::nullopt, "anything", {"12", "1"}, kPtpConnected},
  };
  for (const Case& c : cases) {
    PtpSettings settings;
    settings.password = c.password;
    Bench b(settings);
    b.line.arrive(0, {'x', 0, 'B', 'A', 'C'});
    b.line.arrive(300, {'n', 'e', 't', '\r', 0});
    ASSERT_TRUE(b.run_until([&] { return !b.line.written.empty(); }));
    EXPECT_EQ(b.line.written[0].at, 300);
    b.peer(kPtpConnectResponse, hex(text(c.response)));
    b.run_for(1000);
    EXPECT_EQ(b.frames(0), c.frames) << c.response;
    EXPECT_EQ(b.machine->link_state(), c.state) << c.response;
    EXPECT_EQ(ptp_connection_state(b.shared.link_state), c.state == kPtpConnected ? 2 : 0);
  }
}

TEST(PtpLink, DataIsAcknowledgedByItsBitAndHandedUpOnce)
{
  Bench b;
  b.connect();
  const std::string longest(2 * kPtpMaxData, 'a');
  std::vector<uint8_t> damaged = frame(kPtpData1, "0102");
  damaged.back() ^= 1;
  b.peer(kPtpData0, "0100100800");
  b.peer(kPtpData0, "0100100800", 50);  // our acknowledgement was lost
  b.peer(kPtpData1, longest, 50);
  b.line.arrive(50, damaged);
  // Half a frame, then silence: abandoned, and its sender asked for it again.
  const std::vector<uint8_t> half = frame(kPtpData0, "01");
  b.line.arrive(50, {half.begin(), half.begin() + 6});
  b.peer(kPtpData0, "0101", 500);
  b.run_for(2000);
  EXPECT_EQ(b.since_connect(), (Frames{"6", "6", "7", "11", "10", "6"}));
  EXPECT_EQ(b.delivered, (Frames{"0100100800", longest, "0101"}));
}

TEST(PtpTransmit, AFrameWithoutAckGoesFourTimesThenTheNextKeepsTheBitAndALateAckEndsIt)
{
  Bench b;
  b.connect();
  b.queue("01020304");
  b.run_for(21000);
  EXPECT_EQ(b.since_connect(), Frames(4, "2:01020304"));
  EXPECT_EQ(b.times(b.connected), (std::vector<int64_t>{0, 5100, 10200, 15300}));

  b.queue("0506");
  b.run_until([&] { return b.line.written.size() == b.connected + 5; });
  // The Ack comes in the pass where the retry would be due: the frame is done, not repeated.
  b.peer(kPtpDataAck0Xon, "", 5050);
  b.run_for(8000);
  EXPECT_EQ(b.frames(b.connected + 4), (Frames{"2:0506"}));
}

TEST(PtpTransmit, ANakForTheOutstandingFrameSendsItAgainAtOnce)
{
  Bench b;
  b.connect();
  b.queue("0a");
  b.queue("0b");
  b.line.on_write = [&](const std::vector<uint8_t>& f) {
    const std::string d = describe(f);
    if (d == "2:0a")
      b.peer(kPtpDataAck0Xon, "", 10);
    if (d == "3:0b" && b.line.written.size() == b.connected + 2)
      b.peer(kPtpDataNak1Xon, "", 30);
  };
  b.run_for(1000);
  EXPECT_EQ(b.since_connect(), (Frames{"2:0a", "3:0b", "3:0b"}));
  EXPECT_EQ(b.line.written.back().at - b.line.written[b.connected + 1].at, 30);
}

TEST(PtpTransmit, HeartbeatsKeepASilentLinkAndXoffHoldsTheQueue)
{
  Bench b;
  b.connect();
  b.run_for(31000);
  EXPECT_EQ(b.since_connect(), Frames(2, "1"));
  EXPECT_EQ(b.times(b.connected - 1), (std::vector<int64_t>{0, 15100, 30200}));

  b.peer(kPtpHeartbeatXoff);
  b.run_for(200);
  b.queue("0c");
  b.run_for(2000);
  EXPECT_EQ(b.since_connect().size(), 2u);
  EXPECT_TRUE(b.machine->peer_xoff());
  b.peer(kPtpHeartbeatXon);
  b.run_for(300);
  EXPECT_EQ(b.since_connect().back(), "2:0c");
}

TEST(PtpLink, ALinkEndsOnRequestOnTheirsOnNoCarrierAndOnSilence)
{
  struct Case {
    const char* name;
    std::function<void(Bench&)> act;
    int64_t run_ms;
    Frames frames;
  } cases[] = {
      {"ours unanswered", [](Bench& b) { b.shared.disconnect_request = true; }, 21000, Frames(4, "14")},
      {"ours answered",
       [](Bench& b) {
         b.shared.disconnect_request = true;
         b.peer(kPtpDisconnectResponse, "", 200);
       },
       1000, {"14"}},
      {"theirs", [](Bench& b) { b.peer(kPtpDisconnectRequest); }, 1000, {"15"}},
      {"carrier", [](Bench& b) { b.line.arrive(0, text("\r\nNO CARRIER\r\n")); }, 1000, {}},
      {"silence", [](Bench&) {}, 60500, {"1", "1", "1"}},
  };
  for (const Case& c : cases) {
    Bench b;
    b.connect();
    c.act(b);
    b.run_for(c.run_ms);
    EXPECT_EQ(b.since_connect(), c.frames) << c.name;
    EXPECT_EQ(b.machine->link_state(), kPtpDisconnected) << c.name;
  }
}

TEST(PtpModem, TheDiallerHangsUpBetweenGuardTimesThenDials)
{
  PtpSettings settings;
  settings.dial_command = "ATDT123\r";
  settings.guard_ms = 1500;
  Bench b(settings, true);
  int ats = 0;
  b.line.on_write = [&](const std::vector<uint8_t>& w) {
    const std::string t(w.begin(), w.end());
    if (t == "AT\r")
      b.line.arrive(50, text(++ats == 1 ? "\r\nERROR\r\n" : "\r\nOK\r\n"));
    else if (t == "ATH\r")
      b.line.arrive(50, text("\r\nOK\r\n"));
    else if (t == "ATDT123\r")
      b.line.arrive(3000, text("\r\nCONNECT 9600\r\n"));
  };
  ASSERT_TRUE(b.run_until([&] { return !b.line.written.empty() && describe(b.line.written.back().octets) == "trigger"; }));
  EXPECT_EQ(b.frames(0), (Frames{"AT\r", "+++", "ATH\r", "AT\r", "ATDT123\r", "trigger"}));
  // The "+++" comes after the answer's second of silence and the guard time, "ATH" a guard
  // time later.
  const std::vector<int64_t> t = b.times(0);
  EXPECT_EQ(t[1] - t[0], 50 + 1000 + 1500);
  EXPECT_EQ(t[2] - t[1], 1500);
  for (const char* line : {"Modem returned :- \r\nERROR\r\n", "No response.  Hang up and try again.", "dialing",
                           "Modem returned :- \r\nCONNECT 9600\r\n"})
    EXPECT_TRUE(b.logged(line)) << line << testing::PrintToString(b.log);
}

TEST(PtpModem, AFailedDialLeavesTheLinkDisconnected)
{
  struct Case {
    const char* at_answer;
    const char* dial_answer;  // null: none
    const char* log;
  } cases[] = {
      {"\r\nOK\r\n", "\r\nBUSY\r\n", "Connection Failed."},
      {"\r\nOK\r\n", nullptr, "No connection response from Modem - Aborting connection."},
      {"\r\nERROR\r\n", nullptr, "No response from Modem - Aborting connection."},
  };
  for (const Case& c : cases) {
    PtpSettings settings;
    settings.dial_command = "ATD1\r";
    Bench b(settings, true);
    b.line.on_write = [&](const std::vector<uint8_t>& w) {
      const std::string t(w.begin(), w.end());
      if (t == "AT\r")
        b.line.arrive(50, text(c.at_answer));
      else if (t == "ATD1\r" && c.dial_answer)
        b.line.arrive(50, text(c.dial_answer));
    };
    ASSERT_TRUE(b.run_until([&] { return b.logged(c.log); })) << c.log << testing::PrintToString(b.log);
    EXPECT_EQ(b.machine->link_state(), kPtpDisconnected);
    const Frames written = b.frames(0);
    EXPECT_EQ(std::count(written.begin(), written.end(), "trigger"), 0) << c.log;
  }
}

}  // namespace
