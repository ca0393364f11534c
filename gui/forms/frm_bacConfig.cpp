#include "gui/forms/frm_bacConfig.h"

#include "gui/core/bacnet_ini.h"
#include "gui/core/local_address.h"
#include "gui/core/message_box.h"
#include "gui/core/monitor_cycle.h"
#include "gui/core/program_state.h"
#include "gui/core/settings_fields.h"
#include "gui/forms/form_support.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/window_controls.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

using forms::Make;

namespace {

QString u8(const char* text) { return QString::fromUtf8(text); }

// One numeric line: label, text box and up/down pair with the field's limits.
QLineEdit* numeric(QWidget* parent, QGridLayout* grid, int row, const char* label_name, const char* caption,
                   const char* edit_name, const char* updown_name, int64_t lower, int64_t upper, UpDownControl*& ud)
{
  auto* label = Make<QLabel>(parent, label_name);
  label->setText(u8(caption));
  auto* edit = Make<QLineEdit>(parent, edit_name);
  ud = Make<UpDownControl>(parent, updown_name);
  ud->Min = double(lower);
  ud->Max = double(upper);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  grid->addWidget(ud, row, 2);
  return edit;
}

QComboBox* list(QWidget* parent, QGridLayout* grid, int row, const char* label_name, const char* caption,
                const char* box_name, const QStringList& entries)
{
  auto* label = Make<QLabel>(parent, label_name);
  label->setText(u8(caption));
  auto* box = Make<QComboBox>(parent, box_name);
  box->addItems(entries);
  box->setCurrentIndex(-1);
  grid->addWidget(label, row, 0);
  grid->addWidget(box, row, 1, 1, 2);
  return box;
}

void select_text(QComboBox* box, const QString& text)
{
  // A stored text that is no entry of the list leaves nothing selected.
  box->setCurrentIndex(box->findText(text, Qt::MatchExactly));
}

}  // namespace

frm_bacConfig::frm_bacConfig(QWidget* parent) : QDialog(parent)
{
  setObjectName("frm_bacConfig");
  setWindowTitle("BACnet Einstellungen");
  Frame1 = Make<QGroupBox>(this, "Frame1");
  Frame1->setTitle("Allgemeine Einstellungen");
  auto* general = new QGridLayout(Frame1);
  cmb_link = list(Frame1, general, 0, "lbl_link", "Link:", "cmb_link", {"BACnet/IP", "MS/TP"});
  txt_timeout = numeric(Frame1, general, 1, "lbl_timeout", "Scan time:", "txt_timeout", "UpDown_timeout", 0, 100,
                        UpDown_timeout);
  general->addWidget(Make<QLabel>(Frame1, "lbl_timeUnit_0"), 1, 3);
  txt_monitorTime = numeric(Frame1, general, 2, "lbl_monitorTime", "Poll-Zyklus:", "txt_monitorTime",
                            "UpDown_monitorTime", 1, 100, UpDown_monitorTime);
  general->addWidget(Make<QLabel>(Frame1, "lbl_timeUnit_1"), 2, 3);
  for (auto* unit : Frame1->findChildren<QLabel*>(QRegularExpression("^lbl_timeUnit_")))
    unit->setText("[s]");

  frame_ip = Make<QGroupBox>(Frame1, "frame_ip");
  frame_ip->setTitle("IP Einstellungen");
  auto* ip = new QGridLayout(frame_ip);
  auto* ip_label = Make<QLabel>(frame_ip, "Label_lokalIP");
  ip_label->setText("Lokale IP-Adresse:");
  txt_localIP = Make<QLineEdit>(frame_ip, "txt_localIP");
  // Only an IPv4 address can be typed or pasted: the address goes into bacnet.ini and the job.
  static const QRegularExpression ipv4(
      "\\A((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\z");
  txt_localIP->setValidator(new QRegularExpressionValidator(ipv4, txt_localIP));
  ip->addWidget(ip_label, 0, 0);
  ip->addWidget(txt_localIP, 0, 1, 1, 2);
  txt_deviceID = numeric(frame_ip, ip, 1, "Label_deviceID", "BACnet Device-ID:", "txt_deviceID", "UpDown_deviceID", 0,
                         4194305, UpDown_deviceID);
  txt_port = numeric(frame_ip, ip, 2, "lbl_port", "Port:", "txt_port", "UpDown_port", 0, 50000, UpDown_port);
  general->addWidget(frame_ip, 3, 0, 1, 4);

  frame_mstp = Make<QGroupBox>(Frame1, "frame_mstp");
  frame_mstp->setTitle("MS/TP Einstellungen");
  auto* mstp = new QGridLayout(frame_mstp);
  txt_mac = numeric(frame_mstp, mstp, 0, "Label_mac", "MAC-Adresse:", "txt_mac", "UpDown_mac", 1, 127, UpDown_mac);
  txt_offsDeviceID = numeric(frame_mstp, mstp, 1, "Label_offsDeviceID", "Offset-Device-ID:", "txt_offsDeviceID",
                             "UpDown_offsDeviceID", 0, 4194150, UpDown_offsDeviceID);
  QStringList ports;
  for (int i = 1; i <= 12; ++i)
    ports << QStringLiteral("COM%1").arg(i);
  cmb_comPort = list(frame_mstp, mstp, 2, "lbl_comPort", "COM-Port:", "cmb_comPort", ports);
  cmb_baudrate = list(frame_mstp, mstp, 3, "lbl_baud", "Baudrate:", "cmb_baudrate",
                      {"9600", "19200", "38400", "57600", "76800", "115200"});
  general->addWidget(frame_mstp, 4, 0, 1, 4);

  Command_uebernehmen = Make<QPushButton>(this, "Command_übernehmen");
  Command_uebernehmen->setText(u8("Übernehmen"));
  Command_uebernehmen->setAutoDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Frame1);
  layout->addWidget(Command_uebernehmen, 0, Qt::AlignRight);

  for (QLineEdit* e : {txt_timeout, txt_monitorTime, txt_deviceID, txt_port, txt_mac})
    e->installEventFilter(this);
  connect(cmb_link, &QComboBox::currentIndexChanged, this, &frm_bacConfig::cmb_link_Click);
  connect(txt_deviceID, &QLineEdit::textChanged, this, &frm_bacConfig::txt_deviceID_Change);
  connect(txt_timeout, &QLineEdit::textChanged, this, &frm_bacConfig::txt_timeout_Change);
  connect(txt_port, &QLineEdit::textChanged, this, &frm_bacConfig::txt_port_Change);
  connect(txt_mac, &QLineEdit::textChanged, this, &frm_bacConfig::txt_mac_Change);
  connect(txt_monitorTime, &QLineEdit::textChanged, this, &frm_bacConfig::txt_monitorTime_Change);
  const std::pair<UpDownControl*, QLineEdit*> pairs[] = {{UpDown_deviceID, txt_deviceID},
                                                         {UpDown_timeout, txt_timeout},
                                                         {UpDown_port, txt_port},
                                                         {UpDown_mac, txt_mac},
                                                         {UpDown_monitorTime, txt_monitorTime}};
  for (auto [ud, edit] : pairs) {
    connect(ud, &UpDownControl::UpClick, this, [this, ud = ud, edit = edit] { step(edit, ud, true); });
    connect(ud, &UpDownControl::DownClick, this, [this, ud = ud, edit = edit] { step(edit, ud, false); });
  }
  connect(Command_uebernehmen, &QPushButton::clicked, this, &frm_bacConfig::Command_uebernehmen_Click);
  Form_Load();
}

void frm_bacConfig::Form_Load()
{
  forms::CentreOnScreen(this);
  BacnetSettingsT& s = global::BacnetSettings;
  s.LocalIp = net::LocalIpAddress();
  if (global::LanguageCode.toInt() == 1033) {
    static const forms::Caption kEnglish[] = {
        {"", "BACnet settings"},         {"Frame1", "Settings"},           {"lbl_monitorTime", "Poll cycle"},
        {"frame_ip", "IP settings"},      {"Label_lokalIP", "Local IP address"}, {"frame_mstp", "MS/TP settings"},
        {"Label_mac", "MAC address"}};
    forms::ApplyCaptions(this, kEnglish);
    Command_uebernehmen->setText("Apply");
  }
  select_text(cmb_link, s.Link);
  if (s.Link == "BACnet/IP") {
    for (QWidget* w : std::initializer_list<QWidget*>{txt_mac, txt_offsDeviceID, UpDown_mac, UpDown_offsDeviceID,
                                                      cmb_comPort, cmb_baudrate})
      w->setEnabled(false);
  } else if (s.Link == "MS/TP") {
    for (QWidget* w : std::initializer_list<QWidget*>{txt_localIP, txt_deviceID, txt_port, UpDown_deviceID, UpDown_port})
      w->setEnabled(false);
  }
  // Copies first: each text runs its change handler, which stores into the settings.
  const BacnetSettingsT shown = s;
  txt_localIP->setText(shown.LocalIp);
  txt_deviceID->setText(QString::number(shown.LocalDeviceId));
  txt_port->setText(QString::number(shown.UdpPort));
  txt_timeout->setText(QString::number(shown.ScanTime));
  txt_monitorTime->setText(QString::number(shown.PollCycle));
  txt_mac->setText(QString::number(shown.MstpMac));
  txt_offsDeviceID->setText(QString::number(shown.DeviceIdOffset));
  select_text(cmb_comPort, shown.ComPort);
  select_text(cmb_baudrate, shown.BaudRate);
}

void frm_bacConfig::cmb_link_Click()
{
  const int index = cmb_link->currentIndex();
  const QList<QWidget*> ip_group = {frame_ip, txt_localIP, txt_deviceID, txt_port, UpDown_deviceID, UpDown_port};
  const QList<QWidget*> mstp_group = {frame_mstp,   txt_mac,    txt_offsDeviceID,   cmb_comPort,
                                      cmb_baudrate, UpDown_mac, UpDown_offsDeviceID};
  if (index == 0 || index == 1) {
    for (QWidget* w : ip_group)
      w->setEnabled(index == 0);
    for (QWidget* w : mstp_group)
      w->setEnabled(index == 1);
  }
  global::BacnetSettings.Link = cmb_link->currentText();
}

bool frm_bacConfig::eventFilter(QObject* watched, QEvent* event)
{
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
    auto* key = static_cast<QKeyEvent*>(event);
    const int code = key->key() == Qt::Key_Backspace ? 8 : key->text().isEmpty() ? -1 : key->text().at(0).unicode();
    if (code >= 0 && !settings_fields::KeyAllowed(code))
      return true;
  }
  return QDialog::eventFilter(watched, event);
}

bool frm_bacConfig::check(QLineEdit* box, const UpDownControl* limits)
{
  if (auto fix = settings_fields::Check(box->text(), int64_t(limits->Min), int64_t(limits->Max))) {
    if (fix->message)
      MsgBox(QString::fromUtf8(fix->message));
    // The corrected text runs the change handler again, which stores it.
    box->setText(fix->text);
    return false;
  }
  return true;
}

void frm_bacConfig::step(QLineEdit* box, const UpDownControl* limits, bool up)
{
  const auto lo = int64_t(limits->Min), hi = int64_t(limits->Max);
  if (auto text = up ? settings_fields::StepUp(box->text(), lo, hi) : settings_fields::StepDown(box->text(), lo, hi))
    box->setText(*text);
}

void frm_bacConfig::txt_deviceID_Change()
{
  if (check(txt_deviceID, UpDown_deviceID))
    global::BacnetSettings.LocalDeviceId = int32_t(settings_fields::Value(txt_deviceID->text(), 0));
}

void frm_bacConfig::txt_timeout_Change()
{
  if (check(txt_timeout, UpDown_timeout))
    global::BacnetSettings.ScanTime = int32_t(settings_fields::Value(txt_timeout->text(), 0));
}

void frm_bacConfig::txt_port_Change()
{
  if (check(txt_port, UpDown_port))
    global::BacnetSettings.UdpPort = int32_t(settings_fields::Value(txt_port->text(), 0));
}

void frm_bacConfig::txt_mac_Change()
{
  if (check(txt_mac, UpDown_mac))
    global::BacnetSettings.MstpMac = uint8_t(settings_fields::Value(txt_mac->text(), 1));
}

void frm_bacConfig::txt_monitorTime_Change() { check(txt_monitorTime, UpDown_monitorTime); }

void frm_bacConfig::Command_uebernehmen_Click()
{
  if (!txt_localIP->hasAcceptableInput() && txt_localIP->isEnabled()) {
    MsgBox(global::LanguageCode.toInt() == 1033 ? QStringLiteral("Please enter a complete IPv4 address.")
                                                : QStringLiteral("Bitte geben Sie eine vollständige IPv4-Adresse ein."));
    txt_localIP->setFocus();
    return;
  }
  BacnetSettingsT& s = global::BacnetSettings;
  s.Link = cmb_link->currentText();
  s.LocalIp = txt_localIP->text();
  s.LocalDeviceId = int32_t(settings_fields::Value(txt_deviceID->text(), 0));
  s.UdpPort = int32_t(settings_fields::Value(txt_port->text(), 0));
  s.ScanTime = int32_t(settings_fields::Value(txt_timeout->text(), 0));
  s.PollCycle = int16_t(settings_fields::Value(txt_monitorTime->text(), 1));
  s.BaudRate = cmb_baudrate->currentText();
  s.MstpMac = uint8_t(settings_fields::Value(txt_mac->text(), 1));
  s.ComPort = cmb_comPort->currentText();

  if (frm_config* config = frm_config::Existing()) {
    config->txt_bacIp->setText(txt_localIP->text());
    config->txt_bacPort->setText(txt_port->text());
    config->txt_bacDeviceID->setText(txt_deviceID->text());
    config->txt_bacMac->setText(txt_mac->text());
    config->txt_bacComPort->setText(cmb_comPort->currentText());
    config->txt_bacBaudrate->setText(cmb_baudrate->currentText());
    if (cmb_link->currentText() == "BACnet/IP") {
      config->frm_mstp->setVisible(false);
      config->frm_ip->setVisible(true);
    } else if (cmb_link->currentText() == "MS/TP") {
      config->frm_mstp->setVisible(true);
      config->frm_ip->setVisible(false);
    }
    config->txt_link->setText(s.Link);
    config->tmr_bacMonitor->setInterval(monitor::PollIntervalMs(s.PollCycle));
  }
  global::SaveBacnetIni();
  close();
}
