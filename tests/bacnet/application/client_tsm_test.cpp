#include "fake_port.h"

#include <numeric>

namespace apptest {
namespace {

std::vector<uint8_t> pattern(std::size_t n, uint8_t first = 0)
{
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

std::string with(const std::string& head, std::span<const uint8_t> data)
{
  return data.empty() ? head : head + " " + hex(data);
}

using ClientTransactions = StackFixture;

TEST_F(ClientTransactions, UnsegmentedRequestEndsWithSimpleAck)
{
  ASSERT_EQ(request(7, hex("0C 02 00 00 01 19 4D")), 0);
  auto frames = take_frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(hex(frames[0].npdu), "01 04 02 43 07 0C 0C 02 00 00 01 19 4D");
  EXPECT_EQ(frames[0].destination, peer);
  EXPECT_EQ(frames[0].expecting_reply, 1);

  receive("20 07 0C", peer);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
  EXPECT_EQ(completions[0].destination, peer);
  EXPECT_EQ(completions[0].result.type, kApduSimpleAck);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].first, 1);
  EXPECT_EQ(application_layer_client_count(), 0u);
}

TEST_F(ClientTransactions, EveryFinalAnswerEndsTheRequest)
{
  struct Case {
    const char* answer;
    int success;
    uint32_t type;
    const char* data;
  };
  const Case cases[] = {
      {"30 07 0C AA BB", 1, kApduComplexAck, "AA BB"},
      {"50 07 0C 91 02 91 20", 0, kApduError, "91 02 91 20"},
      {"60 07 05", 0, kApduReject, "05"},
      {"71 07 04", 0, kApduAbort, "04"},
  };
  for (const Case& c : cases) {
    completions.clear();
    heard.clear();
    request(7, hex("01"));
    receive(c.answer, peer);
    ASSERT_EQ(completions.size(), 1u) << c.answer;
    EXPECT_EQ(completions[0].success, c.success) << c.answer;
    EXPECT_TRUE(completions[0].result.present);
    EXPECT_EQ(completions[0].result.type, c.type) << c.answer;
    EXPECT_EQ(hex(completions[0].result.data), c.data) << c.answer;
    // Any answer shows the device alive; only silence may make address binding forget it.
    ASSERT_EQ(heard.size(), 1u) << c.answer;
    EXPECT_EQ(heard[0], std::make_pair(uint8_t(1), peer)) << c.answer;
  }
  EXPECT_EQ(application_layer_client_count(), 0u);
}

TEST_F(ClientTransactions, UnansweredRequestIsSentOncePerRetryThenFails)
{
  request(7, hex("01"));
  EXPECT_EQ(take_sent(), std::vector<std::string>{"02 43 07 0C 01"});
  for (int i = 0; i < 3; ++i) {
    advance(2999);
    EXPECT_TRUE(take_sent().empty());
    advance(1);
    EXPECT_EQ(take_sent(), std::vector<std::string>{"02 43 07 0C 01"});
  }
  advance(2999);
  EXPECT_TRUE(completions.empty());
  advance(1);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_FALSE(completions[0].result.present);
  EXPECT_TRUE(take_sent().empty());
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].first, 0);
}

TEST_F(ClientTransactions, WithoutRetriesOneTimeoutEndsTheRequest)
{
  restart(3000, 3000, 0);
  request(7, hex("01"));
  EXPECT_EQ(take_sent().size(), 1u);
  advance(3000);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_TRUE(take_sent().empty());
}

TEST_F(ClientTransactions, SegmentSizeLeavesRoomForTheHeader)
{
  // Max-APDU code 0 (50 octets): 44 octets of service data per segment.
  request(1, pattern(43), 0);
  auto sent = take_sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], with("02 40 01 0C", pattern(43)));

  request(2, pattern(44), 0);
  sent = take_sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], with("0A 40 02 00 01 0C", pattern(44)));
  EXPECT_EQ(sent[0].size(), 50u * 3 - 1);  // 50 octets
  receive("41 02 00 01", peer);
  receive("20 02 0C", peer);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
}

TEST_F(ClientTransactions, SegmentedRequestFollowsTheServersWindow)
{
  auto data = pattern(100);
  std::span<const uint8_t> all(data);
  request(7, data, 0);
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("0E 40 07 00 02 0C", all.subspan(0, 44))});

  receive("41 07 00 02", peer);
  EXPECT_EQ(take_sent(), (std::vector<std::string>{with("0E 40 07 01 02 0C", all.subspan(44, 44)),
                                                   with("0A 40 07 02 02 0C", all.subspan(88))}));
  // An old acknowledgement changes nothing.
  receive("41 07 00 02", peer);
  EXPECT_TRUE(take_sent().empty());

  receive("41 07 02 02", peer);
  EXPECT_TRUE(take_sent().empty());
  receive("20 07 0C", peer);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
}

TEST_F(ClientTransactions, LostRequestSegmentIsSentAgain)
{
  auto data = pattern(100);
  std::span<const uint8_t> all(data);
  request(7, data, 0);
  receive("41 07 00 02", peer);
  take_sent();
  // The server got segment 1 but not 2.
  receive("43 07 01 02", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("0A 40 07 02 02 0C", all.subspan(88))});
  // It got nothing of the window: the window goes again after the time-out.
  receive("43 07 01 02", peer);
  EXPECT_TRUE(take_sent().empty());
  advance(3000);
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("0A 40 07 02 02 0C", all.subspan(88))});
  receive("41 07 02 02", peer);
  receive("30 07 0C 01", peer);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
}

TEST_F(ClientTransactions, UnacknowledgedSegmentsEndAfterTheRetries)
{
  restart(3000, 3000, 1);
  request(7, pattern(100), 0);
  take_sent();
  advance(3000);
  EXPECT_EQ(take_sent().size(), 1u);
  advance(3000);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
}

TEST_F(ClientTransactions, AnswerBeforeTheLastSegmentIsAborted)
{
  request(7, pattern(100), 0);
  take_sent();
  receive("20 07 0C", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"70 07 00"});
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_EQ(completions[0].result.type, kApduSimpleAck);
}

TEST_F(ClientTransactions, SegmentedComplexAckIsAcknowledgedPerWindow)
{
  request(7, hex("01"));
  take_sent();
  receive("3C 07 00 02 0C AA", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"40 07 00 02"});
  receive("3C 07 01 02 0C BB", peer);
  EXPECT_TRUE(take_sent().empty());
  receive("38 07 02 02 0C CC", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"40 07 02 02"});
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
  EXPECT_EQ(completions[0].result.type, kApduComplexAck);
  EXPECT_EQ(completions[0].result.service_choice, 0x0C);
  EXPECT_EQ(hex(completions[0].result.data), "AA BB CC");
}

TEST_F(ClientTransactions, MissingAndRepeatedSegmentsDrawNegativeAcks)
{
  request(7, hex("01"));
  receive("3C 07 00 03 0C 01", peer);
  take_sent();
  receive("3C 07 02 03 0C 03", peer);  // segment 1 lost
  EXPECT_EQ(take_sent(), std::vector<std::string>{"42 07 00 03"});
  receive("3C 07 01 03 0C 02", peer);
  receive("3C 07 01 03 0C 02", peer);  // the same again
  EXPECT_EQ(take_sent(), std::vector<std::string>{"42 07 01 03"});
  receive("3C 07 02 03 0C 03", peer);
  receive("38 07 03 03 0C 04", peer);
  EXPECT_EQ(take_sent(), (std::vector<std::string>{"40 07 03 03"}));
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(hex(completions[0].result.data), "01 02 03 04");
}

TEST_F(ClientTransactions, SegmentedConfirmationEndsOnSilenceAbortOrStrayAnswers)
{
  request(1, hex("01"));
  receive("3C 01 00 02 0C 01", peer);
  advance(4 * 3000 - 1);
  EXPECT_TRUE(completions.empty());
  advance(1);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_FALSE(completions[0].result.present);

  request(2, hex("01"));
  receive("3C 02 00 02 0C 01", peer);
  receive("71 02 03", peer);
  ASSERT_EQ(completions.size(), 2u);
  EXPECT_EQ(completions[1].result.type, kApduAbort);

  request(3, hex("01"));
  receive("3C 03 00 02 0C 01", peer);
  take_sent();
  receive("30 03 0C 01", peer);  // unsegmented in the middle of a segmented answer
  EXPECT_EQ(take_sent(), std::vector<std::string>{"70 03 00"});
  ASSERT_EQ(completions.size(), 3u);
  EXPECT_EQ(completions[2].success, 0);
  EXPECT_EQ(completions[2].result.type, kApduComplexAck);
}

TEST_F(ClientTransactions, OneSegmentAnswerIsComplete)
{
  request(7, hex("01"));
  take_sent();
  receive("38 07 00 00 0C AA", peer);  // window 0 counts as 1
  EXPECT_EQ(take_sent(), std::vector<std::string>{"40 07 00 01"});
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 1);
  EXPECT_EQ(hex(completions[0].result.data), "AA");
}

TEST_F(ClientTransactions, RefusedSendEndsTheRequestAtOnce)
{
  refuse_sends = true;
  request(7, hex("01"));
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].success, 0);
  EXPECT_EQ(application_layer_client_count(), 0u);
}

TEST_F(ClientTransactions, RetryOfASegmentedRequestStartsOver)
{
  restart(3000, 3000, 1);
  auto data = pattern(60);
  std::span<const uint8_t> all(data);
  request(7, data, 0);
  receive("41 07 00 01", peer);
  receive("41 07 01 01", peer);
  EXPECT_EQ(take_sent().size(), 2u);
  advance(3000);  // no answer to the whole request
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("0E 40 07 00 01 0C", all.subspan(0, 44))});
  receive("41 07 00 01", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("0A 40 07 01 01 0C", all.subspan(44))});
}

}  // namespace
}  // namespace apptest
