#include "gui/forms/close_guard.h"

#include "gui/core/backend_runner.h"

#include <QCloseEvent>
#include <QTimer>
#include <QWidget>

namespace forms {

bool DeferCloseWhileBackendRuns(QWidget* window, QCloseEvent* event)
{
  if (!shell::IsRunning())
    return false;
  event->ignore();
  // The window is the connection's context: if it goes away first, nothing runs on it.
  QObject::connect(
      shell::Notifier(), &shell::RunNotifier::RunEnded, window,
      [window] { QTimer::singleShot(0, window, &QWidget::close); }, Qt::SingleShotConnection);
  shell::CancelRun();
  return true;
}

}  // namespace forms
