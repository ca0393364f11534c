#include "core_fixture.h"

#include "gui/core/register_image.h"

#include <QDir>
#include <array>

using namespace coretest;

namespace {

// The configuration window's register controls, as plain arrays.
struct FakeControls : RegisterControls {
  std::array<QString, 73> cfg;
  std::array<QString, 17> out;
  std::array<QString, 28> in;
  std::array<int, 32> cfg_bits{};
  std::array<int, 16> in_bits{};
  std::array<int, 32> bit_combo{};
  std::array<int, 12> button{};
  std::vector<int> clicked;
  QString temperature;
  int fan_list = 0;
  std::vector<std::pair<bool, bool>> resets;

  QString ConfigText(int i) const override { return cfg[i]; }
  void SetConfigText(int i, const QString& t) override { cfg[i] = t; }
  QString OutputText(int i) const override { return out[i]; }
  void SetOutputText(int i, const QString& t) override { out[i] = t; }
  QString InputText(int i) const override { return in[i]; }
  void SetInputText(int i, const QString& t) override { in[i] = t; }
  int ConfigBit(int i) const override { return cfg_bits[i]; }
  void SetConfigBit(int i, int v) override { cfg_bits[i] = v; }
  void chk_cfg_Click(int i) override { clicked.push_back(i); }
  void SetBitComboIndex(int i, int index) override { bit_combo[i] = index; }
  int InputBit(int i) const override { return in_bits[i]; }
  void SetInputBit(int i, int v) override { in_bits[i] = v; }
  void SetButtonLabel(int j, bool set) override { button[j] = set ? 1 : 2; }
  void SetTemperatureCaption(const QString& t) override { temperature = t; }
  int FanStageListIndex() const override { return fan_list; }
  void SetLampGreen() override {}
  void reset_red_field(bool conf, bool reg) override { resets.emplace_back(conf, reg); }
  void func_red_field() override {}
};

QByteArray words(std::initializer_list<std::pair<int, int>> set, int count)
{
  QByteArray bytes(count * 2, '\0');
  for (auto [index, raw] : set) {
    bytes[index * 2] = char(raw & 0xFF);
    bytes[index * 2 + 1] = char((raw >> 8) & 0xFF);
  }
  return bytes;
}

int word_at(const QByteArray& bytes, int index)
{
  return uint8_t(bytes[index * 2]) | (uint8_t(bytes[index * 2 + 1]) << 8);
}

}  // namespace

class RegisterImage : public ProgramFolderTest {
protected:
  void SetUp() override
  {
    ProgramFolderTest::SetUp();
    global::DecimalSeparator = ",";
  }
  void put(int file, const QByteArray& bytes) { ASSERT_TRUE(write_all(global::ValueFilePath(file), bytes)); }
  QByteArray file(int number) const { return read_all(global::ValueFilePath(number)); }

  FakeControls controls_;
};

TEST_F(RegisterImage, ConfigurationBlockLoadsWithTenthsAndPercent)
{
  put(1, words({{34, 0x00FA}, {4, 0x00FF}, {5, 200}, {69, 215}, {0, 0xFFFE}, {72, 7}}, 73));
  put(4, octets({0x01, 0x00, 0x00, 0x80}));
  global::ConfigBits.fill(1);
  global::LoadResultFiles(true, false, &controls_);
  EXPECT_EQ(global::ConfigRegisters[34], 25);
  EXPECT_EQ(global::ConfigRegisters[4], 100);
  EXPECT_EQ(global::ConfigRegisters[5], 78);
  EXPECT_EQ(global::ConfigRegisters[69], 21.5);
  EXPECT_EQ(global::ConfigRegisters[0], -2);
  EXPECT_EQ(global::ConfigRegisters[72], 7);
  for (int i = 0; i < 32; ++i)
    EXPECT_EQ(global::ConfigBits[i], i == 0 || i == 31 ? 1 : 0) << i;
  EXPECT_EQ(controls_.resets, (std::vector<std::pair<bool, bool>>{{true, false}}));

  global::ShowRegisterTables(true, false, controls_);
  EXPECT_EQ(controls_.cfg[34], "25");
  EXPECT_EQ(controls_.cfg[69], "21,5");
  EXPECT_EQ(controls_.cfg_bits[31], 1);
  EXPECT_EQ(controls_.clicked.size(), 32u);
  EXPECT_EQ(controls_.bit_combo[24], 0);
  EXPECT_EQ(controls_.out[0], "0");  // the output registers go with either flag
}

TEST_F(RegisterImage, GroupSwitchesChooseTenths)
{
  const QByteArray out = words({{3, 215}, {4, 216}, {5, 100}}, 17);
  const QByteArray in = words({{14, 215}, {20, 217}, {15, 50}, {8, 123}, {9, 123}}, 28);
  for (int sw : {0, 1, 2}) {
    put(1, words({{61, sw}, {62, 7}, {35, 215}, {38, 220}, {39, 33}, {65, 1}, {66, 2}}, 73));
    put(2, out);
    put(3, in);
    global::LoadResultFiles(true, true, nullptr);
    double scale = sw == 2 ? 1 : 10;
    EXPECT_EQ(global::ConfigRegisters[35], 215 / scale) << sw;
    EXPECT_EQ(global::ConfigRegisters[38], 220 / scale) << sw;
    EXPECT_EQ(global::OutputRegisters[3], global::NumberText(215 / scale)) << sw;
    EXPECT_EQ(global::OutputRegisters[4], global::NumberText(216 / scale)) << sw;
    EXPECT_EQ(global::InputRegisters[14], 215 / scale) << sw;
    EXPECT_EQ(global::InputRegisters[20], 217 / scale) << sw;
    // Switch 62 holds 7: its group stays as read. External value 1 is in tenths, 2 is not.
    EXPECT_EQ(global::ConfigRegisters[39], 33);
    EXPECT_EQ(global::OutputRegisters[5], "100");
    EXPECT_EQ(global::InputRegisters[15], 50);
    EXPECT_EQ(global::InputRegisters[8], 12.3);
    EXPECT_EQ(global::InputRegisters[9], 123);
  }
}

TEST_F(RegisterImage, OutputTemperatureAndButtonLabels)
{
  put(2, words({{0, 0x0801}, {2, 215}, {15, 0xFF02}, {16, 1}}, 17));
  put(3, words({{7, -35 & 0xFFFF}, {26, 0xFF00}}, 28));
  global::LoadResultFiles(false, true, nullptr);
  EXPECT_EQ(global::OutputRegisters[0], "2049");
  EXPECT_EQ(global::OutputRegisters[2], "21,5");
  EXPECT_EQ(global::OutputRegisters[15], "6");
  EXPECT_EQ(global::InputRegisters[7], -3.5);
  EXPECT_EQ(global::InputRegisters[26], 4);

  global::ShowRegisterTables(false, true, controls_);
  EXPECT_EQ(controls_.temperature, "21,5");
  for (int j = 0; j < 12; ++j)
    EXPECT_EQ(controls_.button[j], j == 0 || j == 11 ? 1 : 2) << j;
  EXPECT_EQ(controls_.in[7], "-3,5");
  EXPECT_TRUE(controls_.cfg[0].isNull());  // the configuration block stays untouched
  EXPECT_TRUE(controls_.clicked.empty());

  put(2, words({{15, 2}}, 17));
  global::LoadResultFiles(false, true, nullptr);
  EXPECT_EQ(global::OutputRegisters[15], "2");
}

TEST_F(RegisterImage, ClockDigitsLoadAndSaveAsTheyStand)
{
  global::InputRegisters[0] = 17;
  put(3, words({{5, 0x0026}, {0, 0x001A}, {1, 0x0059}, {2, 0x0123}}, 28));
  global::LoadResultFiles(false, true, nullptr);
  EXPECT_EQ(global::InputRegisters[5], 26);
  EXPECT_EQ(global::InputRegisters[1], 59);
  EXPECT_EQ(global::InputRegisters[2], 123);
  EXPECT_EQ(global::InputRegisters[0], 17);  // 0x1A has no decimal reading

  global::InputRegisters[0] = 5;
  ASSERT_TRUE(global::SaveSourceFiles(false, true, nullptr));
  QByteArray saved = file(3);
  EXPECT_EQ(word_at(saved, 5), 0x0026);
  EXPECT_EQ(word_at(saved, 1), 0x0059);
  EXPECT_EQ(word_at(saved, 2), 0x0012);  // two digits per register
  EXPECT_EQ(word_at(saved, 0), 0x0005);
}

TEST_F(RegisterImage, RoundTripWritesTheSameOctets)
{
  const QByteArray cfg = words({{34, 250}, {69, 215}, {61, 1}, {35, 223}, {4, 200}, {10, 12345}, {0, 0x8000}}, 73);
  const QByteArray in = words({{5, 0x0026}, {26, 0xFF03}, {25, 3}, {7, 0xFFF6}, {14, 221}}, 28);
  put(1, cfg);
  put(2, words({}, 17));
  put(3, in);
  put(4, octets({0xA5, 0x5A, 0x00, 0xFF}));
  put(5, octets({0x81, 0x42}));
  global::LoadResultFiles(true, true, nullptr);
  global::ShowRegisterTables(true, true, controls_);
  global::StartUp(folder_);  // the image is emptied; only the controls keep the values
  global::DecimalSeparator = ",";
  global::CollectRegisterTables(true, true, controls_);
  ASSERT_TRUE(global::SaveSourceFiles(true, true, &controls_));

  QByteArray expected_cfg = cfg;
  expected_cfg[8] = char(199);  // raw 200 is shown as 78 % and saved as 199
  EXPECT_EQ(file(1), expected_cfg);
  EXPECT_EQ(file(3), in);
  EXPECT_EQ(file(4), octets({0xA5, 0x5A, 0x00, 0xFF}));
  EXPECT_EQ(file(5), octets({0x81, 0x42}));
  EXPECT_EQ(file(2), words({}, 17));  // only ever read
  EXPECT_EQ(controls_.resets.back(), std::make_pair(true, true));
}

TEST_F(RegisterImage, SavingRoundsHalfToEven)
{
  global::ConfigRegisters[10] = 2.5;
  global::ConfigRegisters[11] = 3.5;
  global::ConfigRegisters[12] = -2.5;
  global::ConfigRegisters[34] = 0.25;  // tenths: 2.5
  global::ConfigRegisters[70] = 0.75;  // tenths: 7.5
  global::ConfigRegisters[4] = 100;
  global::ConfigRegisters[5] = 50;  // 127.4999... in binary arithmetic
  ASSERT_TRUE(global::SaveSourceFiles(true, false, nullptr));
  QByteArray saved = file(1);
  ASSERT_EQ(saved.size(), 146);
  EXPECT_EQ(word_at(saved, 10), 2);
  EXPECT_EQ(word_at(saved, 11), 4);
  EXPECT_EQ(word_at(saved, 12), 0xFFFE);
  EXPECT_EQ(word_at(saved, 34), 2);
  EXPECT_EQ(word_at(saved, 70), 8);
  EXPECT_EQ(word_at(saved, 4), 255);
  EXPECT_EQ(word_at(saved, 5), 127);
  EXPECT_FALSE(global::FileExists(global::ValueFilePath(3)));
}

TEST_F(RegisterImage, FanStageCodesFollowTheStageCount)
{
  for (int display = 0; display <= 7; ++display) {
    global::InputRegisters[26] = display;
    ASSERT_TRUE(global::SaveSourceFiles(false, true, &controls_));
    static const int kCodes[] = {0, 1, 2, 3, 0xFF00, 0xFF01, 0xFF02, 0xFF03};
    EXPECT_EQ(word_at(file(3), 26), kCodes[display]) << display;
  }
  controls_.fan_list = 3;
  global::InputRegisters[26] = 5;
  ASSERT_TRUE(global::SaveSourceFiles(false, true, &controls_));
  EXPECT_EQ(word_at(file(3), 26), 0);

  EXPECT_EQ(global::GetComboValue(2, 1), 3);
  EXPECT_EQ(global::GetComboValue(3, 2), 4);
  EXPECT_EQ(global::GetComboValue(7, 0), int16_t(0xFF03));
  EXPECT_EQ(global::GetComboValue(8, 0), 0);
  EXPECT_EQ(global::GetComboValue(1, -1), 0);
}

TEST_F(RegisterImage, OnlyValuesReadInThisCallAreConverted)
{
  // A short file 1: only its first 35 registers change, and only those are scaled.
  global::ConfigRegisters[69] = 21.5;
  put(1, words({{34, 250}}, 35));
  global::LoadResultFiles(true, false, nullptr);
  EXPECT_EQ(global::ConfigRegisters[34], 25);
  EXPECT_EQ(global::ConfigRegisters[69], 21.5);

  // Loading the register block, or a configuration block whose file is gone, leaves the
  // configuration values as they are: nothing is scaled twice.
  QFile::remove(global::ValueFilePath(1));
  global::LoadResultFiles(false, true, nullptr);
  global::LoadResultFiles(true, false, nullptr);
  EXPECT_EQ(global::ConfigRegisters[34], 25);
  EXPECT_EQ(global::ConfigRegisters[69], 21.5);
  for (int n = 1; n <= 5; ++n)
    EXPECT_FALSE(global::FileExists(global::ValueFilePath(n))) << n;
}

TEST_F(RegisterImage, ShortBitFilesAndOddOctetsUpdateWhatTheyHold)
{
  global::InputBits.fill(1);
  put(5, octets({0x00}));
  put(3, octets({0x05, 0x00, 0x07}));
  global::InputRegisters[1] = 9;
  global::LoadResultFiles(false, true, nullptr);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(global::InputBits[i], i < 8 ? 0 : 1) << i;
  EXPECT_EQ(global::InputRegisters[0], 5);
  EXPECT_EQ(global::InputRegisters[1], 9);
}

TEST_F(RegisterImage, ValueThatDoesNotFitSixteenBitsWritesNoFile)
{
  put(1, QByteArray(200, 'x'));
  global::ConfigRegisters[3] = 32767;
  global::ConfigRegisters[72] = -32768;
  ASSERT_TRUE(global::SaveSourceFiles(true, false, nullptr));
  EXPECT_EQ(file(1).size(), 146);  // replaced whole, not written over

  const QByteArray before = file(1);
  global::InputRegisters[9] = 40000;
  global::ConfigRegisters[34] = 3276.8;  // tenths: 32768
  EXPECT_FALSE(global::SaveSourceFiles(true, true, &controls_));
  EXPECT_EQ(file(1), before);
  EXPECT_FALSE(global::FileExists(global::ValueFilePath(3)));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(controls_.resets.empty());

  global::ConfigRegisters[34] = 0;
  messages_.clear();
  EXPECT_FALSE(global::SaveSourceFiles(false, true, nullptr));
  EXPECT_FALSE(global::FileExists(global::ValueFilePath(3)));
  EXPECT_EQ(messages_.size(), 1u);
}

TEST_F(RegisterImage, UnwritableFolderIsReported)
{
  ASSERT_TRUE(QDir(folder_ + "/tmp").removeRecursively());
  EXPECT_FALSE(global::SaveSourceFiles(true, true, nullptr));
  EXPECT_EQ(messages_.size(), 1u);
  global::LoadResultFiles(true, true, nullptr);  // nothing to read, and nothing breaks
  EXPECT_FALSE(QDir(folder_ + "/tmp").exists());
}
