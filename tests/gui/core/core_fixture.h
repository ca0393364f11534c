// Shared set-up of the configuration program's core tests: a fresh program folder in a
// temporary directory, settings files inside it, and a message box that records instead of
// showing. No display is needed.
#pragma once

#include "gui/core/message_box.h"
#include "gui/core/program_state.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace coretest {

inline void ensure_core_app()
{
  if (QCoreApplication::instance())
    return;
  static int argc = 1;
  static char name[] = "gui_core_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

inline QByteArray read_all(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool write_all(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray octets(std::initializer_list<int> values)
{
  QByteArray bytes;
  for (int v : values)
    bytes.append(char(v));
  return bytes;
}

struct Message {
  std::string title;
  std::string text;
  MsgIcon icon;
};

class ProgramFolderTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ensure_core_app();
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path();
    qputenv("ZOR17_MACHINE_SETTINGS", (folder_ + "/machine.reg").toUtf8());
    qputenv("ZOR17_USER_SETTINGS", (folder_ + "/user.reg").toUtf8());
    previous_ = SetMessageHandler([this](const QString& title, const QString& text, MsgIcon icon) {
      messages_.push_back({title.toStdString(), text.toStdString(), icon});
    });
    ASSERT_TRUE(global::StartUp(folder_));
  }

  void TearDown() override { SetMessageHandler(previous_); }

  std::vector<std::string> message_texts() const
  {
    std::vector<std::string> texts;
    for (const Message& m : messages_)
      texts.push_back(m.text);
    return texts;
  }

  QTemporaryDir dir_;
  QString folder_;
  std::vector<Message> messages_;
  MessageHandler previous_;
};

}  // namespace coretest
