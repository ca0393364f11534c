#include "gui/forms/form_support.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

namespace forms {

void CentreOnScreen(QWidget* form)
{
  QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  // A form that was given its size keeps it; the others take the size their layout asks for.
  if (!form->testAttribute(Qt::WA_Resized))
    form->adjustSize();
  else if (form->layout())
    form->layout()->activate();
  const QRect area = screen->geometry();
  form->move(area.left() + (area.width() - form->width()) / 2, area.top() + (area.height() - form->height()) / 2);
}

void ApplyCaptions(QWidget* form, std::span<const Caption> captions)
{
  for (const Caption& c : captions) {
    const QString text = QString::fromUtf8(c.text);
    if (c.control[0] == '\0') {
      form->setWindowTitle(text);
      continue;
    }
    QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(c.control));
    if (auto* label = qobject_cast<QLabel*>(w))
      label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
      button->setText(text);
    else if (auto* box = qobject_cast<QGroupBox*>(w))
      box->setTitle(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
      edit->setText(text);
  }
}

}  // namespace forms
