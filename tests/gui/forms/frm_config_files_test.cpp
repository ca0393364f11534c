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

  void aMalformedFileChangesNothing()
  {
    open(1);
    w->ParMenueMain[2]->trigger();
    QList<QByteArray> lines = saved_lines();
    lines[17] = "Register 4 ;x;77\r";
    lines[100] = "Konfigurationsbit 14 ;kaputt\r";
    QVERIFY(fx.write(answer, lines.join('\n')));
    const auto before = fields();
    w->ParMenueMain[1]->trigger();
    QCOMPARE(fields(), before);
    QCOMPARE(fx.messages.size(), 1);
    QVERIFY(fx.messages[0].contains("Zeile 101"));
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
