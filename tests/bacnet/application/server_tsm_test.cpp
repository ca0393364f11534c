#include "fake_port.h"

#include <cstring>
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

class ServerTransactions : public StackFixture {
public:
  // The handlers answer every request with this.
  void answer_with(uint32_t kind, std::vector<uint8_t> data = {}, uint8_t reject_reason = 0)
  {
    on_request = [=](const ServiceRequest&, ServiceAnswer* a) {
      a->kind = kind;
      a->data = data;
      a->reject_reason = reject_reason;
      return 0;
    };
  }
};

TEST_F(ServerTransactions, EachAnswerKindGoesOutAsItsPdu)
{
  struct Case {
    uint32_t kind;
    std::vector<uint8_t> data;
    const char* sent;
  };
  const Case cases[] = {
      {kAnswerSimpleAck, {}, "20 07 0C"},
      {kAnswerComplexAck, hex("AA BB"), "30 07 0C AA BB"},
      {kAnswerError, hex("91 02 91 20"), "50 07 0C 91 02 91 20"},
      {kAnswerError, {}, "60 07 00"},  // an Error without class and code cannot go out
      {kAnswerNone, {}, "71 07 00"},   // the handler took the request but filled nothing
      {1, {}, "71 07 00"},
      {9, {}, "71 07 02"},
  };
  for (const Case& c : cases) {
    answer_with(c.kind, c.data);
    receive("02 05 07 0C 19 4D", peer);
    EXPECT_EQ(take_sent(), std::vector<std::string>{c.sent}) << c.sent;
  }
  answer_with(kAnswerReject, {}, 5);
  receive("02 05 07 0C 19 4D", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"60 07 05"});
  on_request = nullptr;  // refuses
  receive("02 05 07 0C 19 4D", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"60 07 00"});

  ASSERT_FALSE(requests_seen.empty());
  EXPECT_EQ(requests_seen[0].source, peer);
  EXPECT_EQ(requests_seen[0].service_choice, 0x0C);
  EXPECT_EQ(requests_seen[0].max_segments_apdu, 0x05);
  EXPECT_EQ(requests_seen[0].segmented_response_accepted, 1);
  EXPECT_EQ(hex(request_data_seen[0]), "19 4D");
  EXPECT_EQ(local_seen[0], own);
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, AnswerGoesBackToTheRequester)
{
  answer_with(kAnswerSimpleAck);
  receive("02 05 07 0C", peer);
  auto frames = take_frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].destination, peer);
  EXPECT_EQ(hex(frames[0].npdu), "01 00 20 07 0C");
}

TEST_F(ServerTransactions, LongComplexAckGoesInWindows)
{
  // Max-APDU code 0: 45 octets of answer per segment, so 100 octets take three.
  auto data = pattern(100);
  std::span<const uint8_t> all(data);
  answer_with(kAnswerComplexAck, data);
  receive("02 00 07 0C", peer);
  auto sent = take_sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], with("3C 07 00 02 0C", all.subspan(0, 45)));
  EXPECT_EQ(sent[0].size(), 50u * 3 - 1);

  receive("40 07 00 03", peer);
  EXPECT_EQ(take_sent(), (std::vector<std::string>{with("3C 07 01 02 0C", all.subspan(45, 45)),
                                                   with("38 07 02 02 0C", all.subspan(90))}));
  receive("40 07 00 03", peer);  // a duplicate
  EXPECT_TRUE(take_sent().empty());
  EXPECT_EQ(application_layer_server_count(), 1u);
  receive("40 07 02 03", peer);
  EXPECT_TRUE(take_sent().empty());
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, SegmentBoundaryOfTheAnswer)
{
  answer_with(kAnswerComplexAck, pattern(44));
  receive("02 00 07 0C", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("30 07 0C", pattern(44))});

  answer_with(kAnswerComplexAck, pattern(45));
  receive("02 00 08 0C", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("38 08 00 01 0C", pattern(45))});
  receive("40 08 00 01", peer);
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, MaxApduCodeIsTheLowFourBits)
{
  answer_with(kAnswerComplexAck, pattern(100));
  receive("02 08 07 0C", peer);  // reserved code 8 counts as 1476 octets, not as code 0
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("30 07 0C", pattern(100))});
  receive("02 70 08 0C", peer);  // more than 64 segments accepted, code 0: 50 octets
  auto sent = take_sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].substr(0, 14), "3C 08 00 02 0C");
}

TEST_F(ServerTransactions, SegmentedAnswerNeedsTheRequestersConsent)
{
  answer_with(kAnswerComplexAck, pattern(100));
  receive("00 00 07 0C", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"71 07 04"});
}

TEST_F(ServerTransactions, SegmentedAnswerNeedsNoMoreSegmentsThanTheRequesterTakes)
{
  // 100 octets at 50 per APDU take three segments.
  const std::pair<const char*, const char*> cases[] = {
      {"02 10 07 0C", "71 07 0B"},        // two segments accepted: Abort, APDU too long
      {"02 20 07 0C", "3C 07 00 02 0C"},  // four
      {"02 00 07 0C", "3C 07 00 02 0C"},  // unspecified
      {"02 70 07 0C", "3C 07 00 02 0C"},  // more than 64
  };
  answer_with(kAnswerComplexAck, pattern(100));
  for (const auto& [request, first] : cases) {
    receive(request, peer);
    auto sent = take_sent();
    ASSERT_EQ(sent.size(), 1u) << request;
    EXPECT_EQ(sent[0].substr(0, std::strlen(first)), first) << request;
    receive("70 07 00", peer);  // the requester gives up; the next case starts afresh
  }
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, LostAnswerSegmentIsSentAgain)
{
  auto data = pattern(100);
  std::span<const uint8_t> all(data);
  answer_with(kAnswerComplexAck, data);
  receive("02 00 07 0C", peer);
  receive("40 07 00 03", peer);
  take_sent();
  // The requester has segment 1 but not 2.
  receive("42 07 01 03", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{with("38 07 02 02 0C", all.subspan(90))});
  receive("40 07 02 03", peer);
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, UnacknowledgedWindowIsRepeatedThenDropped)
{
  restart(3000, 3000, 2);
  answer_with(kAnswerComplexAck, pattern(100));
  receive("02 00 07 0C", peer);
  EXPECT_EQ(take_sent().size(), 1u);
  for (int i = 0; i < 3; ++i) {
    advance(2999);
    EXPECT_TRUE(take_sent().empty());
    advance(1);
    EXPECT_EQ(take_sent().size(), 1u);
  }
  advance(3000);
  EXPECT_TRUE(take_sent().empty());
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, RequesterAbortEndsTheAnswerSilently)
{
  answer_with(kAnswerComplexAck, pattern(100));
  receive("02 00 07 0C", peer);
  take_sent();
  receive("70 07 00", peer);
  EXPECT_TRUE(take_sent().empty());
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, RepeatedRequestDuringTheAnswerIsAborted)
{
  answer_with(kAnswerComplexAck, pattern(100));
  receive("02 00 07 0C", peer);
  take_sent();
  receive("02 00 07 0C", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"71 07 02"});
  EXPECT_EQ(requests_seen.size(), 1u);
}

TEST_F(ServerTransactions, SegmentedRequestIsGatheredThenAnswered)
{
  answer_with(kAnswerSimpleAck);
  receive("0E 05 07 00 02 0F AA", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"41 07 00 02"});
  receive("0E 05 07 01 02 0F BB", peer);
  EXPECT_TRUE(take_sent().empty());
  EXPECT_TRUE(requests_seen.empty());
  receive("0A 05 07 02 02 0F CC", peer);
  EXPECT_EQ(take_sent(), (std::vector<std::string>{"41 07 02 02", "20 07 0F"}));
  ASSERT_EQ(request_data_seen.size(), 1u);
  EXPECT_EQ(hex(request_data_seen[0]), "AA BB CC");
  EXPECT_EQ(requests_seen[0].service_choice, 0x0F);
}

TEST_F(ServerTransactions, SkippedOrRepeatedRequestSegmentDrawsANegativeAck)
{
  answer_with(kAnswerSimpleAck);
  receive("0E 05 07 00 02 0F AA", peer);
  take_sent();
  receive("0E 05 07 02 02 0F CC", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"43 07 00 02"});
  receive("0E 05 07 00 02 0F AA", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"43 07 00 02"});
  receive("0E 05 07 01 02 0F BB", peer);
  receive("0A 05 07 02 02 0F CC", peer);
  EXPECT_EQ(take_sent(), (std::vector<std::string>{"41 07 02 02", "20 07 0F"}));
  EXPECT_EQ(hex(request_data_seen.at(0)), "AA BB CC");
}

TEST_F(ServerTransactions, SegmentedRequestEndsOnWrongPduOrSilence)
{
  receive("0E 05 07 00 02 0F AA", peer);
  take_sent();
  receive("00 05 07 0F", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"71 07 02"});
  EXPECT_EQ(application_layer_server_count(), 0u);

  receive("0E 05 08 00 02 0F AA", peer);
  take_sent();
  advance(4 * 3000 - 1);
  EXPECT_EQ(application_layer_server_count(), 1u);
  advance(1);
  EXPECT_EQ(application_layer_server_count(), 0u);
  EXPECT_TRUE(take_sent().empty());
  EXPECT_TRUE(requests_seen.empty());
}

TEST_F(ServerTransactions, LaterSegmentWithoutItsStartIsAborted)
{
  receive("0E 05 07 03 02 0F AA", peer);
  EXPECT_EQ(take_sent(), std::vector<std::string>{"71 07 02"});
  EXPECT_EQ(application_layer_server_count(), 0u);
}

TEST_F(ServerTransactions, OneSegmentRequestIsComplete)
{
  answer_with(kAnswerSimpleAck);
  receive("0A 05 07 00 00 0F AA", peer);
  EXPECT_EQ(take_sent(), (std::vector<std::string>{"41 07 00 01", "20 07 0F"}));
}

TEST_F(ServerTransactions, AtMost128RequestsAreServedAtOnce)
{
  for (int i = 0; i < 128; ++i) {
    std::vector<uint8_t> segment = hex("0E 05 00 00 02 0F AA");
    segment[2] = uint8_t(i);
    receive(segment, peer);
  }
  EXPECT_EQ(take_sent().size(), 128u);
  EXPECT_EQ(application_layer_server_count(), 128u);
  receive("0E 05 C8 00 02 0F AA", peer);
  EXPECT_TRUE(take_sent().empty());
  // The transactions already running still take their segments.
  receive("0E 05 05 01 02 0F BB", peer);
  EXPECT_TRUE(take_sent().empty());
  EXPECT_NE(application_layer_find_server(peer, 5), nullptr);
  EXPECT_EQ(application_layer_find_server(ip_address(3), 5), nullptr);
}

}  // namespace
}  // namespace apptest
