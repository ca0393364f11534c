#include "core_fixture.h"

#include "gui/core/language_texts.h"
#include "gui/core/parameter_file.h"

#include <QStringList>

using namespace coretest;

namespace {

params::Header header(bool modbus)
{
  global::FillGermanTextTable();
  params::Header h;
  h.modbus = modbus;
  h.version = "1.0.1";
  h.moment = QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3));
  h.baud_rate = "38400";
  h.mode_text = "RTU";
  h.parity = "N";
  h.modbus_address = "7";
  h.destination = 1234567;
  for (size_t i = 0; i < h.texts.size(); ++i)
    h.texts[i] = global::TextTable[i];
  return h;
}

params::ParameterSet sample()
{
  params::ParameterSet set;
  for (int i = 0; i < ConfigRegisterCount; ++i) {
    set.register_captions[size_t(i)] = QStringLiteral("Wert %1:").arg(i);
    set.register_texts[size_t(i)] = QString::number(i * 3 - 40);
  }
  set.register_captions[0] = QString::fromUtf8("Gerätecodierung:");
  set.register_texts[40] = "0,5";
  set.register_texts[41] = "";
  for (int i = 0; i < params::kBitCount; ++i) {
    set.bit_captions[size_t(i)] = QStringLiteral("Bit %1:").arg(i);
    set.bit_values[size_t(i)] = i % 3;
  }
  return set;
}

QList<QByteArray> lines_of(const QByteArray& file)
{
  EXPECT_TRUE(file.endsWith("\r\n"));
  QList<QByteArray> lines = file.split('\n');
  lines.removeLast();
  for (QByteArray& l : lines) {
    EXPECT_TRUE(l.endsWith('\r'));
    l.chop(1);
  }
  return lines;
}

}  // namespace

TEST(ParameterFile, WritesOneHundredNineteenLinesInSingleBytes)
{
  const QList<QByteArray> bacnet = lines_of(params::Write(header(false), sample()));
  ASSERT_EQ(bacnet.size(), 119);
  const QList<QByteArray> head = {"Morvane", "", "ZOR17-BACnet Configuration Software", "", "Version: 1.0.1"};
  EXPECT_EQ(bacnet.mid(0, 5), head);
  EXPECT_TRUE(bacnet[5].endsWith(" 09:07:03"));
  for (int line : {7, 8, 9, 10, 12, 14})
    EXPECT_EQ(bacnet[line - 1], "") << line;
  EXPECT_EQ(bacnet[10], "Adresse:  1234567 ");
  EXPECT_EQ(bacnet[12], "Als Trennzeichen Semikolon ; verwenden!");
  // Lines with the window's own captions are checked by the window's file test.
  EXPECT_EQ(bacnet[14], "Register 1 ;Ger\xe4tecodierung:;-40");
  EXPECT_EQ(bacnet[55], "Register 42 ;Wert 41:;");
  EXPECT_EQ(bacnet[118], "Konfigurationsbit 32 ;Bit 31:; 1 ");

  const QList<QByteArray> modbus = lines_of(params::Write(header(true), sample()));
  ASSERT_EQ(modbus.size(), 119);
  EXPECT_EQ(modbus[2], "ZOR17-RS485-Modbus Configuration Software");
  const QList<QByteArray> link = {"Baudrate: 38400", "Modus: RTU", "Parit\xe4t: N", "Adresse: 7"};
  EXPECT_EQ(modbus.mid(7, 4), link);
  EXPECT_EQ(modbus.mid(14), bacnet.mid(14));
}

TEST(ParameterFile, ReadsBackTheThirdFieldsByPosition)
{
  const params::ParameterSet set = sample();
  QList<QByteArray> lines = lines_of(params::Write(header(true), set));
  lines[0] = "anything";
  lines[14] = "no fields at all";  // register 0 is never read back
  lines[20] = "x;y;12;more;fields";  // register 6
  lines[90] = "a;b;  2  ";  // bit 3
  lines << "after the last line" << "";
  lines[55] = "Register 42 ;Wert 41:;7";  // the sample's empty field
  global::DecimalSeparator = ",";
  const params::ReadResult read = params::Read(lines.join("\n"));
  ASSERT_TRUE(read.values) << read.message.toStdString();
  EXPECT_TRUE(read.message.isEmpty());
  for (int i = 2; i < ConfigRegisterCount; ++i)
    EXPECT_EQ(read.values->register_texts[size_t(i)],
              i == 6 ? "12" : i == 41 ? "7" : set.register_texts[size_t(i)]) << i;
  EXPECT_FALSE(read.values->register_texts[0]);
  for (int i = 0; i < params::kBitCount; ++i)
    EXPECT_EQ(read.values->bit_values[size_t(i)], i == 3 ? 2 : set.bit_values[size_t(i)]) << i;
}

// A file saved where the other decimal separator is used gives the same numbers.
TEST(ParameterFile, NumbersTakeTheUsersDecimalSeparator)
{
  struct Case {
    const char* separator;
    const char* text;
    std::optional<QString> field;
  };
  const Case cases[] = {
      {".", "0,5", "0.5"}, {",", "0.5", "0,5"}, {",", "-1,5", "-1,5"}, {".", "-21.5", "-21.5"},
      {".", " 7 ", " 7 "}, {",", "12", "12"},   {",", "1.2,3", std::nullopt}, {".", "abc", std::nullopt},
      {".", "", std::nullopt}, {",", ",", std::nullopt},
  };
  for (const Case& c : cases) {
    global::DecimalSeparator = c.separator;
    EXPECT_EQ(params::FieldNumber(c.text), c.field) << c.separator << " " << c.text;
  }
}

// A value that is no number keeps its field; the rest of the file loads, and the message
// names every line left out.
TEST(ParameterFile, ValuesThatAreNoNumbersAreLeftOut)
{
  struct Case {
    int line;
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {50, "Register 36 ;x;abc", "Zeile 50: \"abc\" ist keine Zahl."},
      {50, "Register 36 ;x;1,2,3", "Zeile 50: \"1,2,3\" ist keine Zahl."},
      {88, "Konfigurationsbit 1 ;x; 3 ", "Zeile 88: \" 3 \" ist kein Wert von 0 bis 2."},
      {119, "Konfigurationsbit 32 ;x;", "Zeile 119: \"\" ist kein Wert von 0 bis 2."},
  };
  QList<QByteArray> good = lines_of(params::Write(header(false), sample()));
  good[55] = "Register 42 ;Wert 41:;7";  // the sample's empty field
  global::DecimalSeparator = ",";
  for (const Case& c : cases) {
    QList<QByteArray> lines = good;
    lines[c.line - 1] = c.text;
    lines[20] = "Register 7 ;x;99";
    const params::ReadResult read = params::Read(lines.join("\r\n") + "\r\n");
    ASSERT_TRUE(read.values) << c.why;
    EXPECT_EQ(read.values->register_texts[6], "99");
    const int index = c.line - 15;
    if (index < ConfigRegisterCount)
      EXPECT_FALSE(read.values->register_texts[size_t(index)]) << c.why;
    else
      EXPECT_FALSE(read.values->bit_values[size_t(index - ConfigRegisterCount)]) << c.why;
    EXPECT_EQ(read.message, QString::fromUtf8("Diese Werte wurden nicht geladen; ihre Felder bleiben, wie sie "
                                              "waren:\r\n") +
                                QString::fromUtf8(c.why));
  }
}

TEST(ParameterFile, AMalformedFileIsRefusedWhole)
{
  const QList<QByteArray> good = lines_of(params::Write(header(false), sample()));
  struct Case {
    int line;  // 1-based; 0 cuts the file instead
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {0, nullptr, "Sie hat 118 statt 119 Zeilen."},
      {17, "Register 3 ;nur zwei", "Zeile 17 hat keine drei durch ; getrennten Felder."},
      {100, "Konfigurationsbit 13", "Zeile 100 hat keine drei durch ; getrennten Felder."},
  };
  for (const Case& c : cases) {
    QList<QByteArray> lines = good;
    if (c.line == 0)
      lines.removeLast();
    else
      lines[c.line - 1] = c.text;
    const params::ReadResult read = params::Read(lines.join("\r\n") + "\r\n");
    EXPECT_FALSE(read.values) << c.why;
    EXPECT_EQ(read.message, QString::fromUtf8("Die Parameterdatei kann nicht geladen werden; kein Wert wurde "
                                            "geändert.\r\n") +
                              QString::fromUtf8(c.why));
  }
  EXPECT_FALSE(params::Read(QByteArray()).values);
}
