// The network scan dialog: the user sets a range of device instances, the backend scans
// the network for devices in it and leaves them in tmp/result.csv for the device list. The
// dialog runs the backend and waits for it, shows the outcome, and lets the scan be
// cancelled. Whatever way a scan ends, the dialog's controls are usable again afterwards.
// Modal over the configuration window; a new dialog for every opening. UI thread only.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class UpDownControl;

class frm_scan : public QDialog {
  Q_OBJECT
public:
  explicit frm_scan(QWidget* parent = nullptr);

  QLabel *Label_low, *Label_high, *Label_wait;
  QLineEdit *txt_lowRange, *txt_highRange;
  UpDownControl *UpDown_lowRange, *UpDown_highRange;
  QPushButton *Command_scan, *Command_scanCancel, *cmd_OK;
  QProgressBar* ProgressBar1;

  void Command_scan_Click();
  void Command_scanCancel_Click();
  void cmd_OK_Click();
  void txt_lowRange_Change();
  void txt_highRange_Change();
  void UpDown_lowRange_UpClick();
  void UpDown_lowRange_DownClick();
  void UpDown_highRange_UpClick();
  void UpDown_highRange_DownClick();

  bool Scanning() const { return scanning_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

private:
  void Form_Load();
  void range_change(QLineEdit* box, UpDownControl* limits, bool low);
  void step(QLineEdit* box, UpDownControl* limits, bool up);
  void set_inputs_enabled(bool enabled);

  bool cancelled_ = false;
  bool scanning_ = false;
  bool close_after_scan_ = false;
};
