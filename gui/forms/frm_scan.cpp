#include "gui/forms/frm_scan.h"

#include "gui/core/backend_runner.h"
#include "gui/core/job_file.h"
#include "gui/core/language_texts.h"
#include "gui/core/message_box.h"
#include "gui/core/program_state.h"
#include "gui/core/settings_fields.h"
#include "gui/forms/form_support.h"
#include "gui/forms/window_controls.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <exception>

using forms::Make;

namespace {

}  // namespace

frm_scan::frm_scan(QWidget* parent) : QDialog(parent)
{
  setObjectName("frm_scan");
  setWindowTitle("Netzwerkbereich festlegen");
  Label_low = Make<QLabel>(this, "Label_low");
  Label_low->setText("untere Grenze");
  txt_lowRange = Make<QLineEdit>(this, "txt_lowRange");
  UpDown_lowRange = Make<UpDownControl>(this, "UpDown_lowRange");
  Label_high = Make<QLabel>(this, "Label_high");
  Label_high->setText("obere Grenze");
  txt_highRange = Make<QLineEdit>(this, "txt_highRange");
  UpDown_highRange = Make<UpDownControl>(this, "UpDown_highRange");
  for (UpDownControl* ud : {UpDown_lowRange, UpDown_highRange}) {
    ud->Min = 0;
    ud->Max = 4194305;
  }
  Command_scan = Make<QPushButton>(this, "Command_scan");
  Command_scan->setText("Scan starten");
  Command_scanCancel = Make<QPushButton>(this, "Command_scanCancel");
  Command_scanCancel->setText("Scan abbrechen");
  cmd_OK = Make<QPushButton>(this, "cmd_OK");
  cmd_OK->setText("OK");
  Label_wait = Make<QLabel>(this, "Label_wait");
  ProgressBar1 = Make<QProgressBar>(this, "ProgressBar1");
  ProgressBar1->setRange(0, 1000);
  ProgressBar1->setTextVisible(false);
  for (QPushButton* b : {Command_scan, Command_scanCancel, cmd_OK})
    b->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(Label_low, 0, 0);
  grid->addWidget(txt_lowRange, 0, 1);
  grid->addWidget(UpDown_lowRange, 0, 2);
  grid->addWidget(Label_high, 1, 0);
  grid->addWidget(txt_highRange, 1, 1);
  grid->addWidget(UpDown_highRange, 1, 2);
  grid->addWidget(Command_scan, 2, 0);
  grid->addWidget(Command_scanCancel, 2, 1, 1, 2);
  grid->addWidget(Label_wait, 3, 0, 1, 3);
  grid->addWidget(ProgressBar1, 4, 0, 1, 3);
  grid->addWidget(cmd_OK, 5, 1, 1, 2);
  setFixedWidth(forms::Px(5200));

  // The boxes open with the full range each time; the stored range changes only by editing.
  txt_lowRange->setText("0");
  txt_highRange->setText("4194305");
  txt_lowRange->installEventFilter(this);
  txt_highRange->installEventFilter(this);
  connect(txt_lowRange, &QLineEdit::textChanged, this, &frm_scan::txt_lowRange_Change);
  connect(txt_highRange, &QLineEdit::textChanged, this, &frm_scan::txt_highRange_Change);
  connect(UpDown_lowRange, &UpDownControl::UpClick, this, &frm_scan::UpDown_lowRange_UpClick);
  connect(UpDown_lowRange, &UpDownControl::DownClick, this, &frm_scan::UpDown_lowRange_DownClick);
  connect(UpDown_highRange, &UpDownControl::UpClick, this, &frm_scan::UpDown_highRange_UpClick);
  connect(UpDown_highRange, &UpDownControl::DownClick, this, &frm_scan::UpDown_highRange_DownClick);
  connect(Command_scan, &QPushButton::clicked, this, &frm_scan::Command_scan_Click);
  connect(Command_scanCancel, &QPushButton::clicked, this, &frm_scan::Command_scanCancel_Click);
  connect(cmd_OK, &QPushButton::clicked, this, &frm_scan::cmd_OK_Click);
  Form_Load();
}

void frm_scan::Form_Load()
{
  cmd_OK->setEnabled(false);
  Command_scanCancel->setEnabled(false);
  if (global::LanguageCode.toInt() == 1033) {
    static const forms::Caption kEnglish[] = {{"", "Scan network"},       {"Label_low", "lower address"},
                                              {"Label_high", "top address"}, {"Command_scan", "Start scan"},
                                              {"Command_scanCancel", "Cancel scan"}, {"cmd_OK", "OK"}};
    forms::ApplyCaptions(this, kEnglish);
  }
  forms::CentreOnScreen(this);
}

void frm_scan::cmd_OK_Click() { close(); }

bool frm_scan::eventFilter(QObject* watched, QEvent* event)
{
  if ((watched == txt_lowRange || watched == txt_highRange) && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const int code = key->key() == Qt::Key_Backspace ? 8 : key->text().isEmpty() ? -1 : key->text().at(0).unicode();
    if (code >= 0 && !settings_fields::KeyAllowed(code))
      return true;
  }
  return QDialog::eventFilter(watched, event);
}

void frm_scan::range_change(QLineEdit* box, UpDownControl* limits, bool low)
{
  if (auto fix = settings_fields::Check(box->text(), int64_t(limits->Min), int64_t(limits->Max))) {
    if (fix->message)
      MsgBox(QString::fromUtf8(fix->message));
    // The corrected text runs this handler again and stores the value there.
    box->setText(fix->text);
    return;
  }
  const int32_t value = int32_t(settings_fields::Value(box->text(), int64_t(limits->Min)));
  (low ? global::BacnetSettings.ScanLow : global::BacnetSettings.ScanHigh) = value;
}

void frm_scan::txt_lowRange_Change() { range_change(txt_lowRange, UpDown_lowRange, true); }
void frm_scan::txt_highRange_Change() { range_change(txt_highRange, UpDown_highRange, false); }

void frm_scan::step(QLineEdit* box, UpDownControl* limits, bool up)
{
  const auto lo = int64_t(limits->Min), hi = int64_t(limits->Max);
  if (auto text = up ? settings_fields::StepUp(box->text(), lo, hi) : settings_fields::StepDown(box->text(), lo, hi))
    box->setText(*text);
}

void frm_scan::UpDown_lowRange_UpClick() { step(txt_lowRange, UpDown_lowRange, true); }
void frm_scan::UpDown_lowRange_DownClick() { step(txt_lowRange, UpDown_lowRange, false); }
void frm_scan::UpDown_highRange_UpClick() { step(txt_highRange, UpDown_highRange, true); }
void frm_scan::UpDown_highRange_DownClick() { step(txt_highRange, UpDown_highRange, false); }

void frm_scan::set_inputs_enabled(bool enabled)
{
  for (QWidget* w : std::initializer_list<QWidget*>{UpDown_lowRange, UpDown_highRange, txt_lowRange, txt_highRange,
                                                    Command_scan})
    w->setEnabled(enabled);
}

void frm_scan::Command_scan_Click()
{
  if (scanning_ || shell::IsRunning())
    return;
  const bool english = global::LanguageCode.toInt() == 1033;
  QPointer<frm_scan> self(this);
  scanning_ = true;
  bool finished = false;
  try {
    if (!global::WriteScanJob()) {
      // The user has been told; no scan runs on an old job file.
      Label_wait->setText("Fehler");
      scanning_ = false;
      return;
    }
    set_inputs_enabled(false);
    cmd_OK->setEnabled(false);
    Command_scanCancel->setEnabled(true);
    Label_wait->setText(english ? "Scanning network! Please wait..." : "Netzwerk wird gescannt! Bitte warten...");
    Label_wait->repaint();

    QPointer<QProgressBar> bar(ProgressBar1);
    const shell::RunResult run = shell::RunAndWait(global::JobFilePath(), [bar](int v) {
      if (bar)
        bar->setValue(v);
    });
    if (!self)
      return;
    if (run == shell::RunResult::Cancelled) {
      // A killed backend leaves no verdict in its log; the user asked for the end.
      Label_wait->setText(english ? "Scan cancelled" : "Abbruch durch Benutzer");
    } else if (run != shell::RunResult::Finished || global::CheckBackendLog() != 1) {
      Label_wait->setText("Fehler");
    } else {
      Label_wait->setText(english ? "Finished" : "Netzwerk gescannt");
      finished = true;
    }
    Label_wait->repaint();
  } catch (const std::exception&) {
    MsgBox("Fehler!!");
  }
  if (!self)
    return;
  // However the scan ended, the dialog is usable again; OK only after a scan that finished.
  scanning_ = false;
  set_inputs_enabled(true);
  Command_scanCancel->setEnabled(false);
  cmd_OK->setEnabled(finished);
  cancelled_ = false;
  if (close_after_scan_)
    close();
}

void frm_scan::Command_scanCancel_Click()
{
  shell::CancelRun();
  set_inputs_enabled(true);
  cmd_OK->setEnabled(true);
  cancelled_ = true;
}

void frm_scan::closeEvent(QCloseEvent* event)
{
  // The dialog stays until its scan has returned; closing it cancels the scan.
  if (scanning_) {
    close_after_scan_ = true;
    shell::CancelRun();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void frm_scan::reject()
{
  if (scanning_) {
    close_after_scan_ = true;
    shell::CancelRun();
    return;
  }
  QDialog::reject();
}
