// The device list: the devices of the last network scan, from tmp/result.csv, of which the
// user chooses the destination unit. A click only selects a device; the choice becomes the
// destination, and reaches the configuration window, only on "Übernehmen", so the window
// always shows the unit that is read and written. A device whose Device-ID is no valid
// instance cannot be chosen. Modal over the configuration window; UI thread only.
#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class frm_deviceList : public QDialog {
  Q_OBJECT
public:
  explicit frm_deviceList(QWidget* parent = nullptr);

  QLabel *lbl_scan, *lbl_device;
  QLineEdit *txt_scan, *txt_device;
  QTreeWidget* ListView1;
  QPushButton* cmd_uebernehmen;

  void ReadDirectory();
  void ListView1_ItemClick(QTreeWidgetItem* item);
  void cmd_uebernehmen_Click();

private:
  void Form_Load();
  void show_scan_time();
  void fit_columns();

  std::optional<int32_t> chosen_;
};
