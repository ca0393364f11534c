// The BACnet settings dialog: link, the program's own device instance, UDP port, MS/TP
// station, serial port and baud rate, scan time and the monitor's poll cycle. The numeric
// fields keep their ranges as they are typed and store most values at once; "Übernehmen"
// stores the rest, copies the settings into the configuration window and writes bacnet.ini.
// Modal over the configuration window; a new dialog for every opening. UI thread only.
#pragma once

#include <QDialog>
#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class UpDownControl;

class frm_bacConfig : public QDialog {
  Q_OBJECT
public:
  explicit frm_bacConfig(QWidget* parent = nullptr);

  QGroupBox *Frame1, *frame_ip, *frame_mstp;
  QComboBox *cmb_link, *cmb_comPort, *cmb_baudrate;
  QLineEdit *txt_timeout, *txt_monitorTime, *txt_localIP, *txt_deviceID, *txt_port, *txt_mac, *txt_offsDeviceID;
  UpDownControl *UpDown_timeout, *UpDown_monitorTime, *UpDown_deviceID, *UpDown_port, *UpDown_mac,
      *UpDown_offsDeviceID;
  QPushButton* Command_uebernehmen;

  void cmb_link_Click();
  void Command_uebernehmen_Click();
  void txt_deviceID_Change();
  void txt_timeout_Change();
  void txt_port_Change();
  void txt_mac_Change();
  void txt_monitorTime_Change();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Form_Load();
  // Corrects the field to its range; true when the text stands as it is.
  bool check(QLineEdit* box, const UpDownControl* limits);
  void step(QLineEdit* box, const UpDownControl* limits, bool up);
};
