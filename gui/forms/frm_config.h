// The configuration window, the program's main window for the rest of the run. For now it
// is a plain window with its caption; its pages, menus and actions come with the next part
// of the program. One instance per run, created on first use. User-interface thread only.
#pragma once

#include <QMainWindow>

class frm_config : public QMainWindow {
  Q_OBJECT
public:
  // The one window; created (and loaded) on first use.
  static frm_config* Instance();
  // The window if it is loaded, else null.
  static frm_config* Existing();

  void SetEnglishTexts();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  frm_config();
  void Form_Load();
};
