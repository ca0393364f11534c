// The Modbus settings dialog: framing (RTU or ASCII), baud rate and serial port of the
// configuration window's Modbus master. "Übernehmen" takes what is a usable setting into the
// shared Modbus settings and shows the settings now in effect in the configuration window's
// Modbus frame; they apply the next time the port is opened. The port itself is not touched
// here. Modal over the configuration window; a new dialog for every opening. UI thread only.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class frm_modbConfig : public QDialog {
  Q_OBJECT
public:
  explicit frm_modbConfig(QWidget* parent = nullptr);

  QGroupBox* Frame1;
  QLabel *lbl_mode, *lbl_baudrate, *lbl_comPort;
  QComboBox *cmb_mode, *cmb_baudrate, *cmb_comPort;
  QPushButton* cmd_uebernehmen;

  void cmd_uebernehmen_Click();

private:
  void Form_Load();
};
