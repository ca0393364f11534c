#include "gui/core/monitor_cycle.h"
#include "gui/core/pc_clock.h"
#include "gui/core/register_rows.h"
#include "gui/core/window_design.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

// Every row and every frame is placed exactly once, in the frame its row names.
std::map<std::pair<int, int>, std::string> placed_rows()
{
  std::map<std::pair<int, int>, std::string> placed;
  for (const design::FrameDesign& f : design::Frames())
    for (const design::Entry& e : f.lines)
      if (e.item <= design::Item::InBit) {
        auto key = std::make_pair(int(e.item), e.index);
        EXPECT_EQ(placed.count(key), 0u) << f.name << " " << e.index;
        placed[key] = f.name;
      }
  return placed;
}

}  // namespace

TEST(WindowTables, EveryRowSitsInTheFrameItNames)
{
  auto placed = placed_rows();
  for (const auto& r : rows::ConfigRegisters())
    EXPECT_EQ(placed[std::make_pair(int(design::Item::Cfg), r.index)], r.frame) << r.index;
  for (const auto& r : rows::InputRegisters()) {
    if (r.index <= 5)  // the clock fields sit in their date and time lines
      continue;
    EXPECT_EQ(placed[std::make_pair(int(design::Item::In), r.index)], r.frame) << r.index;
  }
  for (const auto& r : rows::OutputRegisters())
    EXPECT_EQ(placed[std::make_pair(int(design::Item::Out), r.index)], r.frame) << r.index;
  for (const auto& r : rows::ConfigBits())
    EXPECT_EQ(placed[std::make_pair(int(design::Item::CfgBit), r.index)], r.frame ? r.frame : "reserved_bits") << r.index;
  for (const auto& r : rows::InputBits())
    EXPECT_EQ(placed[std::make_pair(int(design::Item::InBit), r.index)], r.frame) << r.index;
}

TEST(WindowTables, RowsCoverEveryIndexInOrder)
{
  ASSERT_EQ(rows::ConfigRegisters().size(), 73u);
  ASSERT_EQ(rows::InputRegisters().size(), 28u);
  ASSERT_EQ(rows::OutputRegisters().size(), 17u);
  ASSERT_EQ(rows::ConfigBits().size(), 32u);
  ASSERT_EQ(rows::InputBits().size(), 16u);
  for (size_t i = 0; i < 73; ++i) {
    const auto& r = rows::ConfigRegisters()[i];
    EXPECT_EQ(r.index, int(i));
    EXPECT_EQ(r.field == rows::Field::Choice, design::HasConfigChoice(r.index)) << i;
    EXPECT_EQ(r.field == rows::Field::Spin, design::HasConfigSpin(r.index)) << i;
    EXPECT_LE(r.lower, r.upper);
  }
  for (size_t i = 0; i < 28; ++i)
    EXPECT_EQ(rows::InputRegisters()[i].index, int(i));
  for (size_t i = 0; i < 32; ++i)
    EXPECT_EQ(rows::ConfigBits()[i].choice, design::HasBitChoice(int(i))) << i;
  std::set<int> desc;
  for (const auto& d : design::DescLabels())
    desc.insert(d.index);
  EXPECT_EQ(desc.size(), 80u);
  EXPECT_EQ(*desc.rbegin(), 79);
}

TEST(WindowTables, FactoryValues)
{
  const std::map<int, double> expected = {
      {0, 1},  {1, 1},  {2, 12}, {3, 0},    {4, 10},  {5, 80},  {6, 10},   {7, 80},  {8, 0},  {19, 0}, {20, 1},
      {27, 1}, {28, 0}, {31, 0}, {32, 10},  {33, 10}, {34, 0},  {35, 3},   {36, -3}, {37, 0.5}, {38, 22},
      {47, 3}, {48, -3}, {49, 0.5}, {50, 22}, {51, 0}, {58, 0}, {59, 3},  {60, 200}, {61, 1}, {68, 1},
      {69, 0.5}, {70, 1}, {71, 1}, {72, 5}};
  for (auto [i, v] : expected)
    EXPECT_EQ(rows::ConfigRegisters()[size_t(i)].factory, v) << i;
  const std::set<int> set_bits = {0, 20, 21, 22, 24, 25, 26};
  for (const auto& b : rows::ConfigBits())
    EXPECT_EQ(b.factory, set_bits.count(b.index) ? 1 : 0) << b.index;
}

TEST(WindowTables, ChoiceListsAndFanStages)
{
  EXPECT_EQ(design::ConfigChoices(8, false).size(), 20);
  EXPECT_EQ(design::ConfigChoices(19, true).at(13), "0x0D, Fan stage Plus with 'AUTO'");
  EXPECT_EQ(design::ConfigChoices(13, false).at(17), QString::fromUtf8("0x11, Lüfterstufe nur \"AUTO\""));
  EXPECT_EQ(design::ConfigChoices(61, false), QStringList({"keine", "Temp", "%"}));
  EXPECT_EQ(design::FanStageTexts(2), QStringList({"Aus", "Stufe 1", "not used", "Stufe 2", "Auto Aus",
                                                   "Auto Stufe 1", "not used", "Auto Stufe 2"}));
  // Every list position means the same in both languages.
  for (int i = 24; i <= 30; ++i)
    EXPECT_EQ(design::BitChoices(i, false).size(), design::BitChoices(i, true).size());
  EXPECT_EQ(design::BitChoices(25, true).at(0), "Without decimal point");
}

TEST(WindowTables, ButtonIndicatorsStretchOverEmptyRows)
{
  auto r = design::ButtonIndicatorDesign(6);
  EXPECT_EQ(r.left, 950);
  EXPECT_EQ(r.top, 2850);
  r = design::ButtonIndicatorUnderLayout(1, 6, r);
  EXPECT_EQ(r.top, 3210);
  EXPECT_EQ(r.height, 680);
  r = design::ButtonIndicatorUnderLayout(2, 6, r);
  EXPECT_EQ(r.top, 2850);
  EXPECT_EQ(r.height, 285);
  auto four = design::ButtonIndicatorUnderLayout(0, 4, design::ButtonIndicatorDesign(4));
  EXPECT_EQ(four.height, 1400);
  EXPECT_EQ(four.top, 2480);
  EXPECT_TRUE(design::ButtonIndicatorVisible(0, 5));
  EXPECT_FALSE(design::ButtonIndicatorVisible(0, 0));
  EXPECT_FALSE(design::ButtonIndicatorVisible(2, 3));
  EXPECT_TRUE(design::ButtonIndicatorVisible(2, 11));
  EXPECT_TRUE(design::ButtonIndicatorVisible(3, 0));
}

TEST(WindowTables, ClockFieldsAndPollCycle)
{
  const auto texts = pc_clock::ClockFieldTexts(QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)));
  EXPECT_EQ(texts, (std::array<QString, 6>{"3", "7", "9", "5", "3", "26"}));
  EXPECT_EQ(pc_clock::ClockFieldTexts(QDateTime(QDate(2000, 12, 31), QTime(23, 0, 0)))[5], "0");
  EXPECT_EQ(monitor::PollIntervalMs(10), 10000);
  EXPECT_EQ(monitor::PollIntervalMs(100), 100000);
  EXPECT_EQ(monitor::PollIntervalMs(0), 1000);
  monitor::CycleGuard guard;
  EXPECT_TRUE(guard.Begin());
  EXPECT_FALSE(guard.Begin());
  guard.End();
  EXPECT_TRUE(guard.Begin());
}
