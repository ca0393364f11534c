// Parameter text files of the configuration window: saving writes the fields as they stand,
// loading puts a saved set back through each field's change handling, so that a set saved
// and loaded gives the same register image; a malformed file is refused with a message and
// changes no field. Saving is for administrators, loading for everyone.
#include "form_fixture.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/core/register_image.h"
#include "gui/forms/file_dialogs.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
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
    if (!f.open(QIODevice::ReadOnly))
      return {};
    return f.readAll().split('\n');
  }
  struct Fields {
    QStringList texts;
    QList<int> bits;
    bool operator==(const Fields&) const = default;
  };
  Fields fields() const
  {
    Fields f;
    for (QLineEdit* box : w->txt_data_cfg)
      f.texts << box->text();
    for (int i = 0; i < 32; ++i)
      f.bits << w->ConfigBit(i);
    return f;
  }
  // A set of values other than the factory values, as a user would enter them.
  void edit_fields()
  {
    const std::pair<int, const char*> values[] = {{2, "8"},  {3, "17"}, {8, "13"}, {20, "1"}, {28, "2"},
                                                  {33, "9"}, {34, "-1,5"}, {37, "0,5"}, {59, "2"}, {61, "2"},
                                                  {65, "0"}, {72, "30"}};
    for (auto [i, text] : values)
      w->txt_data_cfg[size_t(i)]->setText(QString::fromUtf8(text));
    for (int bit : {1, 5, 24, 27})
      w->chk_cfg[size_t(bit)]->setChecked(!w->chk_cfg[size_t(bit)]->isChecked());
  }

private slots:
  void init()
  {
    fx.start();
    global::DecimalSeparator = ",";
    global::AdminFlag = 1;
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    answer = fx.folder + "/satz.txt";
    asked.clear();
    forms::SetFileDialogAnswer([this](bool save, const QString& filter) {
      asked << (save ? "save" : "open");
      return filter == "Textfile (*.txt)" ? answer : QString();
    });
    QVERIFY(fx.write(fx.folder + "/machine.reg", "[SOFTWARE\\Morvane\\ZOR17-RS485]\n\"Version\"=\"1.0.1\"\n"));
  }
  void cleanup()
  {
    forms::SetFileDialogAnswer(nullptr);
    delete frm_config::Existing();
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void savingWritesTheFieldsAsTheyStand()
  {
    open(1);
    global::DestDeviceId = 1234567;
    w->txt_data_cfg[33]->setText("5");
    w->chk_cfg[0]->setChecked(true);
    w->ParMenueMain[2]->trigger();
    QCOMPARE(asked, QStringList{"save"});
    const QList<QByteArray> lines = saved_lines();
    QCOMPARE(lines.size(), 120);  // 119 lines and the end of the last
    QCOMPARE(lines[2], QByteArray("ZOR17-BACnet Configuration Software\r"));
    QCOMPARE(lines[4], QByteArray("Version: 1.0.1\r"));
    QCOMPARE(lines[10], QByteArray("Adresse:  1234567 \r"));
    QCOMPARE(lines[47], QByteArray("Register 34 ;Min-Response-Time [s]:;5\r"));
    QCOMPARE(lines[87], QByteArray("Konfigurationsbit 1 ;Raumtemperatur:; 1 \r"));
    QVERIFY(fx.messages.isEmpty());
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
    edit_fields();
    const Fields before = fields();
    global::CollectRegisterTables(true, false, *w);
    const auto image = global::ConfigRegisters;
    const auto bits = global::ConfigBits;
    w->ParMenueMain[2]->trigger();

    w->func_clear_values();
    QVERIFY(fields() != before);
    w->ParMenueMain[1]->trigger();
    QCOMPARE(asked, (QStringList{"save", "open"}));
    QVERIFY(fx.messages.isEmpty());
    const Fields after = fields();
    QCOMPARE(after.texts.mid(2), before.texts.mid(2));
    QCOMPARE(after.bits, before.bits);
    global::CollectRegisterTables(true, false, *w);
    for (int i = 2; i < 73; ++i)
      QCOMPARE(global::ConfigRegisters[size_t(i)], image[size_t(i)]);
    QCOMPARE(global::ConfigBits, bits);
    // The loaded values are changes against the unit, not values read from it.
    QVERIFY(marks::IsSet(w->txt_data_cfg[3]));
  }

  void loadTakesValuesUncheckedAndLeavesRegistersZeroAndOne()
  {
    open(0);
    w->ParMenueMain[2]->trigger();
    QFile f(answer);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    lines[14] = "Register 1 ;x;99\r";
    lines[15] = "Register 2 ;x;98\r";
    lines[17] = "Register 4 ;x;5000\r";  // far above the field's range
    QVERIFY(fx.write(answer, lines.join('\n')));
    const QString zero = w->txt_data_cfg[0]->text();
    w->ParMenueMain[1]->trigger();
    QCOMPARE(w->txt_data_cfg[0]->text(), zero);
    QCOMPARE(w->txt_data_cfg[3]->text(), QString("5000"));
    QVERIFY(fx.messages.isEmpty());
  }

  void aMalformedFileChangesNothing()
  {
    open(1);
    w->ParMenueMain[2]->trigger();
    QFile f(answer);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    for (QByteArray& l : lines)
      if (l.startsWith("Register 4 ") || l.startsWith("Register 5 "))
        l = l.left(l.lastIndexOf(';') + 1) + "77\r";
    lines[100] = "Konfigurationsbit 14 ;kaputt\r";
    QVERIFY(fx.write(answer, lines.join('\n')));
    const Fields before = fields();
    w->ParMenueMain[1]->trigger();
    QCOMPARE(fields(), before);
    QCOMPARE(fx.messages.size(), 1);
    QVERIFY(fx.messages[0].contains("Zeile 101"));

    answer = fx.folder + "/missing.txt";
    w->ParMenueMain[1]->trigger();
    QCOMPARE(fields(), before);
    QCOMPARE(fx.messages.size(), 2);
  }

  void cancellingEitherDialogDoesNothing()
  {
    open(1);
    answer.clear();
    const Fields before = fields();
    w->ParMenueMain[2]->trigger();
    w->ParMenueMain[1]->trigger();
    QCOMPARE(asked, (QStringList{"save", "open"}));
    QCOMPARE(fields(), before);
    QVERIFY(fx.messages.isEmpty());
  }

  void onlyAnAdministratorSaves()
  {
    global::AdminFlag = 0;
    open(1);
    w->ParMenueMain[2]->trigger();
    QVERIFY(asked.isEmpty());
    QVERIFY(!w->ParMenueMain[2]->isEnabled());
    QVERIFY(!QFile::exists(answer));
    // Loading stays open to everyone.
    QVERIFY(fx.write(answer, "too short\r\n"));
    w->ParMenueMain[1]->trigger();
    QCOMPARE(asked, QStringList{"open"});
    QCOMPARE(fx.messages.size(), 1);
  }
};

QTEST_MAIN(ParameterFilesTest)
#include "frm_config_files_test.moc"
