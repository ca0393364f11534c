#include "gui/forms/frm_modbusConfig.h"

#include "gui/core/mscomm.h"
#include "gui/core/program_state.h"
#include "gui/forms/form_support.h"
#include "gui/forms/frm_config.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kPortCount = 12;

QComboBox* editable_box(QWidget* parent, const char* name)
{
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  return box;
}

// A baud rate the serial line takes: a whole number above zero.
bool usable_baud_rate(const QString& text)
{
  return mscomm::parse_settings(text.trimmed() + ",N,8,1").has_value();
}

}  // namespace

frm_modbConfig::frm_modbConfig(QWidget* parent) : QDialog(parent)
{
  setObjectName("frm_modbConfig");
  setWindowTitle("Modbus Einstellungen");
  Frame1 = new QGroupBox("Allgemeine Einstellungen", this);
  Frame1->setObjectName("Frame1");
  auto* grid = new QGridLayout(Frame1);
  auto row = [&](int r, QLabel*& label, const char* label_name, const char* caption, QComboBox*& box,
                 const char* box_name) {
    label = new QLabel(caption, Frame1);
    label->setObjectName(label_name);
    box = editable_box(Frame1, box_name);
    grid->addWidget(label, r, 0);
    grid->addWidget(box, r, 1);
  };
  row(0, lbl_mode, "lbl_mode", "Mode", cmb_mode, "cmb_mode");
  row(1, lbl_baudrate, "lbl_baudrate", "Baudrate", cmb_baudrate, "cmb_baudrate");
  row(2, lbl_comPort, "lbl_comPort", "COM-Port", cmb_comPort, "cmb_comPort");
  cmd_uebernehmen = new QPushButton(QString::fromUtf8("Übernehmen"), this);
  cmd_uebernehmen->setObjectName(QString::fromUtf8("cmd_übernehmen"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Frame1);
  layout->addWidget(cmd_uebernehmen);
  connect(cmd_uebernehmen, &QPushButton::clicked, this, &frm_modbConfig::cmd_uebernehmen_Click);
  Form_Load();
}

void frm_modbConfig::Form_Load()
{
  forms::CentreOnScreen(this);
  const ModbusSettingsT& m = global::ModbusSettings;
  cmb_mode->addItems({"ASCII", "RTU"});
  cmb_mode->setCurrentIndex(m.ModeFlag <= 1 ? m.ModeFlag : -1);
  const QStringList rates = {"9600", "19200", "38400", "57600"};
  cmb_baudrate->addItems(rates);
  cmb_baudrate->setCurrentIndex(int(rates.indexOf(m.BaudRate)));
  // Every port the settings can hold is in the list, so a stored COM9..COM12 shows too.
  for (int n = 1; n <= kPortCount; ++n)
    cmb_comPort->addItem(QStringLiteral("COM%1").arg(n));
  cmb_comPort->setCurrentIndex(m.ComPortNumber >= 1 && m.ComPortNumber <= kPortCount ? m.ComPortNumber - 1 : -1);
}

void frm_modbConfig::cmd_uebernehmen_Click()
{
  ModbusSettingsT& m = global::ModbusSettings;
  // Only settings the master can use are taken; anything else keeps the setting in effect.
  const QString baud = cmb_baudrate->currentText().trimmed();
  if (usable_baud_rate(baud))
    m.BaudRate = baud;
  const QString mode = cmb_mode->currentText();
  if (mode == "ASCII")
    m.ModeFlag = 0;
  else if (mode == "RTU")
    m.ModeFlag = 1;
  const QString port = cmb_comPort->currentText();
  for (int n = 1; n <= kPortCount; ++n)
    if (port == QStringLiteral("COM%1").arg(n))
      m.ComPortNumber = uint8_t(n);

  // The Modbus frame shows what is in effect, not what was typed.
  if (frm_config* config = frm_config::Existing()) {
    if (m.ModeFlag <= 1)
      config->txt_modbMode->setText(m.ModeFlag == 1 ? "RTU" : "ASCII");
    config->txt_modbBaud->setText(m.BaudRate);
    config->txt_modbComPort->setText(QStringLiteral("COM%1").arg(m.ComPortNumber));
  }
  accept();
}
