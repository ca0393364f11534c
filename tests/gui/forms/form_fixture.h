// Shared set-up of the form tests: a fresh program folder with its own settings files, and
// message boxes recorded instead of shown.
#pragma once

#include "gui/core/message_box.h"
#include "gui/core/program_state.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

struct FormFixture {
  std::unique_ptr<QTemporaryDir> dir;
  QString folder;
  QStringList messages;
  QList<MsgIcon> icons;

  void start()
  {
    dir = std::make_unique<QTemporaryDir>();
    folder = dir->path();
    qputenv("ZOR17_MACHINE_SETTINGS", (folder + "/machine.reg").toUtf8());
    qputenv("ZOR17_USER_SETTINGS", (folder + "/user.reg").toUtf8());
    messages.clear();
    icons.clear();
    SetMessageHandler([this](const QString&, const QString& text, MsgIcon icon) {
      messages << text;
      icons << icon;
    });
    global::StartUp(folder);
  }

  void stop()
  {
    SetMessageHandler(nullptr);
    dir.reset();
  }

  bool write(const QString& path, const QByteArray& bytes)
  {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
  }
};
