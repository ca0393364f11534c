#include "gui/core/message_box.h"

#include <cstdio>
#include <utility>

namespace {

MessageHandler& current_handler()
{
  static MessageHandler handler;
  return handler;
}

}  // namespace

void MsgBox(const QString& text, MsgIcon icon)
{
  const MessageHandler& handler = current_handler();
  if (handler) {
    handler(QString::fromLatin1(ProgramTitle), text, icon);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", ProgramTitle, text.toLocal8Bit().constData());
}

MessageHandler SetMessageHandler(MessageHandler handler)
{
  return std::exchange(current_handler(), std::move(handler));
}
