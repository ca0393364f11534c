#include "core_fixture.h"

#include "gui/core/registry.h"
#include "gui/core/settings_store.h"

#include <QLocale>

using namespace coretest;

class Registry : public ProgramFolderTest {
protected:
  void machine(const char* text) { ASSERT_TRUE(write_all(folder_ + "/machine.reg", text)); }
  void user(const char* text) { ASSERT_TRUE(write_all(folder_ + "/user.reg", text)); }
};

TEST_F(Registry, StartFormReadsLanguageAndDecimalSeparator)
{
  machine("[SOFTWARE\\Morvane\\ZOR17-RS485]\n\"Language\"=\"1033\"\n\"Version\"=\"1.0.1\"\n");
  user("[Control Panel\\International]\n\"sDecimal\"=\",\"\n");
  global::ReadRegistrySettings();
  EXPECT_EQ(global::LanguageCode, "1033");
  EXPECT_EQ(global::DecimalSeparator, ",");
  EXPECT_EQ(CRegistry().MachineSetting(ProgramRegistryKey, "Version"), "1.0.1");
}

TEST_F(Registry, MissingValuesGiveEmptyLanguageAndTheLocaleSeparator)
{
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  global::ReadRegistrySettings();
  EXPECT_EQ(global::LanguageCode, "");
  EXPECT_EQ(global::DecimalSeparator, ",");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  global::ReadRegistrySettings();
  EXPECT_EQ(global::DecimalSeparator, ".");
  QLocale::setDefault(QLocale::c());
}

TEST_F(Registry, KeyPathsAndNamesIgnoreCaseAndTrailingSeparator)
{
  machine("[software\\morvane\\zor17-rs485\\]\n\"LANGUAGE\"=\"1031\"\n");
  EXPECT_EQ(CRegistry().MachineSetting("SOFTWARE\\Morvane\\ZOR17-RS485\\", "Language"), "1031");
  EXPECT_EQ(CRegistry().MachineSetting("SOFTWARE\\Morvane\\ZOR17-RS485", "language"), "1031");
}

TEST_F(Registry, OnlyTextValuesReadAndTheyStopAtNul)
{
  machine("[K]\n\"Dword\"=dword:00000409\n\"Bin\"=hex:31,30\n\"Nul\"=\"10\\033\"\n\"Empty\"=\"\"\n"
          "\"Quote\"=\"a\\\"b\\\\c\"\n");
  CRegistry r;
  EXPECT_EQ(r.MachineSetting("K", "Dword"), "");
  EXPECT_EQ(r.MachineSetting("K", "Bin"), "");
  EXPECT_EQ(r.MachineSetting("K", "Nul"), "10");
  EXPECT_EQ(r.MachineSetting("K", "Empty"), "");
  EXPECT_EQ(r.MachineSetting("K", "Quote"), "a\"b\\c");
  EXPECT_EQ(r.MachineSetting("K", "Missing"), "");
  EXPECT_EQ(r.MachineSetting("Nope", "Dword"), "");
  EXPECT_EQ(r.Werte("K", "Dword"), "");  // the user's file is another file
}

TEST_F(Registry, EnumerationRunsOutAndStartsAgain)
{
  machine("[A\\One]\n[A\\Two\\Deep]\n\"x\"=\"1\"\n[A\\one\\More]\n[B]\n");
  CRegistry r;
  EXPECT_EQ(r.FindFirstMachineKey("A"), "One");
  EXPECT_EQ(r.GetNextMachineKey(), "Two");
  EXPECT_EQ(r.GetNextMachineKey(), "");
  EXPECT_EQ(r.GetNextMachineKey(), "");
  EXPECT_EQ(r.FindFirstMachineKey("A"), "One");
  EXPECT_EQ(r.FindFirstMachineKey("Missing"), "");
  EXPECT_EQ(r.GetNextMachineKey(), "");
}

TEST_F(Registry, WriteCreatesKeyAndDeleteRemovesTheTree)
{
  CRegistry r;
  EXPECT_TRUE(r.MachineSetting("New\\Section", "Name", "value"));
  EXPECT_EQ(CRegistry().MachineSetting("New\\Section\\", "Name"), "value");
  EXPECT_TRUE(r.MachineSetting("New\\Section\\Sub\\Deeper", "x", "y"));
  EXPECT_TRUE(r.DeleteMachineKey("New"));
  EXPECT_EQ(CRegistry().MachineSetting("New\\Section", "Name"), "");
  EXPECT_EQ(CRegistry().FindFirstMachineKey("New"), "");
  EXPECT_FALSE(r.DeleteMachineKey("New"));
  EXPECT_EQ(r.ErrorNumber(), 0u);
}

TEST_F(Registry, FailedWriteLeavesTheErrorNumber)
{
  ASSERT_TRUE(write_all(folder_ + "/blocker", ""));
  qputenv("ZOR17_MACHINE_SETTINGS", (folder_ + "/blocker/machine.reg").toUtf8());
  CRegistry r;
  EXPECT_FALSE(r.MachineSetting("K", "Name", "v"));
  EXPECT_EQ(r.ErrorNumber(), RegistryWriteError);
}

TEST(SettingsStore, WrittenFileReadsBackTheSame)
{
  SettingsStore store;
  StoredValue text{"Text", REG_SZ, QString("a\"\\") + QChar(0) + "z", 0, {}};
  StoredValue number{"Number", REG_DWORD, {}, 0x1234abcd, {}};
  StoredValue bytes{"Bytes", REG_BINARY, {}, 0, QByteArray("\x00\xff\x10", 3)};
  store.SetValue("Root\\Key", text);
  store.SetValue("Root\\Key", number);
  store.SetValue("Other", bytes);
  SettingsStore back = SettingsStore::Parse(store.ToText());
  EXPECT_EQ(back.ToText(), store.ToText());
  ASSERT_NE(back.FindValue("root\\key", "text"), nullptr);
  EXPECT_EQ(back.FindValue("Root\\Key", "Text")->text, text.text);
  EXPECT_EQ(back.FindValue("Root\\Key", "Number")->number, 0x1234abcdu);
  EXPECT_EQ(back.FindValue("Other", "Bytes")->bytes, bytes.bytes);
}

TEST(SettingsStore, MalformedLinesAreSkipped)
{
  SettingsStore store = SettingsStore::Parse(
      "\"Orphan\"=\"before any key\"\n[K]\n\"Open=\"x\n\"Big\"=dword:123456789\n\"Bad\"=hex:1g\n"
      "\"Good\"=\"yes\"\n[\n[]\n\"AfterBadKey\"=\"z\"\n");
  ASSERT_EQ(store.Keys().size(), 1u);
  ASSERT_EQ(store.Keys()[0].values.size(), 1u);
  EXPECT_EQ(store.Keys()[0].values[0].name, "Good");
}

TEST(SettingsStore, RepeatedKeysGatherTheirValuesWhereTheKeyFirstStands)
{
  // A key named again (in other case, with blanks or separators around its parts) takes its
  // values into the stored key; a key below which others stand already is stored at its
  // first value.
  SettingsStore store = SettingsStore::Parse("[A\\B]\n\"x\"=\"1\"\n[ a \\ b\\]\n\"y\"=\"2\"\n[A]\n[C]\n"
                                             "[a]\n\"z\"=\"3\"\n[c\\]\n\"w\"=dword:1\n[a]\n\"Z\"=\"4\"\n");
  EXPECT_EQ(store.ToText(), QByteArray("[A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n\n[C]\n\"w\"=dword:00000001\n\n"
                                       "[a]\n\"Z\"=\"4\"\n"));
}
