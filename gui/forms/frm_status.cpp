#include "gui/forms/frm_status.h"

#include "gui/core/language_texts.h"
#include "gui/core/modbus_timing.h"
#include "gui/core/program_state.h"
#include "gui/forms/form_support.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/language_forms.h"
#include "gui/forms/program_exit.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QPointer<frmState>& instance()
{
  static QPointer<frmState> window;
  return window;
}

// Steps after which closing the window reads the unit again: the configuration bits, the
// input registers or the input bits have been written.
bool ends_a_write(int32_t step) { return step == 4 || step == 5 || step == 8; }

}  // namespace

frmState* frmState::Instance()
{
  if (!instance())
    instance() = new frmState;
  if (!instance()->loaded_)
    instance()->Form_Load();
  return instance();
}

frmState* frmState::Existing() { return instance(); }

frmState::~frmState() = default;

frmState::frmState()
{
  setObjectName("frmState");
  setWindowTitle("Status");
  lblTxt = new QLabel("Waiting ...", this);
  lblTxt->setObjectName("lblTxt");
  frameProgress = new QWidget(this);
  frameProgress->setObjectName("frameProgress");
  ProgressFile = new QProgressBar(frameProgress);
  ProgressFile->setObjectName("ProgressFile");
  ProgressFile->setTextVisible(false);
  auto* bar_layout = new QVBoxLayout(frameProgress);
  bar_layout->setContentsMargins(0, 0, 0, 0);
  bar_layout->addWidget(ProgressFile);
  cmdOK = new QPushButton(QString::fromUtf8("Schließen"), this);
  cmdOK->setObjectName("cmdOK");
  Abbruch = new QPushButton("Abbruch", this);
  Abbruch->setObjectName("Abbruch");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK);
  buttons->addWidget(Abbruch);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblTxt);
  layout->addWidget(frameProgress);
  layout->addLayout(buttons);
  // The window follows its text: a longer one widens it instead of being cut.
  frameProgress->setMinimumWidth(280);

  Timer1SW = new QTimer(this);
  Timer1SW->setObjectName("Timer1SW");
  Timer2SW = new QTimer(this);
  Timer2SW->setObjectName("Timer2SW");
  connect(Timer1SW, &QTimer::timeout, this, &frmState::Timer1SW_Timer);
  connect(Timer2SW, &QTimer::timeout, this, &frmState::Timer2SW_Timer);
  connect(Abbruch, &QPushButton::clicked, this, &frmState::Abbruch_Click);
}

void frmState::Form_Load()
{
  loaded_ = true;
  global::SetEnglishTexts(3);
  forms::CentreOnScreen(this);
  Abbruch->setVisible(false);
  reset_progress();
  Timer1SW->stop();
  Timer2SW->stop();
  Timer1SW->setInterval(0);
  Timer2SW->setInterval(0);
}

void frmState::SetEnglishTexts()
{
  setWindowTitle("State");
  Abbruch->setText("Cancel");
  lblTxt->setText("Waiting ...");
}

void frmState::reset_progress()
{
  cmdOK->setVisible(false);
  frameProgress->setVisible(true);
  ProgressCounter = 0;
  ProgressFile->setRange(0, 10);
  ProgressFile->setValue(0);
}

void frmState::ShowMsg()
{
  const int32_t step = global::SequenceStep;
  if (step == 0) {
    CloseWindow();
    return;
  }
  if (step == 2)
    Abbruch->setVisible(true);
  const int duration = modbus::status_duration_ms(step, global::AnswerDelay);
  reset_progress();
  Timer1SW->setInterval(duration);
  Timer2SW->setInterval(modbus::status_tick_ms(duration));
  Timer1SW->start();
  Timer2SW->start();
}

void frmState::Timer2SW_Timer()
{
  if (ProgressFile->maximum() <= ProgressCounter)
    ProgressCounter = ProgressFile->maximum();
  else
    ++ProgressCounter;
  ProgressFile->setValue(ProgressCounter);
}

void frmState::Timer1SW_Timer()
{
  // A transfer that still gets its answers is not cut off by the estimate: the window stays
  // full until it is done, or until the unit falls silent.
  if (frm_config* config = frm_config::Existing(); config && config->Modbus().SequenceBusy()) {
    Timer1SW->setInterval(Timer2SW->interval());
    return;
  }
  Timer1SW->stop();
  Timer2SW->stop();
  CloseWindow();
}

void frmState::CloseWindow()
{
  Timer1SW->stop();
  Timer2SW->stop();
  const int32_t step = global::SequenceStep;
  frm_config* config = frm_config::Existing();
  // Nothing sends on behind the window: no block is written again and again, and the
  // read-out below never starts under a write.
  if (config)
    config->Modbus().StopRequestTimers();
  global::SequenceStep = 0;
  unload();
  // Read again after the write, unless the program ends now.
  if (config && ends_a_write(step) && !config->EndsAfterWrite())
    config->func_read_out_parameter();
}

void frmState::AnnounceProgramEnd()
{
  lblTxt->setText(global::InLanguage("Die Daten werden geschrieben. Danach wird das Programm beendet ...",
                                     "Writing to the unit. The program ends afterwards ..."));
}

void frmState::Abbruch_Click()
{
  global::SequenceStep = 0;
  if (frm_config* config = frm_config::Existing())
    config->Modbus().StopRequestTimers();
  unload();
}

void frmState::unload()
{
  Timer1SW->stop();
  Timer2SW->stop();
  unloading_ = true;
  close();
  unloading_ = false;
  loaded_ = false;
}

void frmState::closeEvent(QCloseEvent* event)
{
  // Closed by the user: the same as the cancel button.
  if (!unloading_ && loaded_) {
    Timer1SW->stop();
    Timer2SW->stop();
    global::SequenceStep = 0;
    if (frm_config* config = frm_config::Existing())
      config->Modbus().StopRequestTimers();
    loaded_ = false;
  }
  frm_config* config = frm_config::Existing();
  if (config)
    config->setEnabled(true);
  QWidget::closeEvent(event);
  // The write this window showed is over, done or cancelled: the end it waited for.
  if (config && config->EndsAfterWrite())
    forms::EndProgram();
}
