#include "core_fixture.h"

#include "gui/core/field_rules.h"
#include "gui/core/program_state.h"

#include <gtest/gtest.h>

using namespace fields;
using rows::KeyClass;

namespace {

class FieldRules : public ::testing::Test {
protected:
  void SetUp() override
  {
    coretest::ensure_core_app();
    saved_ = global::DecimalSeparator;
    global::DecimalSeparator = ",";
  }
  void TearDown() override { global::DecimalSeparator = saved_; }
  QString saved_;
};

const SetpointUnitPositions kTemp = {1, 1, 1, 1};

}  // namespace

TEST_F(FieldRules, NumbersReadWithTheUsersSeparatorOnly)
{
  EXPECT_EQ(ReadNumber("21,5"), 21.5);
  EXPECT_EQ(ReadNumber(" -3 "), -3);
  EXPECT_EQ(ReadNumber("0,5"), 0.5);
  EXPECT_EQ(ReadNumber(",5"), 0.5);
  for (const char* bad : {"", "-", ",", "abc", "1.5", "1,2,3", "--1", "1-"})
    EXPECT_FALSE(ReadNumber(bad).has_value()) << bad;
  global::DecimalSeparator = ".";
  EXPECT_EQ(ReadNumber("1.5"), 1.5);
  EXPECT_FALSE(ReadNumber("1,5").has_value());
}

TEST_F(FieldRules, NumberTextUsesTheSeparatorWithoutLeadingBlank)
{
  EXPECT_EQ(NumberText(21.6), "21,6");
  EXPECT_EQ(NumberText(-10), "-10");
  EXPECT_EQ(NumberText(0), "0");
  EXPECT_EQ(NumberText(1234567), "1234567");
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
}

TEST_F(FieldRules, KeyClassesFollowTheRegister)
{
  // 20: whole; 36: signed; 37 and 45: decimal; 44 and 58: signed.
  EXPECT_EQ(ConfigKeyClass(20), KeyClass::Whole);
  EXPECT_EQ(ConfigKeyClass(36), KeyClass::Signed);
  EXPECT_EQ(ConfigKeyClass(37), KeyClass::Decimal);
  EXPECT_EQ(ConfigKeyClass(45), KeyClass::Decimal);
  EXPECT_EQ(ConfigKeyClass(44), KeyClass::Signed);
  EXPECT_EQ(ConfigKeyClass(58), KeyClass::Signed);
  EXPECT_EQ(ConfigKeyClass(71), KeyClass::Whole);
  EXPECT_EQ(ConfigKeyClass(72), KeyClass::Decimal);

  EXPECT_EQ(FilterKey(KeyClass::Whole, '7', ""), '7');
  EXPECT_EQ(FilterKey(KeyClass::Whole, 8, "12"), 8);
  EXPECT_EQ(FilterKey(KeyClass::Whole, 127, "12"), 127);
  EXPECT_EQ(FilterKey(KeyClass::Whole, ',', "12"), 0);
  EXPECT_EQ(FilterKey(KeyClass::Whole, '-', "12"), 0);
  EXPECT_EQ(FilterKey(KeyClass::Signed, '-', "12"), '-');
  EXPECT_EQ(FilterKey(KeyClass::Signed, '-', "12-"), 0);
  EXPECT_EQ(FilterKey(KeyClass::Signed, '.', "12"), 0);
  EXPECT_EQ(FilterKey(KeyClass::Signed, ',', "1,2"), 0);
  EXPECT_EQ(FilterKey(KeyClass::Decimal, ',', "12"), ',');
  EXPECT_EQ(FilterKey(KeyClass::Decimal, '-', "12"), 0);
  EXPECT_EQ(FilterKey(KeyClass::Decimal, 22, "12"), 0);  // the paste shortcut

  // Input 9 follows cmb_cfg(66): "%" whole, "keine" and "Temp" signed, nothing unfiltered.
  EXPECT_EQ(InputKeyClass(9, 2), KeyClass::Whole);
  EXPECT_EQ(InputKeyClass(9, 1), KeyClass::Signed);
  EXPECT_EQ(InputKeyClass(9, 0), KeyClass::Signed);
  EXPECT_FALSE(InputKeyClass(9, -1).has_value());
  EXPECT_EQ(InputKeyClass(3, -1), KeyClass::Whole);
  EXPECT_EQ(InputKeyClass(27, -1), KeyClass::Signed);
}

TEST_F(FieldRules, LeavingAConfigurationFieldChecksItsRange)
{
  SetpointUnitPositions sp2_none = {1, 0, 1, 1};
  EXPECT_FALSE(ConfigLostFocus(40, "1234", sp2_none, 0));
  EXPECT_EQ(ConfigLostFocus(40, "10000", sp2_none, 0), "0");
  EXPECT_EQ(ConfigLostFocus(40, "300", kTemp, 0), "0");
  EXPECT_FALSE(ConfigLostFocus(40, "250", kTemp, 0));
  EXPECT_EQ(ConfigLostFocus(5, "150", kTemp, 0), "100");
  EXPECT_EQ(ConfigLostFocus(5, "-3", kTemp, 0), "0");
  EXPECT_EQ(ConfigLostFocus(5, "", kTemp, 0), "0");
  EXPECT_EQ(ConfigLostFocus(60, "256", kTemp, 0), "0");
  EXPECT_EQ(ConfigLostFocus(3, "70000", kTemp, 0), "0");
  EXPECT_FALSE(ConfigLostFocus(3, "255", kTemp, 0));
  EXPECT_FALSE(ConfigLostFocus(3, "-255", kTemp, 0));
  // An unreadable text gets the stored value back; empty counts as unreadable in the wide range.
  SetpointUnitPositions sp3_none = {1, 1, 0, 1};
  EXPECT_EQ(ConfigLostFocus(45, "", sp3_none, 0.5), "0,5");
  EXPECT_EQ(ConfigLostFocus(40, "-", kTemp, 22), "22");
}

TEST_F(FieldRules, LeavingAnInputFieldChecksItsRange)
{
  EXPECT_EQ(InputLostFocus(12, "150", kTemp, 0), "0");
  EXPECT_FALSE(InputLostFocus(3, "99", kTemp, 0));
  EXPECT_EQ(InputLostFocus(3, "", kTemp, 0), "0");
  EXPECT_EQ(InputLostFocus(9, "abc", kTemp, 7), "7");
  EXPECT_FALSE(InputLostFocus(9, "5000", kTemp, 0));
  EXPECT_EQ(InputLostFocus(9, "10000", kTemp, 0), "0");
  EXPECT_EQ(InputLostFocus(14, "5000", kTemp, 0), "0");
  EXPECT_FALSE(InputLostFocus(14, "5000", {0, 1, 1, 1}, 0));
  EXPECT_FALSE(InputLostFocus(26, "100", kTemp, 0));
}

TEST_F(FieldRules, StepsStopAtTheLimits)
{
  EXPECT_EQ(StepUp("21,5", 100, 0.1), "21,6");
  EXPECT_EQ(StepUp("99,95", 100, 0.1), "100");
  EXPECT_EQ(StepUp("100", 100, 0.1), "100");
  EXPECT_EQ(StepDown("0,05", 0, 0.1), "0");
  EXPECT_EQ(StepUp("2999,5", 3000, 1), "3000");
  EXPECT_EQ(StepUp("70000", 65535, 1), "65535");
  EXPECT_EQ(StepDown("70000", 0, 1), "69999");
  EXPECT_FALSE(StepUp("", 100, 1));
  EXPECT_FALSE(StepDown("-", 0, 1));
  // Repeated tenths stay clean.
  QString text = "0";
  for (int i = 0; i < 3; ++i)
    text = *StepDown(text, -10, 0.1);
  EXPECT_EQ(text, "-0,3");
}

TEST_F(FieldRules, LampFollowsTheMarks)
{
  EXPECT_EQ(LampStateAfterMarks(true, 0), 1);
  EXPECT_EQ(LampStateAfterMarks(true, 2), 1);
  EXPECT_EQ(LampStateAfterMarks(false, 1), 2);
  EXPECT_FALSE(LampStateAfterMarks(false, 0));
  EXPECT_FALSE(LampStateAfterMarks(false, 2));
}
