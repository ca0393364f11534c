#include "gui/core/backend_runner.h"

#include "gui/core/job_file.h"
#include "gui/core/language_texts.h"
#include "gui/core/message_box.h"
#include "gui/core/program_state.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace shell {
namespace {

struct RunState {
  QProcess* process = nullptr;
  bool cancelled = false;
  bool writes_unit = false;
};

RunState& run_state()
{
  static RunState state;
  return state;
}

void report(const ProgressFn& progress, int value)
{
  if (progress)
    progress(value);
}

}  // namespace

QString BackendProgram() { return global::ProgramFolder + "/ZOR17"; }

RunNotifier* Notifier()
{
  static RunNotifier notifier;
  return &notifier;
}

bool IsRunning() { return run_state().process != nullptr; }

bool RunWritesUnit() { return run_state().process && run_state().writes_unit; }

void CancelRun()
{
  RunState& state = run_state();
  if (!state.process)
    return;
  state.cancelled = true;
  state.process->kill();
}

RunResult RunAndWait(const QString& jobFile, const ProgressFn& progress)
{
  RunState& state = run_state();
  if (state.process)
    return RunResult::Busy;

  // A log left by an earlier run must never be judged as this run's.
  const QString log = global::LogFilePath();
  if (QFileInfo::exists(log) && !QFile::remove(log)) {
    MsgBox(global::InLanguage("Die alte Protokolldatei kann nicht gelöscht werden:\r\n%1",
                              "The old log file cannot be deleted:\r\n%1")
               .arg(log),
           MsgIcon::Exclamation);
    return RunResult::StartFailed;
  }

  QProcess process;
  process.setProgram(BackendProgram());
  process.setArguments({jobFile});
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForStarted(-1)) {
    MsgBox(QStringLiteral("Netzwerkscan fehlgeschlagen!"), MsgIcon::Exclamation);
    return RunResult::StartFailed;
  }
  global::ProcessInfo.ProcessId = process.processId();

  state.process = &process;
  state.cancelled = false;
  state.writes_unit = global::JobWritesUnit(jobFile);
  int value = 0;
  report(progress, value);
  while (!process.waitForFinished(10)) {
    if (process.state() == QProcess::NotRunning)
      break;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    value = (value + 2) % 1000;
    report(progress, value);
  }
  report(progress, 1000);

  const bool cancelled = state.cancelled;
  state = RunState{};
  emit Notifier()->RunEnded();
  return cancelled ? RunResult::Cancelled : RunResult::Finished;
}

}  // namespace shell

namespace global {
namespace {

const char* const kErrorMessage = "Es ist ein Fehler aufgetreten\r\nBitte überprüfen Sie Ihre Einstellungen";

int16_t failed(int16_t result)
{
  MsgBox(QString::fromUtf8(kErrorMessage));
  return result;
}

}  // namespace

int16_t CheckBackendLog()
{
  QFile log(LogFilePath());
  if (!log.open(QIODevice::ReadOnly))
    return failed(0);
  while (!log.atEnd()) {
    QByteArray line = log.readLine();
    if (line.endsWith('\n'))
      line.chop(1);
    if (line.endsWith('\r'))
      line.chop(1);
    if (line == "-->Error while executing the functions" || line == "ERROR: Can not establish BACnet connection")
      return failed(-1);
    if (line == "-->Successful finished")
      return 1;
  }
  return failed(0);
}

}  // namespace global
