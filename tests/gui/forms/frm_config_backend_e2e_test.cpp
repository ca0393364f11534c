// The configuration window with the real backend program against a simulated unit. Runs only
// inside the namespaces of tests/e2e/gui_backend_test.py, which sets
//   ZOR17_E2E_LOCAL_IP    this host's address in the lab (bacnet.ini's "LOCAL IP")
//   ZOR17_E2E_BACKEND     the built backend program, linked in as <program folder>/ZOR17
//   ZOR17_E2E_UNIT_FILES  the folder that holds the simulated unit's File objects 1-5
// and skips everywhere else, so that no run outside the lab ever opens a BACnet port. The
// cases build on each other, in order: scan, device list, read, write, monitor.
#include "form_fixture.h"

#include "gui/core/backend_runner.h"
#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_deviceList.h"
#include "gui/forms/frm_scan.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <map>

namespace {

constexpr int kUnitDevice = 1234;
constexpr int kLocalDevice = 4711;

QByteArray words(int count, const std::map<int, int>& values)
{
  QByteArray bytes(count * 2, '\0');
  for (auto [i, v] : values) {
    bytes[i * 2] = char(v & 0xFF);
    bytes[i * 2 + 1] = char((v >> 8) & 0xFF);
  }
  return bytes;
}

QByteArray octets(std::initializer_list<int> values)
{
  QByteArray bytes;
  for (int v : values)
    bytes.append(char(v));
  return bytes;
}

// The unit's registers: tenths, percent, set points in different units, bit groups.
const std::map<int, int> kUnit1 = {
    {0, 0x0101}, {1, 0x0203}, {2, 8},    {3, 1234}, {4, 0xFF},   {5, 200}, {6, 51},  {7, 204},  {8, 1},   {19, 19},
    {20, 0},     {21, 1},     {28, 2},   {29, 1},   {30, 2},     {31, 1},  {32, 30}, {33, 10},  {34, 250}, {35, 30},
    {36, -30},   {37, 5},     {38, 215}, {39, 40},  {40, -40},   {41, 2},  {42, 50}, {43, 10},  {44, -10}, {45, 10},
    {46, 200},   {47, 30},    {48, -30}, {49, 5},   {50, 220},   {51, 7},  {58, -9}, {59, 2},   {60, 7},  {61, 1},
    {62, 2},     {63, 0},     {64, 1},   {65, 1},   {66, 2},     {67, 0},  {68, 1},  {69, 5},   {70, 10}, {71, 20},
    {72, 3}};
const std::map<int, int> kUnit2 = {{0, 0x0801}, {2, 215}, {3, -10}, {5, 40}, {15, 0xFF02}, {16, 1}};
const std::map<int, int> kUnit3 = {{0, 0x59}, {1, 0x30}, {2, 0x12}, {3, 0x24}, {4, 0x12}, {5, 0x26}, {7, -55},
                                   {8, 123},  {9, 77},   {14, 15},  {26, 0xFF01}, {27, 1}};
const QByteArray kUnit4 = octets({0x01, 0x00, 0x00, 0x81});
const QByteArray kUnit5 = octets({0x05, 0x80});

QString env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

}  // namespace

class ConfigBackendE2eTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QString unit_files;
  QPointer<frm_config> w;

  bool put_unit(int instance, const QByteArray& bytes)
  {
    return fx.write(QStringLiteral("%1/file%2.bin").arg(unit_files).arg(instance), bytes);
  }
  QByteArray unit(int instance) const
  {
    QFile f(QStringLiteral("%1/file%2.bin").arg(unit_files).arg(instance));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  QByteArray log() const
  {
    QFile f(global::LogFilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

private slots:
  void initTestCase()
  {
    const QString ip = env("ZOR17_E2E_LOCAL_IP");
    const QString backend = env("ZOR17_E2E_BACKEND");
    unit_files = env("ZOR17_E2E_UNIT_FILES");
    if (ip.isEmpty() || backend.isEmpty() || unit_files.isEmpty())
      QSKIP("runs only inside the namespaces of tests/e2e/gui_backend_test.py");

    fx.start();
    global::DecimalSeparator = ",";
    global::AdminFlag = 1;
    global::DeviceType = 1;
    net::SetLocalIpSource([ip] { return ip; });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    QVERIFY(QFile::link(backend, shell::BackendProgram()));
    QVERIFY(fx.write(fx.folder + "/bacnet.ini", QStringLiteral("[BACNET]\r\nLINK=BACnet/IP\r\nSCAN=2\r\nPOLL=1\r\n"
                                                               "[IP]\r\nLOCAL IP=%1\r\nDEVICE_ID=%2\r\nPORT=47808\r\n")
                                                    .arg(ip)
                                                    .arg(kLocalDevice)
                                                    .toUtf8()));
    QVERIFY(put_unit(1, words(73, kUnit1)));
    QVERIFY(put_unit(2, words(17, kUnit2)));
    QVERIFY(put_unit(3, words(28, kUnit3)));
    QVERIFY(put_unit(4, kUnit4));
    QVERIFY(put_unit(5, kUnit5));

    w = frm_config::Instance();
    w->show();
    QCOMPARE(w->txt_bacIp->text(), ip);
    QCOMPARE(w->txt_bacDeviceID->text(), QString::number(kLocalDevice));
    QVERIFY(!w->cmd_auslesen->isEnabled());
  }
  void cleanupTestCase()
  {
    if (w) {
      w->chk_monitor->setChecked(false);
      delete frm_config::Existing();
    }
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    if (fx.dir)
      fx.stop();
  }

  void scanListsTheUnitAndTheBackend()
  {
    frm_scan dialog(w);
    dialog.Command_scan_Click();
    QVERIFY2(fx.messages.isEmpty(), qPrintable(fx.messages.join('|')));
    QCOMPARE(dialog.Label_wait->text(), QString("Netzwerk gescannt"));
    QVERIFY(dialog.cmd_OK->isEnabled());

    QFile result(global::ScanResultPath());
    QVERIFY(result.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(result.readAll()).split('\n');
    QCOMPARE(lines.first(), QString("Device ID; Device Name; SoftwareVersion"));
    QVERIFY2(lines.contains(QStringLiteral("%1;Raum 12;2.1").arg(kUnitDevice)), qPrintable(lines.join('|')));
    // The backend answers its own Who-Is as well.
    bool backend_listed = false;
    for (const QString& line : lines)
      backend_listed |= line.startsWith(QStringLiteral("%1;").arg(kLocalDevice));
    QVERIFY2(backend_listed, qPrintable(lines.join('|')));
  }

  void deviceListSetsTheDestination()
  {
    frm_deviceList list(w);
    QTreeWidgetItem* unit_row = nullptr;
    for (int r = 0; r < list.ListView1->topLevelItemCount(); ++r)
      if (list.ListView1->topLevelItem(r)->text(1) == QString::number(kUnitDevice))
        unit_row = list.ListView1->topLevelItem(r);
    QVERIFY(unit_row);
    QCOMPARE(unit_row->text(2), QString("Raum 12"));
    QCOMPARE(unit_row->text(3), QString("2.1"));
    list.ListView1_ItemClick(unit_row);
    QVERIFY(!w->cmd_auslesen->isEnabled());
    list.cmd_uebernehmen_Click();
    QCOMPARE(global::DestDeviceId, kUnitDevice);
    QVERIFY(w->cmd_auslesen->isEnabled());
  }

  void readShowsTheUnitsValuesWithTheirScaling()
  {
    QVERIFY(w->cmd_auslesen->isEnabled());
    w->cmd_auslesen_Click();
    QVERIFY2(fx.messages.isEmpty(), qPrintable(fx.messages.join('|') + log()));
    QVERIFY2(log().contains("-->Successful finished"), log().constData());
    QCOMPARE(w->txt_data_cfg[34]->text(), QString("25"));  // tenths
    QCOMPARE(w->txt_data_cfg[4]->text(), QString("100"));  // percent
    QCOMPARE(w->txt_data_cfg[5]->text(), QString("78"));
    QCOMPARE(w->txt_data_cfg[38]->text(), QString("21,5"));
    QCOMPARE(w->txt_data_cfg[40]->text(), QString("-40"));
    QCOMPARE(w->txt_data_cfg[69]->text(), QString("0,5"));
    QCOMPARE(w->cmb_cfg[2]->currentText(), QString("8T"));
    QCOMPARE(w->cmb_cfg[62]->currentText(), QString("%"));
    QCOMPARE(w->txt_data_out[2]->text(), QString("21,5"));
    QCOMPARE(w->txt_data_out[3]->text(), QString("-1"));
    QCOMPARE(w->lbl_in_val[15]->text(), QString("Auto 2. Stufe"));
    QCOMPARE(w->txt_data_in[0]->text(), QString("59"));
    QCOMPARE(w->txt_data_in[7]->text(), QString("-5,5"));
    QCOMPARE(w->txt_data_in[9]->text(), QString("77"));
    for (int i = 0; i < 32; ++i)
      QCOMPARE(w->chk_cfg[size_t(i)]->isChecked(), i == 0 || i == 24 || i == 31);
    QCOMPARE(w->Shape1->FillColor(), QColor(0, 255, 0));
    QCOMPARE(global::LampState, 0);
  }

  void writtenParametersReachTheUnit()
  {
    w->txt_data_cfg[40]->setText("-45");
    QVERIFY(marks::IsSet(w->txt_data_cfg[40]));
    w->cmd_paramSchreiben_Click();
    QVERIFY2(fx.messages.isEmpty(), qPrintable(fx.messages.join('|') + log()));
    std::map<int, int> sent = kUnit1;
    sent[40] = -45;
    sent[5] = 199;  // 200 shows as 78 %, which is 199 again
    QCOMPARE(unit(1), words(73, sent));
    QCOMPARE(unit(4), kUnit4);
    QCOMPARE(unit(2), words(17, kUnit2));  // the output block is only ever read
    QVERIFY(!marks::IsSet(w->txt_data_cfg[40]));
    QCOMPARE(global::LampState, 2);
  }

  void writtenObjectsSetTheUnitsClock()
  {
    w->chk_input[1]->setChecked(true);
    w->cmd_objektSchreiben_Click();
    QVERIFY2(fx.messages.isEmpty(), qPrintable(fx.messages.join('|') + log()));
    std::map<int, int> sent = kUnit3;
    // 5 March 2026, 09:07:03 as clock digits: second, minute, hour, day, month, year.
    sent[0] = 0x03;
    sent[1] = 0x07;
    sent[2] = 0x09;
    sent[3] = 0x05;
    sent[4] = 0x03;
    sent[5] = 0x26;
    QCOMPARE(unit(3), words(28, sent));
    QCOMPARE(unit(5), octets({0x07, 0x80}));
  }

  void monitorRepeatsAtItsPollCycle()
  {
    w->chk_monitor->setChecked(true);
    QVERIFY(w->tmr_bacMonitor->isActive());
    QCOMPARE(w->tmr_bacMonitor->interval(), 1000);
    QCOMPARE(w->Shape1->FillColor(), QColor(0, 255, 0));
    // Each new value in the unit shows up only through a later cycle.
    for (int value : {88, 99}) {
      std::map<int, int> later = kUnit3;
      later[9] = value;
      QVERIFY(put_unit(3, words(28, later)));
      QTRY_COMPARE_WITH_TIMEOUT(w->txt_data_in[9]->text(), QString::number(value), 15000);
    }
    w->chk_monitor->setChecked(false);
    QVERIFY(!w->tmr_bacMonitor->isActive());
    QVERIFY(w->cmd_auslesen->isEnabled());
    QVERIFY(fx.messages.isEmpty());
  }
};

QTEST_MAIN(ConfigBackendE2eTest)
#include "frm_config_backend_e2e_test.moc"
