// What a user sees of a window, checked offscreen: every shown control lies inside its
// parent, and no text is cut: labels, buttons, check boxes, frame titles, the texts of text
// boxes, every entry of a list, and every tab of a tab bar. Each fault is one line that names
// the control, for the test's message; the window is also kept as a picture for review.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QWidget>

namespace layout {

inline QString name_of(const QWidget* w)
{
  QString path = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
  for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
    if (!p->objectName().isEmpty()) {
      path = p->objectName() + '/' + path;
      break;
    }
  return path;
}

inline int text_width(const QWidget* w, QString text)
{
  text.remove('&');
  int widest = 0;
  for (const QString& line : text.split('\n'))
    widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
  return widest;
}

// Whole entries of a list: the width the list asks for when it fits its contents.
inline int combo_width_needed(QComboBox* box)
{
  const QComboBox::SizeAdjustPolicy policy = box->sizeAdjustPolicy();
  const int minimum_length = box->minimumContentsLength();
  box->setMinimumContentsLength(0);
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  const int needed = box->sizeHint().width();
  box->setSizeAdjustPolicy(policy);
  box->setMinimumContentsLength(minimum_length);
  return needed;
}

inline void check_text(QWidget* w, QStringList& faults)
{
  const QString name = name_of(w);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->text().isEmpty() || !label->pixmap().isNull())
      return;
    const QRect room = label->contentsRect();
    if (label->wordWrap()) {
      if (label->heightForWidth(label->width()) > label->height())
        faults << QStringLiteral("%1: wrapped text \"%2\" needs %3 px, has %4").arg(name, label->text())
                      .arg(label->heightForWidth(label->width())).arg(label->height());
    } else if (label->sizeHint().width() > label->width() || label->sizeHint().height() > label->height() + 1) {
      faults << QStringLiteral("%1: text \"%2\" needs %3 px, has %4").arg(name, label->text())
                    .arg(label->sizeHint().width()).arg(room.width());
    }
  } else if (auto* box = qobject_cast<QComboBox*>(w)) {
    if (box->count() > 0 && combo_width_needed(box) > box->width())
      faults << QStringLiteral("%1: list needs %2 px for its entries, has %3").arg(name)
                    .arg(combo_width_needed(box)).arg(box->width());
  } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
    if (!check->text().isEmpty() && check->sizeHint().width() > check->width())
      faults << QStringLiteral("%1: \"%2\" cut").arg(name, check->text());
  } else if (auto* button = qobject_cast<QPushButton*>(w)) {
    if (text_width(button, button->text()) + 8 > button->width())
      faults << QStringLiteral("%1: \"%2\" needs %3 px, has %4").arg(name, button->text())
                    .arg(text_width(button, button->text()) + 8).arg(button->width());
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    const QRect text_room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    // Two pixels of the box's own margin on either side.
    const int room = text_room.width() - margins.left() - margins.right() - 4;
    if (text_width(edit, edit->displayText()) > room)
      faults << QStringLiteral("%1: shows \"%2\" cut (%3 px in %4)").arg(name, edit->displayText())
                    .arg(text_width(edit, edit->displayText())).arg(room);
  } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
    if (!frame->title().isEmpty() && text_width(frame, frame->title()) + 16 > frame->width())
      faults << QStringLiteral("%1: title \"%2\" cut").arg(name, frame->title());
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    for (int i = 0; i < tabs->count(); ++i)
      if (!tabs->rect().contains(tabs->tabRect(i)) || text_width(tabs, tabs->tabText(i)) > tabs->tabRect(i).width())
        faults << QStringLiteral("%1: tab \"%2\" out of view").arg(name, tabs->tabText(i));
  }
}

inline void check_tree(QWidget* w, QStringList& faults)
{
  for (QObject* child : w->children()) {
    auto* c = qobject_cast<QWidget*>(child);
    if (!c || c->isWindow() || !c->isVisible())
      continue;
    if (!w->rect().contains(c->geometry()))
      faults << QStringLiteral("%1: (%2,%3 %4x%5) outside its parent (%6x%7)").arg(name_of(c))
                    .arg(c->x()).arg(c->y()).arg(c->width()).arg(c->height()).arg(w->width()).arg(w->height());
    check_text(c, faults);
    check_tree(c, faults);
  }
}

// The faults of the window as it stands now; the picture goes to the build's screenshots.
inline QStringList Faults(QWidget* window, const QString& picture)
{
  QCoreApplication::processEvents();
  QStringList faults;
  check_tree(window, faults);
  const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
  QDir().mkpath(folder);
  window->grab().save(folder + '/' + picture + ".png");
  return faults;
}

}  // namespace layout
