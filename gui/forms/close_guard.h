// Windows must not go away under a running backend job: a close while the backend runs
// becomes a cancel of the job, and the window closes once the runner has let go of it.
#pragma once

class QCloseEvent;
class QWidget;

namespace forms {

// True when the close was turned into a cancel; the event has then been ignored.
bool DeferCloseWhileBackendRuns(QWidget* window, QCloseEvent* event);

}  // namespace forms
