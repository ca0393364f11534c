// Starting the backend program ZOR17 for one job and judging its log. The runner owns the
// one backend process: it deletes the old log, starts <program folder>/ZOR17 with the job
// file's path, lets the program's events run every 10 ms while it waits, and closes the
// process itself; a cancel only kills the backend. User-interface thread only; at most one
// backend runs at a time.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

namespace shell {

enum class RunResult {
  Finished,  // the backend ran and ended; its log tells how the job went
  StartFailed,  // the backend could not be started, or the old log stayed; the user has been told
  Cancelled,  // CancelRun ended the backend
  Busy,  // another backend is still running; nothing was started
};

// Receives 0, then (value + 2) mod 1000 on every 10 ms step, and 1000 at the end.
using ProgressFn = std::function<void(int)>;

RunResult RunAndWait(const QString& jobFile, const ProgressFn& progress);

bool IsRunning();
// True while the running job writes into the unit: such a job is let finish, never killed
// halfway.
bool RunWritesUnit();
// Kills a running backend; the waiting RunAndWait then reports Cancelled.
void CancelRun();

QString BackendProgram();

// Tells windows that wait for a backend to end (a close that was turned into a cancel).
class RunNotifier : public QObject {
  Q_OBJECT
signals:
  void RunEnded();
};
RunNotifier* Notifier();

}  // namespace shell

namespace global {

// 1 when the log's first marker line is "-->Successful finished"; -1 for an error marker;
// 0 for a log without a marker or no log at all. Every result but 1 has been shown to the
// user as an error.
int16_t CheckBackendLog();

}  // namespace global
