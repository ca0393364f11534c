// The Master Node machine on a scripted line in virtual time: every frame it writes is checked
// with its time, every NPDU it passes up with its source.
#include "bacnet/datalink/frame_crc.h"
#include "bacnet/datalink/mstp_master.h"
#include "scripted_line.h"
#include "test_bytes.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr uint8_t kTs = 5;

std::vector<uint8_t> frame(uint8_t type, uint8_t destination, uint8_t source, const std::string& data = "")
{
  std::vector<uint8_t> out;
  mstp_encode_frame(type, destination, source, bytes(data), &out);
  return out;
}

// A data frame for `destination` that announces 502 octets, one more than a station takes,
// with `inside` at the start of its data.
std::vector<uint8_t> too_long(uint8_t destination, uint8_t source, const std::vector<uint8_t>& inside)
{
  std::vector<uint8_t> out = {kMstpPreamble1, kMstpPreamble2, kMstpDataNotExpectingReply, destination, source, 0x01, 0xF6};
  out.push_back(header_crc(std::span<const uint8_t>(out).subspan(2)));
  out.insert(out.end(), inside.begin(), inside.end());
  out.resize(kMstpHeaderLength + 502 + kMstpDataCrcLength);
  return out;
}

// "type>destination" of a written frame, with ":data" when it has any.
std::string describe(const std::vector<uint8_t>& f)
{
  std::string text = std::to_string(f[2]) + ">" + std::to_string(f[3]);
  if (f.size() > kMstpHeaderLength)
    text += ":" + hex(std::span(f).subspan(kMstpHeaderLength, f.size() - kMstpHeaderLength - 2));
  return text;
}

class MstpMasterTest : public testing::Test {
protected:
  void SetUp() override
  {
    os_set_clock(&clock_);
    params_.this_station = kTs;
    params_.max_master = 7;
  }
  void TearDown() override { os_set_clock(nullptr); }

  void start()
  {
    master_ = std::make_unique<MstpMaster>(params_, line_, queues_, [this](uint8_t source, std::span<const uint8_t> npdu) {
      delivered_.push_back(std::to_string(source) + ":" + hex(npdu));
    });
    master_->start();
  }

  // Steps until `done` holds; false when the virtual time ran `limit_ms` past first.
  bool run_until(const std::function<bool()>& done, int64_t limit_ms = 5000)
  {
    const int64_t end = line_.now() + limit_ms;
    for (int steps = 0; !done(); ++steps)
      if (line_.now() > end || steps > 1000000 || !master_->step())
        return false;
    return true;
  }
  bool run_for(int64_t ms)
  {
    const int64_t end = line_.now() + ms;
    return run_until([&] { return line_.now() >= end; }, ms + 1);
  }
  bool written(std::size_t n)
  {
    return run_until([&] { return line_.written.size() >= n; });
  }
  std::vector<std::string> frames(std::size_t from = 0)
  {
    std::vector<std::string> out;
    for (std::size_t i = from; i < line_.written.size(); ++i)
      out.push_back(describe(line_.written[i].octets));
    return out;
  }
  void queue(DatalinkQueue& q, uint8_t destination, const std::string& npdu, bool expecting_reply = false)
  {
    DatalinkQueueEntry e;
    e.destination = destination == kMstpBroadcast ? BACnetAddress{kGlobalBroadcastNetwork, {}, 0} : address(1, {destination});
    e.frame = bytes(npdu);
    e.expecting_reply = expecting_reply;
    q.put(std::move(e));
  }

  ManualClock clock_;
  ScriptedLine line_{clock_};
  MstpQueues queues_;
  MstpParameters params_;
  std::unique_ptr<MstpMaster> master_;
  std::vector<std::string> delivered_;
};

// What a listening station writes, when, and hands up for the frames that arrive 10 ms in.
TEST_F(MstpMasterTest, FramesToAListeningStationAreAnsweredAndHandedUpAsTheirTypeSays)
{
  const struct {
    std::vector<std::vector<uint8_t>> arriving;
    std::vector<uint8_t> written;  // the one frame written, if any
    int64_t written_at;
    std::vector<std::string> delivered;
  } cases[] = {
      // Poll For Master: the eight-octet reply at once.
      {{frame(kMstpPollForMaster, kTs, 3)}, bytes("55ff020305000093"), 10, {}},
      // A request the stack does not answer in time: Reply Postponed.
      {{frame(kMstpDataExpectingReply, kTs, 3, "01040005")}, bytes("55ff07030500000b"),
       10 + kMstpReplyDelayMs, {"3:01040005"}},
      // The link answers a Test Request itself; neither test frame goes up.
      {{frame(kMstpTestRequest, kTs, 3, "a5a50102"), frame(kMstpTestResponse, kTs, 3, "a5a5")},
       frame(kMstpTestResponse, 3, kTs, "a5a50102"), 10, {}},
      // Data for us and broadcasts go up; another station's data and a broadcast expecting a reply not.
      {{frame(kMstpDataNotExpectingReply, kTs, 3, "0100"), frame(kMstpDataNotExpectingReply, kMstpBroadcast, 4, "0101"),
        frame(kMstpDataNotExpectingReply, 6, 4, "0102"), frame(kMstpDataExpectingReply, kMstpBroadcast, 4, "0103")},
       {}, 0, {"3:0100", "4:0101"}},
      // Too long to take: its data is passed over, a token hidden in it too.
      {{too_long(kTs, 3, frame(kMstpToken, kTs, 3))}, {}, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(describe(c.arriving[0]));
    line_.written.clear();
    delivered_.clear();
    const int64_t begin = line_.now();
    start();
    for (const auto& f : c.arriving)
      line_.arrive(10, f);
    if (!c.written.empty()) {
      ASSERT_TRUE(written(1));
      EXPECT_EQ(hex(line_.written[0].octets), hex(c.written));
      EXPECT_EQ(line_.written[0].at - begin, c.written_at);
      EXPECT_EQ(master_->state(), MstpState::kIdle);
    }
    ASSERT_TRUE(run_for(100));
    EXPECT_EQ(line_.written.size(), c.written.empty() ? 0u : 1u);
    EXPECT_EQ(delivered_, c.delivered);
  }
}

TEST_F(MstpMasterTest, ALoneStationClaimsTheTokenInItsSlotPollsEveryoneAndIsSoleMasterUntilATokenComes)
{
  start();
  ASSERT_TRUE(run_until([&] { return master_->sole_master(); }));
  // Its slot begins 500 ms + 5 x 10 ms after the line fell silent; each poll waits 100 ms.
  EXPECT_EQ(frames(), (std::vector<std::string>{"1>6", "1>7", "1>0", "1>1", "1>2", "1>3", "1>4"}));
  EXPECT_EQ(line_.written[0].at, 550);
  EXPECT_EQ(line_.written[6].at, 1150);
  // As sole master it sends what is queued without passing any token.
  queue(queues_.token, kMstpBroadcast, "01001008");
  ASSERT_TRUE(written(8));
  EXPECT_EQ(frames(7), (std::vector<std::string>{"6>255:01001008"}));
  // A token for us ends it. One that arrives while it polls is dropped there; its sender passes
  // it once more.
  line_.arrive(1, frame(kMstpToken, kTs, 3));
  line_.arrive(100, frame(kMstpToken, kTs, 3));
  ASSERT_TRUE(run_until([&] { return !master_->sole_master(); }));
  EXPECT_EQ(master_->state(), MstpState::kUseToken);
}

TEST_F(MstpMasterTest, AnotherStationTalkingBeforeOurSlotKeepsUsListening)
{
  start();
  line_.arrive(520, frame(kMstpToken, 2, 1));
  ASSERT_TRUE(run_for(560));
  EXPECT_TRUE(line_.written.empty());
  ASSERT_TRUE(written(1));
  EXPECT_EQ(line_.written[0].at, 520 + 550);
}

TEST_F(MstpMasterTest, TheTokenCarriesQueuedFramesThenFindsAndPassesToTheSuccessor)
{
  start();
  queue(queues_.token, 9, "0104000501", true);
  queue(queues_.token, kMstpBroadcast, "01001008");
  line_.on_write = [this](const std::vector<uint8_t>& f) {
    if (f[2] == kMstpDataExpectingReply)
      line_.arrive(5, frame(kMstpDataNotExpectingReply, kTs, 9, "01003001"));
    if (f[2] == kMstpPollForMaster && f[3] == 6)
      line_.arrive(2, frame(kMstpReplyToPollForMaster, kTs, 6));
    if (f[2] == kMstpToken && f[3] == 6)
      line_.arrive(3, frame(kMstpToken, 7, 6));  // the successor uses the token
  };
  line_.arrive(10, frame(kMstpToken, kTs, 4));
  ASSERT_TRUE(written(4));
  EXPECT_EQ(frames(), (std::vector<std::string>{"5>9:0104000501", "6>255:01001008", "1>6", "0>6"}));
  EXPECT_EQ(delivered_, (std::vector<std::string>{"9:01003001"}));
  ASSERT_TRUE(run_until([&] { return master_->state() == MstpState::kIdle; }));
  EXPECT_EQ(master_->next_station(), 6);
  EXPECT_EQ(master_->poll_station(), kTs);
}

TEST_F(MstpMasterTest, ASilentSuccessorGetsTheTokenOnceMoreThenANewOneIsPolledFor)
{
  start();
  line_.on_write = [this](const std::vector<uint8_t>& f) {
    if (f[2] == kMstpPollForMaster && f[3] == 6)
      line_.arrive(2, frame(kMstpReplyToPollForMaster, kTs, 6));
  };
  line_.arrive(10, frame(kMstpToken, kTs, 4));
  ASSERT_TRUE(written(3));
  line_.on_write = nullptr;
  const int64_t passed = line_.written[1].at;
  ASSERT_TRUE(written(5));
  EXPECT_EQ(frames(1), (std::vector<std::string>{"0>6", "0>6", "1>7", "1>0"}));
  EXPECT_EQ(line_.written[2].at, passed + 100);
  EXPECT_EQ(line_.written[3].at, passed + 200);
  EXPECT_EQ(master_->next_station(), kTs);
}

struct ReplyCase {
  const char* name;
  std::vector<uint8_t> answer;  // what arrives 5 ms after our request
  const char* delivered;
  MstpState after;
};

TEST_F(MstpMasterTest, WaitingForAReplyEndsAsTheAnswerSays)
{
  const ReplyCase cases[] = {
      {"data for us", frame(kMstpDataNotExpectingReply, kTs, 9, "0100"), "9:0100", MstpState::kDoneWithToken},
      {"reply postponed", frame(kMstpReplyPostponed, kTs, 9), "", MstpState::kDoneWithToken},
      {"test response", frame(kMstpTestResponse, kTs, 9, "aa"), "", MstpState::kDoneWithToken},
      {"damaged frame", bytes("55ff06050900"), "", MstpState::kDoneWithToken},
      {"nothing within 300 ms", {}, "", MstpState::kDoneWithToken},
      {"a frame for someone else", frame(kMstpToken, 2, 9), "", MstpState::kIdle},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    delivered_.clear();
    line_.written.clear();
    start();
    queue(queues_.token, 9, "0104000501", true);
    line_.arrive(1, frame(kMstpToken, kTs, 4));
    ASSERT_TRUE(written(1));
    if (!c.answer.empty())
      line_.arrive(5, c.answer);
    ASSERT_TRUE(run_until([&] { return master_->state() != MstpState::kWaitForReply; }, 1000));
    EXPECT_EQ(master_->state(), c.after);
    EXPECT_EQ(delivered_.empty() ? "" : delivered_[0], c.delivered);
  }
}

TEST_F(MstpMasterTest, TheAnswerGoesToTheStationThatAskedAndOthersWaitForTheToken)
{
  start();
  queue(queues_.reply, 7, "0100301a");  // an answer whose requester's wait has passed
  line_.arrive(10, frame(kMstpDataExpectingReply, kTs, 3, "01040005"));
  line_.schedule(30, [this] { queue(queues_.reply, 3, "01003005"); });
  ASSERT_TRUE(written(1));
  EXPECT_EQ(frames(), (std::vector<std::string>{"6>3:01003005"}));
  EXPECT_EQ(line_.written[0].at, 30);
  line_.arrive(10, frame(kMstpToken, kTs, 4));
  ASSERT_TRUE(written(2));
  EXPECT_EQ(frames(1), (std::vector<std::string>{"6>7:0100301a"}));
}

TEST_F(MstpMasterTest, AHalfFrameIsAbandonedAfterTheFrameAbortSilence)
{
  EXPECT_EQ(serial_frame_abort_ms(9600), 100);
  EXPECT_EQ(serial_frame_abort_ms(300), 200);
  start();
  line_.arrive(10, bytes("55ff0005"));
  line_.arrive(150, frame(kMstpToken, kTs, 3));
  ASSERT_TRUE(run_until([&] { return master_->state() == MstpState::kUseToken; }, 400));
}

TEST_F(MstpMasterTest, AFailedLineIsReadOncePerTimeOutNotInALoop)
{
  start();
  line_.failing = true;
  ASSERT_TRUE(run_for(5000));
  EXPECT_LE(line_.reads, 5000 / 550 + 1);
  EXPECT_TRUE(line_.written.empty());
}

TEST_F(MstpMasterTest, AStopEndsTheMachineInEveryWait)
{
  start();
  line_.stop_at = 300;
  master_->run();
  EXPECT_EQ(line_.now(), 300);
}

}  // namespace
