#include "gui/forms/program_exit.h"

#include "gui/core/backend_runner.h"
#include "gui/forms/frm_waitRead.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace forms {
namespace {

bool& ending()
{
  static bool flag = false;
  return flag;
}

std::function<void()>& loop_end()
{
  static std::function<void()> end;
  return end;
}

void close_windows_and_end()
{
  // A window may close another one (the configuration window closes the forms it opened).
  QList<QPointer<QWidget>> windows;
  for (QWidget* w : QApplication::topLevelWidgets())
    windows << w;
  for (const QPointer<QWidget>& w : windows)
    if (w && w->isVisible())
      w->close();
  ending() = false;
  if (loop_end())
    loop_end()();
  else
    QCoreApplication::quit();
}

}  // namespace

bool ProgramEnding() { return ending(); }

void SetEventLoopEnd(std::function<void()> end) { loop_end() = std::move(end); }

void EndProgram()
{
  if (ending())
    return;
  ending() = true;
  if (!shell::IsRunning()) {
    close_windows_and_end();
    return;
  }
  const auto end_with_the_run = [] {
    QObject::connect(shell::Notifier(), &shell::RunNotifier::RunEnded, qApp, &close_windows_and_end,
                     Qt::SingleShotConnection);
  };
  if (!shell::RunWritesUnit()) {
    end_with_the_run();
    shell::CancelRun();
    return;
  }
  // A failed write must not go unreported: its wait window shows the outcome, then ends.
  bool announced = false;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* wait = qobject_cast<frm_waitRead*>(w)) {
      wait->AnnounceProgramEnd();
      announced = true;
    }
  if (!announced)
    end_with_the_run();
}

void JobOutcomeShown()
{
  if (ending() && !shell::IsRunning())
    close_windows_and_end();
}

}  // namespace forms
