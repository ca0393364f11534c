#include "gui/core/settings_fields.h"

#include <gtest/gtest.h>

using namespace settings_fields;

TEST(SettingsFields, CorrectionsKeepTheRange)
{
  EXPECT_FALSE(Check("50", 0, 100));
  EXPECT_FALSE(Check("0", 0, 100));
  auto empty = Check("", 0, 50000);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->text, "0");
  EXPECT_EQ(empty->message, nullptr);
  auto low = Check("0", 1, 127);
  ASSERT_TRUE(low);
  EXPECT_EQ(low->text, "1");
  EXPECT_STREQ(low->message, "Wert zu niedrig");
  auto high = Check("1270", 1, 127);
  ASSERT_TRUE(high);
  EXPECT_EQ(high->text, "127");
  EXPECT_STREQ(high->message, "Wert zu hoch");
  auto huge = Check("99999999999999999999999", 0, 4194305);
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->text, "4194305");
  auto pasted = Check("abc", 1, 100);
  ASSERT_TRUE(pasted);
  EXPECT_EQ(pasted->text, "1");
  EXPECT_EQ(Value("4194305", 0), 4194305);
  EXPECT_EQ(Value("x", 7), 7);
}

TEST(SettingsFields, UpDownStepsByOneWithinTheLimits)
{
  EXPECT_EQ(StepUp("4194305", 0, 4194305), "4194305");
  EXPECT_EQ(StepUp("5", 0, 100), "6");
  EXPECT_EQ(StepDown("0", 0, 100), "0");
  EXPECT_EQ(StepDown("5", 0, 100), "4");
  EXPECT_EQ(StepDown("200", 1, 100), "199");
  EXPECT_FALSE(StepUp("", 0, 100));
  EXPECT_FALSE(StepDown("x", 0, 100));
}

TEST(SettingsFields, OnlyDigitsAndDeletionKeysPass)
{
  for (int k = '0'; k <= '9'; ++k)
    EXPECT_TRUE(KeyAllowed(k));
  EXPECT_TRUE(KeyAllowed(8));
  EXPECT_TRUE(KeyAllowed(127));
  for (int k : {int('a'), int('-'), int(','), int('.'), int(' '), 22, 13})
    EXPECT_FALSE(KeyAllowed(k)) << k;
}
