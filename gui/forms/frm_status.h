// The status window of a Modbus transfer: a bar filling in ten steps over a time set by the
// step and the unit's answer delay, the configuration window disabled meanwhile. Once the
// time is over and the transfer done (or the unit silent) it closes, after a write reading
// the unit again; cancelling or closing it stops the transfer. When the configuration window
// was closed during a write, its closing ends the program instead. One parentless instance,
// so the disabled configuration window leaves it usable. User-interface thread only.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class frmState : public QWidget {
  Q_OBJECT
public:
  // The window, loaded when it is not.
  static frmState* Instance();
  // The window if it was ever made, else null.
  static frmState* Existing();
  ~frmState() override;

  // Prepares the window for the current sequence step and starts its timers.
  void ShowMsg();
  // Ends the window for the current step.
  void CloseWindow();
  void Abbruch_Click();
  void Timer1SW_Timer();  // duration over
  void Timer2SW_Timer();  // progress
  // The program ends once the running write chain is done; the window says so meanwhile.
  void AnnounceProgramEnd();

  // The English captions.
  void SetEnglishTexts();

  bool Loaded() const { return loaded_; }

  QLabel* lblTxt = nullptr;
  QWidget* frameProgress = nullptr;
  QProgressBar* ProgressFile = nullptr;
  QPushButton* cmdOK = nullptr;
  QPushButton* Abbruch = nullptr;
  QTimer* Timer1SW = nullptr;
  QTimer* Timer2SW = nullptr;
  int ProgressCounter = 0;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  frmState();
  void Form_Load();
  void reset_progress();
  // Hides the window and enables the configuration window again.
  void unload();

  bool loaded_ = false;
  bool unloading_ = false;
};
