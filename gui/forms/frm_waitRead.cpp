#include "gui/forms/frm_waitRead.h"

#include "gui/core/backend_runner.h"
#include "gui/core/language_texts.h"
#include "gui/core/program_state.h"
#include "gui/core/register_image.h"
#include "gui/forms/form_support.h"
#include "gui/forms/program_exit.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

frm_waitRead::frm_waitRead()
{
  setObjectName("frm_waitRead");
  setAttribute(Qt::WA_DeleteOnClose);
  lbl_meldung = new QLabel(QStringLiteral("Bitte warten..."), this);
  lbl_meldung->setObjectName("lbl_meldung");
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 1000);
  ProgressBar1->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lbl_meldung);
  layout->addWidget(ProgressBar1);
  // The window follows its notice: a longer one widens it instead of being cut.
  ProgressBar1->setMinimumWidth(300);
  Form_Load();
}

void frm_waitRead::Form_Load() { forms::CentreOnScreen(this); }

bool frm_waitRead::ShowMsg(bool conf, bool reg, RegisterControls& controls)
{
  QPointer<frm_waitRead> self(this);
  QPointer<QProgressBar> bar(ProgressBar1);
  shell::RunResult result = shell::RunAndWait(global::JobFilePath(), [bar](int value) {
    if (bar)
      bar->setValue(value);
  });
  if (!self)
    return false;

  bool done = result == shell::RunResult::Finished && global::CheckBackendLog() == 1;
  if (done) {
    lbl_meldung->setText(QStringLiteral("Fertig!"));
    global::LoadResultFiles(conf, reg, &controls);
    global::ShowRegisterTables(conf, reg, controls);
    if (conf && reg) {
      controls.SetLampGreen();
      global::LampState = 0;
    } else {
      controls.func_red_field();
    }
  } else {
    lbl_meldung->setText(QStringLiteral("Fehler!"));
  }
  close();
  forms::JobOutcomeShown();
  return done;
}

void frm_waitRead::AnnounceProgramEnd()
{
  lbl_meldung->setText(global::IsEnglish() ? QStringLiteral("Writing to the unit. The program ends afterwards ...")
                                           : QString::fromUtf8("Die Daten werden geschrieben. Danach wird das "
                                                               "Programm beendet ..."));
}

void frm_waitRead::closeEvent(QCloseEvent* event)
{
  // The job ends first; ShowMsg then unloads the window itself.
  if (shell::IsRunning()) {
    event->ignore();
    if (shell::RunWritesUnit())
      lbl_meldung->setText(global::IsEnglish() ? QStringLiteral("Writing to the unit cannot be cancelled ...")
                                               : QString::fromUtf8("Das Schreiben kann nicht abgebrochen werden ..."));
    else
      shell::CancelRun();
    return;
  }
  QWidget::closeEvent(event);
}
