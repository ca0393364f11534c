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
  QObject::connect(shell::Notifier(), &shell::RunNotifier::RunEnded, qApp, &close_windows_and_end,
                   Qt::SingleShotConnection);
  if (!shell::RunWritesUnit()) {
    shell::CancelRun();
    return;
  }
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* wait = qobject_cast<frm_waitRead*>(w))
      wait->AnnounceProgramEnd();
}

}  // namespace forms
