#include "form_fixture.h"

#include "gui/core/backend_runner.h"
#include "gui/core/job_file.h"
#include "gui/core/register_image.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_waitRead.h"
#include "gui/forms/program_exit.h"

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

namespace {

struct RecordingControls : RegisterControls {
  QString cfg[73], out[17], in[28];
  int lamp_green = 0, red_field = 0, resets = 0;
  QString ConfigText(int i) const override { return cfg[i]; }
  void SetConfigText(int i, const QString& t) override { cfg[i] = t; }
  QString OutputText(int i) const override { return out[i]; }
  void SetOutputText(int i, const QString& t) override { out[i] = t; }
  QString InputText(int i) const override { return in[i]; }
  void SetInputText(int i, const QString& t) override { in[i] = t; }
  int ConfigBit(int) const override { return 0; }
  void SetConfigBit(int, int) override {}
  void chk_cfg_Click(int) override {}
  void SetBitComboIndex(int, int) override {}
  int InputBit(int) const override { return 0; }
  void SetInputBit(int, int) override {}
  void SetButtonLabel(int, bool) override {}
  void SetTemperatureCaption(const QString&) override {}
  int FanStageListIndex() const override { return 0; }
  void SetLampGreen() override { ++lamp_green; }
  void reset_red_field(bool, bool) override { ++resets; }
  void func_red_field() override { ++red_field; }
};

}  // namespace

class WaitWindowTest : public QObject {
  Q_OBJECT

  FormFixture fx;
  QPointer<frm_waitRead> window;
  RecordingControls controls;

  // A stand-in backend that copies the value files and the log prepared by the test.
  void install_backend(const QByteArray& body)
  {
    const QString path = shell::BackendProgram();
    QVERIFY(fx.write(path, "#!/bin/sh\nlog=$(sed -n 's/^LOGFILE=//p' \"$1\" | tr -d '\\r')\n"
                           "dir=$(dirname \"$log\")\n" +
                               body));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }
  void backend_reading(const QByteArray& log)
  {
    QByteArray unit1(146, '\0');
    unit1[68] = char(0xFA);  // configuration register 34, in tenths
    QVERIFY(fx.write(fx.folder + "/unit1.bin", unit1));
    QVERIFY(fx.write(fx.folder + "/prepared-log", log));
    install_backend("cp '" + fx.folder.toUtf8() + "/unit1.bin' \"$dir/file1.bin\"\n"
                    "cat '" + fx.folder.toUtf8() + "/prepared-log' > \"$log\"\n");
  }
  QString label() const { return window->findChild<QLabel*>("lbl_meldung")->text(); }
  int progress() const { return window->findChild<QProgressBar*>("ProgressBar1")->value(); }

private slots:
  void init()
  {
    fx.start();
    controls = RecordingControls{};
    global::WriteReadJobs(true, true);
    window = new frm_waitRead;
    window->setWindowTitle("Daten auslesen");
    window->show();
  }

  void cleanup()
  {
    forms::SetEventLoopEnd(nullptr);
    delete window;
    delete frm_config::Existing();
    fx.stop();
  }

  void startsWaiting()
  {
    QCOMPARE(label(), QString("Bitte warten..."));
    QCOMPARE(window->findChild<QProgressBar*>("ProgressBar1")->maximum(), 1000);
  }

  void goodReadOfBothBlocksLoadsShowsAndTurnsTheLampGreen()
  {
    backend_reading("-->Successful finished\n");
    global::LampState = 1;
    QVERIFY(window->ShowMsg(true, true, controls));
    QCOMPARE(label(), QString("Fertig!"));
    QCOMPARE(progress(), 1000);
    QVERIFY(!window->isVisible());
    QCOMPARE(global::ConfigRegisters[34], 25.0);
    QCOMPARE(controls.cfg[34], QString("25"));
    QCOMPARE(controls.out[0], QString("0"));
    QCOMPARE(controls.lamp_green, 1);
    QCOMPARE(global::LampState, 0);
    QCOMPARE(controls.red_field, 0);
    QVERIFY(fx.messages.isEmpty());
  }

  void goodReadOfTheRegisterBlockLeavesTheLampToTheFieldMarks()
  {
    backend_reading("-->Successful finished\n");
    QVERIFY(window->ShowMsg(false, true, controls));
    QCOMPARE(controls.lamp_green, 0);
    QCOMPARE(controls.red_field, 1);
    QCOMPARE(controls.resets, 1);
    QCOMPARE(global::ConfigRegisters[34], 0.0);  // the configuration block was not loaded
  }

  void failedJobLoadsNothing()
  {
    backend_reading("-->Error while executing the functions\n");
    QVERIFY(!window->ShowMsg(true, true, controls));
    QCOMPARE(label(), QString("Fehler!"));
    QCOMPARE(fx.messages.size(), 1);
    QCOMPARE(controls.resets, 0);
    QCOMPARE(global::ConfigRegisters[34], 0.0);
  }

  void backendThatNeverStartsShowsOneMessage()
  {
    QVERIFY(!window->ShowMsg(true, true, controls));
    QCOMPARE(label(), QString("Fehler!"));
    QCOMPARE(fx.messages, QStringList{"Netzwerkscan fehlgeschlagen!"});
    QCOMPARE(fx.icons.value(0), MsgIcon::Exclamation);
    QCOMPARE(controls.resets, 0);
  }

  void closingTheWindowCancelsTheJobFirst()
  {
    install_backend("exec sleep 60\n");
    QTimer::singleShot(0, window, [this] {
      QVERIFY(!window->close());  // refused while the backend runs
      QVERIFY(window->isVisible());
    });
    QVERIFY(!window->ShowMsg(true, true, controls));
    QVERIFY(!shell::IsRunning());
    QCOMPARE(label(), QString("Fehler!"));
    QVERIFY(fx.messages.isEmpty());
    QVERIFY(!window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
  }

  void closingTheConfigurationWindowCancelsThenCloses()
  {
    install_backend("exec sleep 60\n");
    QPointer<frm_config> config = frm_config::Instance();
    config->show();
    QTimer::singleShot(0, config, [config] { QVERIFY(!config->close()); });
    QVERIFY(!window->ShowMsg(true, true, controls));
    QVERIFY(config);  // still there when the job ends
    QCoreApplication::processEvents();  // the close that waited for the job
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(config.isNull());
  }

  // "Beenden" and the close box end the program whatever job runs: a read is cancelled, a
  // write into the unit runs to its end first, its outcome is shown (a failed write is never
  // lost), and then every window closes and the loop ends.
  void endingTheProgramCancelsAReadAndAwaitsAWrite()
  {
    const QByteArray go = fx.folder.toUtf8() + "/go";
    const QByteArray verdict = fx.folder.toUtf8() + "/verdict";
    install_backend("while [ ! -f '" + go + "' ]; do sleep 0.01; done\nrm '" + go + "'\n"
                    "cat '" + verdict + "' > \"$log\"\ntouch \"$dir/written\"\n");
    const QString failure = QString::fromUtf8("Es ist ein Fehler aufgetreten\r\nBitte überprüfen Sie Ihre Einstellungen");
    int loop_ends = 0;
    QStringList told_before_the_end;
    forms::SetEventLoopEnd([&] {
      ++loop_ends;
      told_before_the_end = fx.messages;
    });
    struct Case {
      const char* job;
      bool write;
      const char* log;
    };
    const Case cases[] = {
        {"read", false, "-->Successful finished\n"},
        {"write", true, "-->Successful finished\n"},
        {"failed write", true, "\n-->Error while executing the functions\n"},
    };
    for (const char* how : {"menu", "close box"}) {
      for (const Case& c : cases) {
        const bool write = c.write;
        const bool failed = QByteArray(c.job) == "failed write";
        QFile::remove(fx.folder + "/tmp/written");
        QVERIFY(fx.write(QString::fromUtf8(verdict), c.log));
        fx.messages.clear();
        QPointer<frm_config> config = frm_config::Instance();
        config->show();
        QPointer<frm_waitRead> wait = new frm_waitRead;
        wait->show();
        QVERIFY(write ? global::WriteWriteJobs(true, false) : global::WriteReadJobs(true, false));
        QString announced;
        QTimer::singleShot(0, config, [&] {
          if (QByteArray(how) == "menu")
            config->ParMenueMain[5]->trigger();
          else
            QVERIFY(!config->close());
          QVERIFY(forms::ProgramEnding());
          QVERIFY(config->isVisible());
          announced = wait->findChild<QLabel*>("lbl_meldung")->text();
          if (write)
            fx.write(QString::fromUtf8(go), "");  // the write goes on and ends by itself
        });
        loop_ends = 0;
        told_before_the_end.clear();
        const bool done = wait->ShowMsg(!write, false, controls);
        const QString where = QStringLiteral("%1, %2").arg(how, c.job);
        QVERIFY2(done == (write && !failed), qPrintable(where));
        QCOMPARE(QFile::exists(fx.folder + "/tmp/written"), write);
        QCOMPARE(announced, write ? QString::fromUtf8("Die Daten werden geschrieben. Danach wird das Programm beendet ...")
                                  : QString("Bitte warten..."));
        QCOMPARE(loop_ends, 1);
        QCOMPARE(told_before_the_end, failed ? QStringList{failure} : QStringList());
        QCOMPARE(fx.messages, told_before_the_end);
        QVERIFY(!forms::ProgramEnding());
        QVERIFY(!config->isVisible());
        QVERIFY(!wait->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(config.isNull());
      }
    }
  }

  void closingTheWindowLetsAWriteFinish()
  {
    const QByteArray go = fx.folder.toUtf8() + "/go";
    install_backend("while [ ! -f '" + go + "' ]; do sleep 0.01; done\nrm '" + go + "'\n"
                    "echo '-->Successful finished' > \"$log\"\n");
    QVERIFY(global::WriteWriteJobs(false, true));
    QTimer::singleShot(0, window, [&] {
      QVERIFY(!window->close());
      QCOMPARE(label(), QString("Das Schreiben kann nicht abgebrochen werden ..."));
      fx.write(QString::fromUtf8(go), "");
    });
    QVERIFY(window->ShowMsg(false, true, controls));
  }
};

QTEST_MAIN(WaitWindowTest)
#include "frm_waitRead_test.moc"
