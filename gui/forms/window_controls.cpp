#include "gui/forms/window_controls.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

UpDownControl::UpDownControl(QWidget* parent) : QWidget(parent)
{
  setFixedSize(sizeHint());
  setMouseTracking(false);
}

QSize UpDownControl::sizeHint() const { return {17, 24}; }

void UpDownControl::paintEvent(QPaintEvent*)
{
  QPainter p(this);
  const int half = height() / 2;
  const QRect up(0, 0, width(), half);
  const QRect down(0, half, width(), height() - half);
  for (const auto& [rect, arrow] : {std::pair{up, QStyle::PE_IndicatorArrowUp},
                                    std::pair{down, QStyle::PE_IndicatorArrowDown}}) {
    QStyleOptionButton button;
    button.initFrom(this);
    button.rect = rect;
    style()->drawControl(QStyle::CE_PushButtonBevel, &button, &p, this);
    QStyleOption o;
    o.initFrom(this);
    o.rect = rect.adjusted(3, 2, -3, -2);
    style()->drawPrimitive(arrow, &o, &p, this);
  }
}

void UpDownControl::mousePressEvent(QMouseEvent* event)
{
  const QPointF at = event->position();
  emit MouseDown(at.x(), at.y());
  if (at.y() < height() / 2.0)
    emit UpClick();
  else
    emit DownClick();
}

void UpDownControl::mouseMoveEvent(QMouseEvent* event)
{
  const QPointF at = event->position();
  emit MouseMove(at.x(), at.y());
}

void UpDownControl::mouseReleaseEvent(QMouseEvent* event)
{
  const QPointF at = event->position();
  emit MouseUp(at.x(), at.y());
}

ChoiceList::ChoiceList(QWidget* parent) : QComboBox(parent) { setSizeAdjustPolicy(QComboBox::AdjustToContents); }

LampShape::LampShape(QWidget* parent) : QWidget(parent), fill_(255, 255, 0)
{
  setFixedSize(sizeHint());
}

void LampShape::SetFillColor(const QColor& color)
{
  fill_ = color;
  update();
}

void LampShape::paintEvent(QPaintEvent*)
{
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(fill_);
  p.drawEllipse(rect().adjusted(1, 1, -2, -2));
}

namespace marks {

QColor ButtonText() { return QApplication::palette().color(QPalette::ButtonText); }
QColor ButtonFace() { return QApplication::palette().color(QPalette::Button); }

void Set(QWidget* control, bool changed)
{
  if (!control)
    return;
  const QColor colour = changed ? Red : ButtonText();
  QPalette palette = control->palette();
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
    palette.setColor(role, colour);
  control->setPalette(palette);
}

bool IsSet(const QWidget* control) { return control && control->palette().color(QPalette::Text) == Red; }

}  // namespace marks

namespace forms {

QString Indexed(const char* array, int index) { return QStringLiteral("%1_%2").arg(QString::fromUtf8(array)).arg(index); }

}  // namespace forms
