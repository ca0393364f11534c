// Answer collection in both framings: answers split over chunks, noise, two answers in one
// chunk, bad check sums and exception answers dropped, overlong frames. Check sums of the
// answers below were computed with pymodbus' utilities.
#include "gui/core/modbus_answer.h"

#include <gtest/gtest.h>

using namespace modbus;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

AnswerCollector rtu_for(int address)
{
  AnswerCollector c;
  c.SetAddress(address);
  return c;
}

}  // namespace

TEST(RtuAnswers, AReadAnswerSplitOverChunks)
{
  AnswerCollector c = rtu_for(1);
  Intake first = c.TakeRtu(hex("0103"));
  EXPECT_FALSE(first.complete);
  EXPECT_EQ(c.RxCount(), 2);
  Intake second = c.TakeRtu(hex("02"));
  EXPECT_FALSE(second.complete);
  EXPECT_EQ(c.RxExpected(), 7);
  Intake third = c.TakeRtu(hex("000578"));
  EXPECT_FALSE(third.complete);
  Intake last = c.TakeRtu(hex("47"));
  ASSERT_TRUE(last.complete);
  EXPECT_EQ(last.answer_hex, "01030200057847");
  EXPECT_EQ(c.RxCount(), 0);
  EXPECT_EQ(c.RxExpected(), 0);
}

TEST(RtuAnswers, WriteAnswersAreEightBytes)
{
  AnswerCollector c = rtu_for(1);
  Intake in = c.TakeRtu(hex("011002030001F071"));
  ASSERT_TRUE(in.complete);
  EXPECT_EQ(in.answer_hex, "011002030001F071");
  in = c.TakeRtu(hex("010F000000205413"));
  ASSERT_TRUE(in.complete);
}

TEST(RtuAnswers, NoiseBeforeTheAddressIsSkipped)
{
  AnswerCollector c = rtu_for(1);
  // 0x55 is no address; 0x01 followed by 0x07 looks like the address but 7 is no function
  // code; then 0x01 0x01 (address, read function) starts a frame that fails its CRC, and
  // the search goes on inside it and finds the real answer.
  Intake in = c.TakeRtu(hex("5501070101030200057847"));
  ASSERT_TRUE(in.complete);
  EXPECT_EQ(in.answer_hex, "01030200057847");
  EXPECT_GE(in.rejected, 1);
}

TEST(RtuAnswers, TwoAnswersInOneChunkLeaveTheSecond)
{
  AnswerCollector c = rtu_for(1);
  Intake in = c.TakeRtu(hex("01030200057847") + hex("0101020000B9FC"));
  ASSERT_TRUE(in.complete);
  EXPECT_EQ(in.answer_hex, "0101020000B9FC");
}

TEST(RtuAnswers, ABadCrcIsNoAnswer)
{
  AnswerCollector c = rtu_for(1);
  Intake in = c.TakeRtu(hex("01030200057848"));
  EXPECT_FALSE(in.complete);
  EXPECT_GE(in.rejected, 1);
  EXPECT_EQ(c.RxCount(), 0);
  // The next good answer still comes through.
  EXPECT_TRUE(c.TakeRtu(hex("01030200057847")).complete);
}

TEST(RtuAnswers, ExceptionAnswersCompleteNothing)
{
  AnswerCollector c = rtu_for(1);
  Intake in = c.TakeRtu(hex("018302C0F1"));
  EXPECT_FALSE(in.complete);
  EXPECT_EQ(in.exceptions, 1);
  EXPECT_EQ(c.RxCount(), 0);
  // Split over chunks too.
  EXPECT_FALSE(c.TakeRtu(hex("0183")).complete);
  EXPECT_EQ(c.RxExpected(), 5);
  in = c.TakeRtu(hex("02C0F1"));
  EXPECT_FALSE(in.complete);
  EXPECT_EQ(in.exceptions, 1);
}

TEST(RtuAnswers, OtherSlavesAndNoAddressAreIgnored)
{
  AnswerCollector c = rtu_for(2);
  EXPECT_FALSE(c.TakeRtu(hex("01030200057847")).complete);
  AnswerCollector none;
  EXPECT_FALSE(none.TakeRtu(hex("01030200057847")).complete);
  EXPECT_EQ(none.RxCount(), 0);
}

TEST(RtuAnswers, AFrameLongerThanTheBufferIsDropped)
{
  AnswerCollector c = rtu_for(1);
  QByteArray frame = hex("0103C8");  // byte count 200
  frame.append(QByteArray(60, '\x00'));
  Intake in = c.TakeRtu(frame);
  EXPECT_FALSE(in.complete);
  EXPECT_LE(c.RxCount(), AnswerCollector::kRtuBufferSize);
}

TEST(AsciiAnswers, AFrameSplitOverChunks)
{
  AnswerCollector c = rtu_for(1);
  EXPECT_FALSE(c.TakeAscii(":0103020005").complete);
  EXPECT_TRUE(c.AsciiFrameOpen());
  EXPECT_FALSE(c.TakeAscii("F5").complete);
  Intake in = c.TakeAscii("\r\n");
  ASSERT_TRUE(in.complete);
  EXPECT_EQ(in.answer_hex, "0103020005F5");
}

TEST(AsciiAnswers, NoiseBeforeTheColonIsDropped)
{
  AnswerCollector c = rtu_for(1);
  EXPECT_FALSE(c.TakeAscii("xy\r\n").complete);
  Intake in = c.TakeAscii("zz:011002030001E9\r\n");
  ASSERT_TRUE(in.complete);
  EXPECT_EQ(in.answer_hex, "011002030001E9");
}

TEST(AsciiAnswers, BadLrcLengthOrAddressIsNoAnswer)
{
  AnswerCollector c = rtu_for(1);
  for (const char* bad : {":0103020005F6\r\n", ":01030200F5\r\n", ":0203020005F4\r\n", ":0103020005F5\n", ":\r\n",
                          ":\n", ":0103020G05F5\r\n", ":010302000\r\n"}) {
    Intake in = c.TakeAscii(bad);
    EXPECT_FALSE(in.complete) << bad;
    EXPECT_EQ(in.rejected, 1) << bad;
  }
  EXPECT_TRUE(c.TakeAscii(":0103020005F5\r\n").complete);
}

TEST(AsciiAnswers, ExceptionAnswersCompleteNothing)
{
  AnswerCollector c = rtu_for(1);
  Intake in = c.TakeAscii(":0183027A\r\n");
  EXPECT_FALSE(in.complete);
  EXPECT_EQ(in.exceptions, 1);
  in = c.TakeAscii(":018F046C\r\n");
  EXPECT_FALSE(in.complete);
  EXPECT_EQ(in.exceptions, 1);
}

TEST(AsciiAnswers, ANewColonStartsAgain)
{
  AnswerCollector c = rtu_for(1);
  Intake in = c.TakeAscii(":0103:0103020005F5\r\n");
  ASSERT_TRUE(in.complete);
  EXPECT_EQ(in.answer_hex, "0103020005F5");
  EXPECT_EQ(in.rejected, 1);
}
