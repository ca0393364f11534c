// The wait window of a read or write job started from a button: runs the prepared job
// through the backend runner with its progress bar, judges the log and, after a good read,
// loads the value files and shows them on the configuration window. It unloads itself when
// the job is over. Closing it while the backend runs cancels a read; a write into the unit
// cannot be cancelled halfway and runs to its end. User-interface thread.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class RegisterControls;

class frm_waitRead : public QWidget {
  Q_OBJECT
public:
  frm_waitRead();

  // Runs the job file that the caller has written; true when the job succeeded and the
  // blocks conf and reg have been loaded and shown through controls.
  bool ShowMsg(bool conf, bool reg, RegisterControls& controls);

  // The program ends once the running write is done; the window says so meanwhile.
  void AnnounceProgramEnd();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void Form_Load();

  QLabel* lbl_meldung;
  QProgressBar* ProgressBar1;
};
