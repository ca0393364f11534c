// Parameter text files of the configuration window: a set saved and loaded back gives the
// same register image through each field's change handling; a malformed file is refused
// with a message and changes no field. Saving is for administrators, loading for everyone.
#include "form_fixture.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/core/register_image.h"
#include "gui/forms/file_dialogs.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

class ParameterFilesTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_config> w;
  QString answer;  // what the file dialog returns
  QStringList asked;  // "open" or "save" per dialog

  void open(int deviceType)
  {
    global::DeviceType = uint8_t(deviceType);
    w = frm_config::Instance();
    w->show();
  }
  QList<QByteArray> saved_lines() const
  {
    QFile f(answer);
    return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
  }
  std::pair<QStringList, QList<int>> fields() const
  {
    std::pair<QStringList, QList<int>> f;
    for (QLineEdit* box : w->txt_data_cfg)
      f.first << box->text();
    for (int i = 0; i < 32; ++i)
      f.second << w->ConfigBit(i);
    return f;
  }

private slots:
  void init()
  {
    fx.start();
    global::DecimalSeparator = ",";
    global::AdminFlag = 1;
    global::DestDeviceId = 1234567;
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    answer = fx.folder + "/satz.txt";
    asked.clear();
    forms::SetFileDialogAnswer([this](bool save, const QString& filter) {
      asked << (save ? "save" : "open");
      return filter == "Textfile (*.txt)" ? answer : QString();
    });
  }
  void cleanup()
  {
    forms::SetFileDialogAnswer(nullptr);
    delete frm_config::Existing();
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void savedAndLoadedGivesTheSameRegisterImage_data()
  {
    QTest::addColumn<int>("deviceType");
    QTest::newRow("bacnet") << 1;
    QTest::newRow("modbus") << 0;
  }
  void savedAndLoadedGivesTheSameRegisterImage()
  {
    QFETCH(int, deviceType);
    open(deviceType);
    const std::pair<int, const char*> values[] = {{2, "8"},  {3, "17"},   {8, "13"},  {20, "1"}, {28, "2"}, {33, "5"},
                                                  {34, "-1,5"}, {37, "0,5"}, {59, "2"}, {61, "2"}, {72, "30"}};
    for (auto [i, text] : values)
      w->txt_data_cfg[size_t(i)]->setText(QString::fromUtf8(text));
    for (int bit : {1, 5, 24, 27})
      w->chk_cfg[size_t(bit)]->setChecked(!w->chk_cfg[size_t(bit)]->isChecked());
    w->chk_cfg[0]->setChecked(true);
    const auto before = fields();
    global::CollectRegisterTables(true, false, *w);
    const auto image = global::ConfigRegisters;
    const auto bits = global::ConfigBits;
    w->ParMenueMain[2]->trigger();
    const QList<QByteArray> lines = saved_lines();
    QCOMPARE(lines.size(), 120);  // 119 lines and the end of the last
    QCOMPARE(lines[47], QByteArray("Register 34 ;Min-Response-Time [s]:;5\r"));
    QCOMPARE(lines[87], QByteArray("Konfigurationsbit 1 ;Raumtemperatur:; 1 \r"));
    if (deviceType == 1)
      QCOMPARE(lines[10], QByteArray("Adresse:  1234567 \r"));

    w->func_clear_values();
    QVERIFY(fields() != before);
    w->ParMenueMain[1]->trigger();
    QCOMPARE(asked, (QStringList{"save", "open"}));
    QVERIFY(fx.messages.isEmpty());
    QCOMPARE(fields().first.mid(2), before.first.mid(2));
    QCOMPARE(fields().second, before.second);
    global::CollectRegisterTables(true, false, *w);
    for (int i = 2; i < 73; ++i)
      QCOMPARE(global::ConfigRegisters[size_t(i)], image[size_t(i)]);
    QCOMPARE(global::ConfigBits, bits);
  }

  // What "Parameter Schreiben" would send: the configuration block's value file.
  QByteArray configuration_block()
  {
    global::CollectRegisterTables(true, false, *w);
    if (!global::SaveSourceFiles(true, false, w))
      return QByteArray();
    QFile f(global::ValueFilePath(1));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // A file saved where the decimal separator is the other one loads the same numbers.
  void theOtherDecimalSeparatorWritesTheSameValues_data()
  {
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("loaded");
    QTest::newRow("german file, english separator") << "," << ".";
    QTest::newRow("english file, german separator") << "." << ",";
  }
  void theOtherDecimalSeparatorWritesTheSameValues()
  {
    QFETCH(QString, saved);
    QFETCH(QString, loaded);
    global::DecimalSeparator = saved;
    open(1);
    const int registers[] = {37, 41, 45, 49, 69};
    for (int i : registers)
      w->txt_data_cfg[size_t(i)]->setText("0" + saved + "5");
    w->txt_data_cfg[34]->setText("-1" + saved + "5");
    const QByteArray written = configuration_block();
    QVERIFY(!written.isEmpty());
    w->ParMenueMain[2]->trigger();

    global::DecimalSeparator = loaded;
    w->func_clear_values();
    w->ParMenueMain[1]->trigger();
    QVERIFY2(fx.messages.isEmpty(), qPrintable(fx.messages.join('\n')));
    for (int i : registers)
      QCOMPARE(w->txt_data_cfg[size_t(i)]->text(), "0" + loaded + "5");
    QCOMPARE(w->txt_data_cfg[34]->text(), "-1" + loaded + "5");
    QCOMPARE(configuration_block(), written);
  }

  // A file that is not one is refused whole; a value that is no number keeps its field, the
  // rest loads, and the message names the line.
  void aFaultyFileIsReported_data()
  {
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("message");
    QTest::newRow("malformed line") << 101 << QByteArray("Konfigurationsbit 14 ;kaputt") << false << false
                                    << QString::fromUtf8("Die Parameterdatei kann nicht geladen werden; kein Wert "
                                                         "wurde geändert.\r\nZeile 101 hat keine drei durch ; "
                                                         "getrennten Felder.");
    QTest::newRow("malformed line, english") << 101 << QByteArray("Konfigurationsbit 14 ;kaputt") << true << false
                                             << QString("The parameter file cannot be loaded; no value was "
                                                        "changed.\r\nLine 101 does not have three fields "
                                                        "separated by ;.");
    QTest::newRow("no number") << 52 << QByteArray("Register 38 ;x;0,5 Grad") << false << true
                               << QString::fromUtf8("Diese Werte wurden nicht geladen; ihre Felder bleiben, wie "
                                                    "sie waren:\r\nZeile 52: \"0,5 Grad\" ist keine Zahl.");
    QTest::newRow("no number, english") << 52 << QByteArray("Register 38 ;x;0,5 Grad") << true << true
                                        << QString("These values were not loaded; their fields stay as they "
                                                   "were:\r\nLine 52: \"0,5 Grad\" is not a number.");
    QTest::newRow("no bit value") << 101 << QByteArray("Konfigurationsbit 14 ;x;ja") << false << true
                                  << QString::fromUtf8("Diese Werte wurden nicht geladen; ihre Felder bleiben, "
                                                       "wie sie waren:\r\nZeile 101: \"ja\" ist kein Wert von 0 "
                                                       "bis 2.");
  }
  void aFaultyFileIsReported()
  {
    QFETCH(int, line);
    QFETCH(QByteArray, text);
    QFETCH(bool, english);
    QFETCH(bool, loads);
    QFETCH(QString, message);
    global::LanguageCode = english ? "1033" : "1031";
    open(1);
    w->ParMenueMain[2]->trigger();
    QList<QByteArray> lines = saved_lines();
    lines[17] = "Register 4 ;x;77\r";
    lines[line - 1] = text + '\r';
    QVERIFY(fx.write(answer, lines.join('\n')));
    const auto before = fields();
    w->ParMenueMain[1]->trigger();
    auto expected = before;
    if (loads)
      expected.first[3] = "77";
    QCOMPARE(fields(), expected);
    QCOMPARE(fx.messages, QStringList{message});
  }

  void onlyAnAdministratorSaves()
  {
    global::AdminFlag = 0;
    open(1);
    w->ParMenueMain[2]->trigger();
    QVERIFY(asked.isEmpty());
    QVERIFY(!w->ParMenueMain[2]->isEnabled());
    QVERIFY(!QFile::exists(answer));
    // Loading stays open to everyone; a file that is not one is reported.
    QVERIFY(fx.write(answer, "too short\r\n"));
    w->ParMenueMain[1]->trigger();
    QCOMPARE(asked, QStringList{"open"});
    QCOMPARE(fx.messages.size(), 1);
  }
};

QTEST_MAIN(ParameterFilesTest)
#include "frm_config_files_test.moc"
