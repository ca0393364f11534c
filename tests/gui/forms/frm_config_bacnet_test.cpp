// The configuration window's BACnet road against a stand-in backend: reading shows the
// unit's values with their scaling, writing sends exact octets with an exact job file, a
// failed write keeps the fields marked, the monitor repeats and never overlaps its cycles,
// and a Modbus window starts no backend at all.
#include "form_fixture.h"
#include "standin_backend.h"

#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_deviceList.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <map>

namespace {

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

// The unit's configuration registers as raw values: tenths, percent and plain groups.
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

QString text(QLineEdit* box) { return box->text(); }

}  // namespace

class ConfigBacnetTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  StandinBackend backend;
  QPointer<frm_config> w;

  QByteArray expected_job(const char* functions) const
  {
    QByteArray bytes = QByteArray("[GENERAL]\n"
                                  "LINK=BACnet_IP\n"
                                  "LOGFILE={F}/tmp/logfile.txt\n"
                                  "LOCAL_DEVICE_ID=1234567\n"
                                  "\n"
                                  "[BACnet_IP]\n"
                                  "IP=192.0.2.10\n"
                                  "PORT=47808\n") +
                       functions;
    bytes.replace("\n", "\r\n");
    bytes.replace("{F}", fx.folder.toUtf8());
    return bytes;
  }

  void open()
  {
    global::DeviceType = 1;
    w = frm_config::Instance();
    w->show();
  }

  // The way a technician picks the unit: the device list of the last scan, then "Übernehmen".
  void choose_unit()
  {
    QVERIFY(fx.write(global::ScanResultPath(), "Device ID; Device Name; SoftwareVersion\n"
                                               "1234567;ZOR17-Server;1.0\n410001;Raum 1;2.3\n"));
    frm_deviceList list(w);
    QCOMPARE(list.ListView1->topLevelItemCount(), 1);
    list.ListView1_ItemClick(list.ListView1->topLevelItem(0));
    list.cmd_uebernehmen_Click();
    QCOMPARE(global::DestDeviceId, 410001);
    QVERIFY(w->cmd_auslesen->isEnabled());
  }

  void read_unit()
  {
    choose_unit();
    w->cmd_auslesen_Click();
    QCOMPARE(backend.runs(), 1);
  }

private slots:
  void init()
  {
    fx.start();
    global::DecimalSeparator = ",";
    global::AdminFlag = 1;
    net::SetLocalIpSource([] { return QStringLiteral("192.0.2.10"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)); });
    QVERIFY(backend.install(fx.folder));
    QVERIFY(backend.put("unit1.bin", words(73, kUnit1)));
    QVERIFY(backend.put("unit2.bin", words(17, kUnit2)));
    QVERIFY(backend.put("unit3.bin", words(28, kUnit3)));
    QVERIFY(backend.put("unit4.bin", octets({0x01, 0x00, 0x00, 0x81})));
    QVERIFY(backend.put("unit5.bin", octets({0x05, 0x80})));
    open();
  }
  void cleanup()
  {
    delete frm_config::Existing();
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void readShowsTheUnitsValuesWithTheirScaling()
  {
    read_unit();
    QCOMPARE(backend.job(1), expected_job("\n[FUNCTION_1]\nTODO=READ\nDEVICE_ID=410001\nFILE_INSTANCE=1\nSTART=0\n"
                                          "END=146\nRESULTFILE={F}/tmp/file1.bin\n"
                                          "\n[FUNCTION_2]\nTODO=READ\nDEVICE_ID=410001\nFILE_INSTANCE=4\nSTART=0\n"
                                          "END=4\nRESULTFILE={F}/tmp/file4.bin\n"
                                          "\n[FUNCTION_3]\nTODO=READ\nDEVICE_ID=410001\nFILE_INSTANCE=2\nSTART=0\n"
                                          "END=34\nRESULTFILE={F}/tmp/file2.bin\n"
                                          "\n[FUNCTION_4]\nTODO=READ\nDEVICE_ID=410001\nFILE_INSTANCE=3\nSTART=0\n"
                                          "END=56\nRESULTFILE={F}/tmp/file3.bin\n"
                                          "\n[FUNCTION_5]\nTODO=READ\nDEVICE_ID=410001\nFILE_INSTANCE=5\nSTART=0\n"
                                          "END=2\nRESULTFILE={F}/tmp/file5.bin\n"));
    QCOMPARE(text(w->txt_data_cfg[34]), QString("25"));  // tenths
    QCOMPARE(text(w->txt_data_cfg[4]), QString("100"));  // percent
    QCOMPARE(text(w->txt_data_cfg[5]), QString("78"));
    QCOMPARE(text(w->txt_data_cfg[38]), QString("21,5"));  // set point 1 in "Temp": tenths
    QCOMPARE(text(w->txt_data_cfg[36]), QString("-3"));
    QCOMPARE(text(w->txt_data_cfg[40]), QString("-40"));  // set point 2 in "%": as it is
    QCOMPARE(text(w->txt_data_cfg[45]), QString("1"));  // set point 3 "keine": still tenths
    QCOMPARE(text(w->txt_data_cfg[69]), QString("0,5"));
    QCOMPARE(text(w->txt_data_cfg[58]), QString("-9"));
    QCOMPARE(w->cmb_cfg[2]->currentText(), QString("8T"));
    QCOMPARE(w->cmb_cfg[59]->currentIndex(), 1);
    QCOMPARE(w->cmb_cfg[62]->currentText(), QString("%"));
    QCOMPARE(w->lbl_cfg_val[0]->text(), QString("257"));
    QCOMPARE(text(w->txt_data_out[2]), QString("21,5"));
    QCOMPARE(w->lbl_temp[0]->text(), QString("21,5"));
    QCOMPARE(text(w->txt_data_out[3]), QString("-1"));
    QCOMPARE(text(w->txt_data_out[5]), QString("40"));
    QCOMPARE(text(w->txt_data_out[15]), QString("6"));
    QCOMPARE(w->lbl_in_val[15]->text(), QString("Auto 2. Stufe"));
    QCOMPARE(w->lbl_in_val[16]->text(), QString("Raum belegt"));
    for (int b = 0; b < 12; ++b)
      QCOMPARE(w->Lbl_button[size_t(b)]->palette().color(QPalette::Window) == marks::Red, b == 0 || b == 11);
    QCOMPARE(text(w->txt_data_in[0]), QString("59"));  // clock digits
    QCOMPARE(text(w->txt_data_in[5]), QString("26"));
    QCOMPARE(text(w->txt_data_in[7]), QString("-5,5"));
    QCOMPARE(text(w->txt_data_in[8]), QString("12,3"));
    QCOMPARE(text(w->txt_data_in[9]), QString("77"));
    QCOMPARE(text(w->txt_data_in[14]), QString("1,5"));
    QCOMPARE(text(w->txt_data_in[26]), QString("5"));
    QCOMPARE(w->cmb_in[26]->currentIndex(), 5);
    for (int i = 0; i < 32; ++i)
      QCOMPARE(w->chk_cfg[size_t(i)]->isChecked(), i == 0 || i == 24 || i == 31);
    for (int i = 0; i < 16; ++i)
      QCOMPARE(w->chk_input[size_t(i)]->isChecked(), i == 0 || i == 2 || i == 15);
    // Set point 3 without unit lifts its resolution to 1; nothing else differs from the unit.
    for (int i = 0; i < 73; ++i)
      QCOMPARE(marks::IsSet(w->txt_data_cfg[size_t(i)]), false);
    QCOMPARE(w->Shape1->FillColor(), QColor(0, 255, 0));
    QCOMPARE(global::LampState, 0);
    QVERIFY(w->cmd_paramSchreiben->isEnabled());
    QVERIFY(w->chk_monitor->isEnabled());
    QVERIFY(fx.messages.isEmpty());
  }

  void writingParametersSendsExactOctets()
  {
    read_unit();
    w->txt_data_cfg[40]->setText("-45");
    QVERIFY(marks::IsSet(w->txt_data_cfg[40]));
    QCOMPARE(global::LampState, 1);
    w->cmd_paramSchreiben_Click();
    QCOMPARE(backend.runs(), 2);
    QCOMPARE(backend.job(2), expected_job("\n[FUNCTION_1]\nTODO=WRITE\nDEVICE_ID=410001\nFILE_INSTANCE=1\nSTART=0\n"
                                          "END=146\nSOURCEFILE={F}/tmp/file1.bin\n"
                                          "\n[FUNCTION_2]\nTODO=WRITE\nDEVICE_ID=410001\nFILE_INSTANCE=4\nSTART=0\n"
                                          "END=4\nSOURCEFILE={F}/tmp/file4.bin\n"));
    std::map<int, int> sent = kUnit1;
    sent[40] = -45;
    sent[5] = 199;  // 200 shows as 78 %, which is 199 again
    QCOMPARE(backend.get("written1.bin"), words(73, sent));
    QCOMPARE(backend.get("written4.bin"), octets({0x01, 0x00, 0x00, 0x81}));
    QVERIFY(!marks::IsSet(w->txt_data_cfg[40]));
    QCOMPARE(global::ConfigRegisters[40], -45.0);
    QCOMPARE(global::LampState, 2);
    QVERIFY(w->cmd_auslesen->isEnabled());
  }

  void writingObjectsSetsTheUnitsClock()
  {
    read_unit();
    w->chk_input[1]->setChecked(true);
    w->cmd_objektSchreiben_Click();
    QCOMPARE(backend.runs(), 2);
    QCOMPARE(backend.job(2), expected_job("\n[FUNCTION_1]\nTODO=WRITE\nDEVICE_ID=410001\nFILE_INSTANCE=3\nSTART=0\n"
                                          "END=56\nSOURCEFILE={F}/tmp/file3.bin\n"
                                          "\n[FUNCTION_2]\nTODO=WRITE\nDEVICE_ID=410001\nFILE_INSTANCE=5\nSTART=0\n"
                                          "END=2\nSOURCEFILE={F}/tmp/file5.bin\n"));
    std::map<int, int> sent = kUnit3;
    // 5 March 2026, 09:07:03 as clock digits: second, minute, hour, day, month, year.
    sent[0] = 0x03;
    sent[1] = 0x07;
    sent[2] = 0x09;
    sent[3] = 0x05;
    sent[4] = 0x03;
    sent[5] = 0x26;
    QCOMPARE(backend.get("written3.bin"), words(28, sent));
    QCOMPARE(backend.get("written5.bin"), octets({0x07, 0x80}));
  }

  void failedWriteKeepsTheFieldsMarked()
  {
    read_unit();
    QVERIFY(backend.put("verdict", "\n-->Error while executing the functions\n"));
    w->txt_data_cfg[40]->setText("-45");
    w->cmd_paramSchreiben_Click();
    QCOMPARE(backend.runs(), 2);
    QCOMPARE(fx.messages.size(), 1);
    QVERIFY(fx.messages[0].startsWith("Es ist ein Fehler aufgetreten"));
    // The unit still holds -40: the field stays marked and the image keeps the unit's value.
    QCOMPARE(global::ConfigRegisters[40], -40.0);
    QVERIFY(marks::IsSet(w->txt_data_cfg[40]));
    QCOMPARE(global::LampState, 1);
    QVERIFY(w->cmd_paramSchreiben->isEnabled());
  }

  void backendThatCannotStartReadsNothing()
  {
    choose_unit();
    QFile::remove(shell::BackendProgram());
    w->cmd_auslesen_Click();
    QCOMPARE(fx.messages, QStringList{"Netzwerkscan fehlgeschlagen!"});
    QCOMPARE(text(w->txt_data_cfg[34]), QString("0"));
    QVERIFY(w->cmd_auslesen->isEnabled());
  }

  void monitorReadsTheRegisterBlockAtThePollCycle()
  {
    choose_unit();
    global::BacnetSettings.PollCycle = 100;
    w->chk_monitor->setChecked(true);
    QCOMPARE(backend.runs(), 1);
    QCOMPARE(backend.job(1).count("TODO=READ"), 5);
    QVERIFY(w->tmr_bacMonitor->isActive());
    QCOMPARE(w->tmr_bacMonitor->interval(), 100000);
    QCOMPARE(w->Shape1->FillColor(), QColor(0, 255, 0));
    // The first cycle shows the register block only; the configuration stays as it was.
    QCOMPARE(text(w->txt_data_in[8]), QString("12,3"));
    QCOMPARE(text(w->txt_data_cfg[34]), QString("0"));
    QVERIFY(!w->txt_data_cfg[3]->isEnabled());
    QVERIFY(!w->cmb_in[26]->isEnabled());
    QVERIFY(w->txt_data_out[3]->isEnabled());
    QVERIFY(!w->cmd_auslesen->isEnabled());
    QVERIFY(!w->cmd_netzwerkScan->isEnabled());
    QVERIFY(w->prgB_dummy->isVisibleTo(w));
    QVERIFY(w->chk_monitor->isEnabled());

    std::map<int, int> later = kUnit3;
    later[9] = 88;
    QVERIFY(backend.put("unit3.bin", words(28, later)));
    w->tmr_bacMonitor_Timer();
    w->tmr_bacMonitor_Timer();
    QCOMPARE(backend.runs(), 3);
    for (int run : {2, 3}) {
      const QByteArray job = backend.job(run);
      QCOMPARE(job.count("TODO=READ"), 3);
      QVERIFY(job.contains("FILE_INSTANCE=2") && job.contains("FILE_INSTANCE=3") && job.contains("FILE_INSTANCE=5"));
      QVERIFY(!job.contains("FILE_INSTANCE=1"));
    }
    // No configuration was read: external value 2 keeps its factory unit "Temp", in tenths.
    QCOMPARE(text(w->txt_data_in[9]), QString("8,8"));

    w->chk_monitor->setChecked(false);
    QVERIFY(!w->tmr_bacMonitor->isActive());
    QVERIFY(w->txt_data_cfg[3]->isEnabled());
    QVERIFY(w->cmd_auslesen->isEnabled());
    QVERIFY(w->cmd_netzwerkScan->isEnabled());
    QVERIFY(!w->prgB_dummy->isVisibleTo(w));
  }

  void monitorSkipsATickWhileItsCycleRuns()
  {
    choose_unit();
    backend.hold();
    int runs_seen_by_tick = -1;
    // Once the first cycle's backend is waiting, a tick falls due.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      if (backend.runs() < 1)
        return;
      poll.stop();
      w->tmr_bacMonitor_Timer();
      runs_seen_by_tick = backend.runs();
      backend.release();
    });
    poll.start(10);
    w->chk_monitor->setChecked(true);
    QCOMPARE(runs_seen_by_tick, 1);
    QCOMPARE(backend.runs(), 1);
    QVERIFY(!w->MonitorCycleRunning());
    w->tmr_bacMonitor_Timer();
    QCOMPARE(backend.runs(), 2);
  }

  void monitorRepeatsOnItsTimer()
  {
    choose_unit();
    global::BacnetSettings.PollCycle = 1;
    w->chk_monitor->setChecked(true);
    QCOMPARE(w->tmr_bacMonitor->interval(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(backend.runs() >= 3, 30000);
    w->chk_monitor->setChecked(false);
  }

  void failedFirstMonitorCycleTurnsTheLampRed()
  {
    choose_unit();
    QVERIFY(backend.put("verdict", "\nERROR: Can not establish BACnet connection\n"));
    w->chk_monitor->setChecked(true);
    QCOMPARE(w->Shape1->FillColor(), QColor(255, 0, 0));
    QCOMPARE(text(w->txt_data_in[8]), QString("0"));
    w->chk_monitor->setChecked(false);
  }

  void modbusUnitStartsNoBackend()
  {
    delete frm_config::Existing();
    global::DeviceType = 0;
    w = frm_config::Instance();
    w->chk_monitor->setEnabled(true);
    w->chk_monitor->setChecked(true);
    QVERIFY(w->Modbus().Timer7->isActive());
    QVERIFY(!w->tmr_bacMonitor->isActive());
    w->tmr_bacMonitor_Timer();
    w->chk_monitor->setChecked(false);
    QVERIFY(!w->Modbus().Timer7->isActive());
    w->cmd_auslesen_Click();
    QCOMPARE(backend.runs(), 0);
    QVERIFY(!QFile::exists(global::JobFilePath()));
  }
};

QTEST_MAIN(ConfigBacnetTest)
#include "frm_config_bacnet_test.moc"
