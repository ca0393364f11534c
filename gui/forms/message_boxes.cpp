#include "gui/forms/message_boxes.h"

#include "gui/core/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace forms {
namespace {

QMessageBox::Icon box_icon(MsgIcon icon)
{
  switch (icon) {
  case MsgIcon::Exclamation: return QMessageBox::Warning;
  case MsgIcon::Critical: return QMessageBox::Critical;
  case MsgIcon::Information: return QMessageBox::Information;
  case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void InstallMessageBoxes()
{
  SetMessageHandler([](const QString& title, const QString& text, MsgIcon icon) {
    QMessageBox box(box_icon(icon), title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
  });
}

}  // namespace forms
