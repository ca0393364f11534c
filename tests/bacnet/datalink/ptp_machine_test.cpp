// The point-to-point machines on a scripted line in virtual time: the timers that an end-to-end
// run cannot wait for, and what only a scripted peer can do (lose, damage, cut and hold frames).
#include "bacnet/datalink/ptp_machine.h"
#include "bacnet/foundation/driver.h"
#include "scripted_line.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

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
    return std::string(octets.begin(), octets.end());
  std::string out = std::to_string(receiver.frame_type());
  return receiver.data().empty() ? out : out + ":" + hex(receiver.data());
}

using Frames = std::vector<std::string>;
using Times = std::vector<int64_t>;
const std::string kTrigger("BACnet\r\0", 8);

// One machine on its own line and clock.
struct Bench {
  explicit Bench(PtpSettings s = {}, bool call = false) : settings(std::move(s))
  {
    os_set_clock(&clock);
    shared.connect_request = call;
    machine = std::make_unique<PtpMachine>(
        settings, line, shared, [this](std::span<const uint8_t> npdu) { delivered.push_back(hex(npdu)); },
        [this](const std::string& t) { log.push_back(t); });
  }
  ~Bench() { os_set_clock(nullptr); }

  bool run_until(const std::function<bool()>& done)
  {
    const int64_t end = line.now() + 120000;
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
  // Answers a trigger that comes in two passes (a zero octet before it), then takes the
  // Connect Response: connected, the first heartbeat sent.
  void connect()
  {
    line.arrive(0, {'x', 0, 'B', 'A', 'C'});
    line.arrive(300, {'n', 'e', 't', '\r', 0});
    ASSERT_TRUE(run_until([&] { return !line.written.empty(); }));
    ASSERT_EQ(describe(line.written[0].octets), "12");
    peer(kPtpConnectResponse);
    ASSERT_TRUE(run_until([&] { return line.written.size() == 2; }));
    ASSERT_EQ(machine->link_state(), kPtpConnected);
    connected = 2;
  }
  void queue(const std::string& npdu)
  {
    DRIVER_LOCK_SCOPE();
    shared.queue.put(bytes(npdu));
  }
  Frames frames(std::size_t from = 2)
  {
    Frames out;
    for (std::size_t i = from; i < line.written.size(); ++i)
      out.push_back(describe(line.written[i].octets));
    return out;
  }
  Times times(std::size_t from = 2)
  {
    Times out;
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
  Frames delivered, log;
  std::size_t connected = 0;
};

TEST(PtpLink, OnlyATriggerAmongTheLatest32OctetsIsAnswered)
{
  struct Row {
    std::size_t before, after;
    bool answered;
  };
  for (const Row& row : {Row{0, 25, true}, Row{0, 26, false}, Row{63, 0, true}, Row{100, 25, true}, Row{100, 26, false}}) {
    Bench ours;
    ours.line.arrive(0, text(std::string(row.before, 'x') + "BACnet\r" + std::string(row.after, 'x')));
    ours.run_for(1000);
    EXPECT_EQ(ours.frames(0), row.answered ? Frames{"12"} : Frames{}) << row.before << " " << row.after;
  }
}

TEST(PtpLink, ACallerSendsTheTriggerFourTimesThenStartsOverUntilAskedToHangUp)
{
  Bench b({}, true);
  b.run_for(61000);
  EXPECT_EQ(b.frames(0), Frames(5, kTrigger));
  EXPECT_EQ(b.times(0), (Times{0, 15000, 30000, 45000, 60100}));
  EXPECT_TRUE(b.logged("PTP 0 Sent      42 41 43 6E 65 74 0D 00"));
  // What bacnetptp_request_disconnect asks: the call is given up and not made again.
  b.shared.disconnect_request = true;
  b.shared.connect_request = false;
  b.run_for(31000);
  EXPECT_EQ(b.frames(0).size(), 5u);
  EXPECT_EQ(b.machine->link_state(), kPtpDisconnected);
}

TEST(PtpReceive, DataIsAcknowledgedByItsBitHandedUpOnceAndAskedForAgainWhenDamagedOrCut)
{
  Bench b;
  b.connect();
  const std::string longest(2 * kPtpMaxData, 'a');
  std::vector<uint8_t> damaged = frame(kPtpData1, "0102");
  damaged.back() ^= 1;
  const std::vector<uint8_t> half = frame(kPtpData0, "01");
  b.peer(kPtpData0, "0100100800");
  b.peer(kPtpData0, "0100100800", 50);  // our acknowledgement was lost
  b.peer(kPtpData1, longest, 50);
  b.line.arrive(50, damaged);
  b.line.arrive(50, {half.begin(), half.begin() + 6});  // then silence: abandoned
  b.peer(kPtpData0, "0101", 500);
  b.run_for(2000);
  EXPECT_EQ(b.frames(), (Frames{"6", "6", "7", "11", "10", "6"}));
  EXPECT_EQ(b.delivered, (Frames{"0100100800", longest, "0101"}));
}

TEST(PtpTransmit, AFrameWithoutAckGoesFourTimesThenTheNextKeepsTheBitAndALateAckEndsIt)
{
  Bench b;
  b.connect();
  b.queue("01020304");
  b.run_for(21000);
  EXPECT_EQ(b.frames(), Frames(4, "2:01020304"));
  EXPECT_EQ(b.times(), (Times{0, 5100, 10200, 15300}));

  b.queue("0506");
  b.run_until([&] { return b.line.written.size() == 7; });
  // The Ack comes in the pass where the repetition would be due: the frame is done.
  b.peer(kPtpDataAck0Xon, "", 5050);
  b.run_for(8000);
  EXPECT_EQ(b.frames(6), (Frames{"2:0506"}));
}

TEST(PtpTransmit, HeartbeatsKeepASilentLinkXoffHoldsTheQueueAndANakRepeatsAtOnce)
{
  Bench b;
  b.connect();
  b.run_for(31000);
  EXPECT_EQ(b.times(1), (Times{0, 15100, 30200}));

  b.peer(kPtpHeartbeatXoff);
  b.run_for(200);
  b.queue("0c");
  b.run_for(2000);
  EXPECT_EQ(b.frames(), Frames(2, "1"));
  b.peer(kPtpHeartbeatXon);
  b.run_for(300);
  const int64_t nak_at = b.line.now();
  b.peer(kPtpDataNak0Xon);
  b.run_for(300);
  EXPECT_EQ(b.frames(4), (Frames{"2:0c", "2:0c"}));
  EXPECT_EQ(b.line.written[5].at, nak_at);
}

TEST(PtpLink, AnUnansweredHangUpIsRepeatedAndASilentOrCarrierLessLinkEnds)
{
  Bench ours;
  ours.connect();
  ours.shared.disconnect_request = true;
  ours.run_for(21000);
  EXPECT_EQ(ours.frames(), Frames(4, "14"));
  EXPECT_EQ(ours.times(), (Times{0, 5000, 10000, 15000}));
  EXPECT_EQ(ours.machine->link_state(), kPtpDisconnected);

  Bench silent;
  silent.connect();
  silent.run_for(60000);
  EXPECT_EQ(silent.machine->link_state(), kPtpConnected);
  silent.run_for(200);
  EXPECT_EQ(silent.machine->link_state(), kPtpDisconnected);

  // The carrier drops while a Data frame comes in: the modem's text ends the link in that pass.
  Bench cut;
  cut.connect();
  const std::vector<uint8_t> data = frame(kPtpData0, "01001008" + std::string(2 * 40, 'a'));
  cut.line.arrive(0, {data.begin(), data.begin() + 8});
  cut.line.arrive(0, text("\r\nNO CARRIER\r\n"));
  ASSERT_TRUE(cut.machine->pass());
  EXPECT_EQ(cut.machine->link_state(), kPtpDisconnected);
}

TEST(PtpLink, ARefusedPasswordIsLoggedHungUpAndCalledAgainOnlyAfterAGrowingPause)
{
  const struct {
    std::string dial;
    Frames first_call;
  } cases[] = {
      {"", {kTrigger, "13:77726f6e67", "1", "15"}},
      {"ATD1\r", {"AT\r", "ATD1\r", kTrigger, "13:77726f6e67", "1", "15", "+++", "ATH\r"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dial);
    PtpSettings settings;
    settings.password = "wrong";
    settings.dial_command = c.dial;
    Bench b(settings, true);
    // The answering side: a modem that connects, a peer that takes the call and refuses the password.
    b.line.on_write = [&](const std::vector<uint8_t>& w) {
      const std::string t = describe(w);
      if (t == "AT\r" || t == "ATH\r")
        b.line.arrive(50, text("\r\nOK\r\n"));
      else if (t == "ATD1\r")
        b.line.arrive(50, text("\r\nCONNECT 9600\r\n"));
      else if (t == kTrigger)
        b.peer(kPtpConnectRequest, "", 50);
      else if (t == "13:77726f6e67")
        b.peer(kPtpDisconnectRequest, "", 50);
    };
    b.run_for(14000);
    EXPECT_EQ(b.frames(0), c.first_call);
    EXPECT_TRUE(b.logged("Password refused - calling again in 15 s."));
    b.run_for(60000 - 14000);
    const Frames written = b.frames(0);
    EXPECT_EQ(std::count(written.begin(), written.end(), kTrigger), 3);  // at about 0, 15 and 45 s
    EXPECT_TRUE(b.logged("Password refused - calling again in 30 s."));
    EXPECT_EQ(b.machine->link_state(), kPtpDisconnected);
  }
}

TEST(PtpModem, AFailedDialIsLoggedAndLeavesTheLinkDisconnected)
{
  struct Case {
    const char* at_answer;
    const char* dial_answer;  // null: none
    Frames logs;
  } cases[] = {
      {"\r\nOK\r\n", "\r\nBUSY\r\n", {"dialing", "Modem returned :- \r\nBUSY\r\n", "Connection Failed."}},
      {"\r\nOK\r\n", nullptr, {"Modem returned :- \r\nOK\r\n", "No connection response from Modem - Aborting connection."}},
      {"\r\nERROR\r\n", nullptr, {"No response.  Hang up and try again.", "No response from Modem - Aborting connection."}},
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
    ASSERT_TRUE(b.run_until([&] { return b.logged(c.logs.back()); })) << c.logs.back();
    for (const std::string& line : c.logs)
      EXPECT_TRUE(b.logged(line)) << line;
    const Frames written = b.frames(0);
    EXPECT_EQ(std::count(written.begin(), written.end(), kTrigger), 0);
    EXPECT_EQ(b.machine->link_state(), kPtpDisconnected);
  }
}

}  // namespace
