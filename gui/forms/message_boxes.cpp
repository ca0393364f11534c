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
    // A box over a disabled window would be disabled with it (the configuration window while
    // a Modbus transfer runs), so such a box stands on its own.
    QWidget* owner = QApplication::activeWindow();
    if (owner && !owner->isEnabled())
      owner = nullptr;
    QMessageBox box(box_icon(icon), title, text, QMessageBox::Ok, owner);
    box.exec();
  });
}

}  // namespace forms
