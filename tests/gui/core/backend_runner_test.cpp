#include "core_fixture.h"

#include "gui/core/backend_runner.h"
#include "gui/core/job_file.h"

#include <QDir>
#include <QFileDevice>
#include <QTimer>

using namespace coretest;

namespace {

const char* const kErrorMessage = "Es ist ein Fehler aufgetreten\r\nBitte überprüfen Sie Ihre Einstellungen";

}  // namespace

// A shell script stands in for the backend: it finds the log through the job file it is
// given, as the real backend does, and copies a prepared log there.
class BackendRunner : public ProgramFolderTest {
protected:
  void SetUp() override
  {
    ProgramFolderTest::SetUp();
    global::WriteReadJobs(true, true);
  }

  void install_backend(const QByteArray& body)
  {
    const QString path = shell::BackendProgram();
    ASSERT_TRUE(write_all(path, "#!/bin/sh\n"
                                "[ $# -eq 1 ] || exit 3\n"
                                "printf '%s' \"$1\" > '" + folder_.toUtf8() + "/argument'\n"
                                "log=$(sed -n 's/^LOGFILE=//p' \"$1\" | tr -d '\\r')\n" +
                                    body));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }

  // A backend that leaves exactly this log.
  void backend_logging(const QByteArray& log)
  {
    ASSERT_TRUE(write_all(folder_ + "/prepared-log", log));
    install_backend("cat '" + folder_.toUtf8() + "/prepared-log' > \"$log\"\n");
  }

  shell::RunResult run() { return shell::RunAndWait(global::JobFilePath(), nullptr); }
};

TEST_F(BackendRunner, SuccessfulJob)
{
  backend_logging("#Starttime: 01.02.2026 10:00:00\n\n--Function: \"FUNCTION_1\" successful finished\n"
                  "#Endtime: 01.02.2026 10:00:01\n\n\n-->Successful finished\n");
  EXPECT_EQ(run(), shell::RunResult::Finished);
  EXPECT_EQ(read_all(folder_ + "/argument"), global::JobFilePath().toUtf8());
  EXPECT_EQ(global::CheckBackendLog(), 1);
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(shell::IsRunning());
  EXPECT_NE(global::ProcessInfo.ProcessId, 0);
}

TEST_F(BackendRunner, EachErrorMarkerFails)
{
  for (const char* marker : {"-->Error while executing the functions", "ERROR: Can not establish BACnet connection"}) {
    messages_.clear();
    backend_logging(QByteArray("#Endtime: x\n\n") + marker + "\n");
    EXPECT_EQ(run(), shell::RunResult::Finished);
    EXPECT_EQ(global::CheckBackendLog(), -1) << marker;
    EXPECT_EQ(message_texts(), std::vector<std::string>{kErrorMessage});
    EXPECT_EQ(messages_[0].icon, MsgIcon::None);
  }
}

TEST_F(BackendRunner, FirstMarkerDecides)
{
  backend_logging("-->Successful finished\r\n-->Error while executing the functions\r\n");
  run();
  EXPECT_EQ(global::CheckBackendLog(), 1);
  backend_logging("-->Error while executing the functions\n-->Successful finished\n");
  run();
  EXPECT_EQ(global::CheckBackendLog(), -1);
}

TEST_F(BackendRunner, LogWithoutMarkerIsAFailure)
{
  for (const char* log : {"#Starttime: x\n\n",  // an MS/TP link runs nothing
                          "\n-->Error while reading the configuration file\n",
                          "-->Successful finished \n",  // a trailing blank does not count
                          " -->Successful finished\n", "-->successful finished\n", ""}) {
    messages_.clear();
    backend_logging(log);
    run();
    EXPECT_EQ(global::CheckBackendLog(), 0) << log;
    EXPECT_EQ(message_texts(), std::vector<std::string>{kErrorMessage}) << log;
  }
}

TEST_F(BackendRunner, OldLogIsGoneBeforeTheBackendStarts)
{
  ASSERT_TRUE(write_all(global::LogFilePath(), "-->Successful finished\n"));
  install_backend("exit 0\n");  // ends before it writes a log
  EXPECT_EQ(run(), shell::RunResult::Finished);
  EXPECT_FALSE(global::FileExists(global::LogFilePath()));
  EXPECT_EQ(global::CheckBackendLog(), 0);
  EXPECT_EQ(message_texts(), std::vector<std::string>{kErrorMessage});
}

TEST_F(BackendRunner, BackendThatNeverStartsIsReportedOnce)
{
  ASSERT_TRUE(write_all(global::LogFilePath(), "-->Successful finished\n"));
  EXPECT_EQ(run(), shell::RunResult::StartFailed);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Netzwerkscan fehlgeschlagen!");
  EXPECT_EQ(messages_[0].title, "ZOR17-RS485");
  EXPECT_EQ(messages_[0].icon, MsgIcon::Exclamation);
  EXPECT_FALSE(global::FileExists(global::LogFilePath()));
  EXPECT_FALSE(shell::IsRunning());

  // A backend file that may not be run fails the same way.
  ASSERT_TRUE(write_all(shell::BackendProgram(), "#!/bin/sh\n"));
  QFile::setPermissions(shell::BackendProgram(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  EXPECT_EQ(run(), shell::RunResult::StartFailed);
  EXPECT_EQ(messages_.size(), 2u);
}

TEST_F(BackendRunner, CancelKillsTheBackendAndIsReportedAsCancel)
{
  install_backend("exec sleep 60\n");
  bool seen_running = false;
  QTimer::singleShot(0, [&] {
    seen_running = shell::IsRunning();
    shell::CancelRun();
  });
  EXPECT_EQ(run(), shell::RunResult::Cancelled);
  EXPECT_TRUE(seen_running);
  EXPECT_FALSE(shell::IsRunning());
  EXPECT_TRUE(messages_.empty());
  shell::CancelRun();  // nothing left to cancel
}

TEST_F(BackendRunner, EventsRunWhileItWaitsAndProgressCycles)
{
  // The backend waits until an event handler of ours has run, so the run proves it.
  const QByteArray go = folder_.toUtf8() + "/go";
  install_backend("i=0\nwhile [ ! -f '" + go + "' ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done\n"
                  "echo '-->Successful finished' > \"$log\"\n");
  shell::RunResult nested = shell::RunResult::Finished;
  int ended = 0;
  QObject receiver;
  QObject::connect(shell::Notifier(), &shell::RunNotifier::RunEnded, &receiver, [&] { ++ended; });
  QTimer::singleShot(0, [&] {
    nested = shell::RunAndWait(global::JobFilePath(), nullptr);
    write_all(QString::fromUtf8(go), "");
  });
  std::vector<int> progress;
  EXPECT_EQ(shell::RunAndWait(global::JobFilePath(), [&](int v) { progress.push_back(v); }),
            shell::RunResult::Finished);
  EXPECT_EQ(nested, shell::RunResult::Busy);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(global::CheckBackendLog(), 1);

  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 1000);
  for (size_t i = 1; i + 1 < progress.size(); ++i)
    EXPECT_EQ(progress[i], (progress[i - 1] + 2) % 1000);
}

TEST_F(BackendRunner, OldLogThatStaysStartsNoJob)
{
  backend_logging("-->Successful finished\n");
  ASSERT_TRUE(QDir().mkpath(global::LogFilePath() + "/stuck"));
  EXPECT_EQ(run(), shell::RunResult::StartFailed);
  EXPECT_FALSE(QFile::exists(folder_ + "/argument"));
  EXPECT_EQ(message_texts(), std::vector<std::string>{"Die alte Protokolldatei kann nicht gelöscht werden:\r\n" +
                                                      global::LogFilePath().toStdString()});
  global::LanguageCode = "1033";
  EXPECT_EQ(run(), shell::RunResult::StartFailed);
  EXPECT_EQ(message_texts().back(), "The old log file cannot be deleted:\r\n" + global::LogFilePath().toStdString());
}
