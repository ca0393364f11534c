// Small controls of the configuration program's forms that Qt has no exact match for: the
// up/down button pair (its own limits, a click per half, and the pointer events that drive
// the window's auto-repeat), the selection list that shows its entries whole, the round
// status lamp and the change mark kept in a control's text colour.
// User-interface thread only.
#pragma once

#include <QColor>
#include <QComboBox>
#include <QWidget>

// Two stacked arrow halves beside a text box. The limits are read by the handlers at every
// step; the control itself holds no value.
class UpDownControl : public QWidget {
  Q_OBJECT
public:
  explicit UpDownControl(QWidget* parent = nullptr);

  double Min = 0;
  double Max = 100;

  QSize sizeHint() const override;

signals:
  void UpClick();
  void DownClick();
  void MouseDown(double x, double y);
  void MouseMove(double x, double y);
  void MouseUp(double x, double y);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A selection list that is always wide enough for its longest entry, also after its entries
// have been given other texts (the English ones, the fan stages).
class ChoiceList : public QComboBox {
  Q_OBJECT
public:
  explicit ChoiceList(QWidget* parent = nullptr);
  QSize minimumSizeHint() const override { return sizeHint(); }
};

// A filled circle whose colour other code sets and reads back.
class LampShape : public QWidget {
  Q_OBJECT
public:
  explicit LampShape(QWidget* parent = nullptr);

  void SetFillColor(const QColor& color);
  QColor FillColor() const { return fill_; }
  QSize sizeHint() const override { return {24, 24}; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QColor fill_;
};

namespace marks {

// The mark of a changed field: the colour value 255, pure red.
inline const QColor Red{255, 0, 0};
// The text colour of an unchanged field: the system's button text.
QColor ButtonText();
// The system's button face, the background of an unlit indicator.
QColor ButtonFace();

void Set(QWidget* control, bool changed);
bool IsSet(const QWidget* control);

}  // namespace marks

namespace forms {

// Twips of the form designs to pixels.
constexpr int Px(int twips) { return twips / 15; }

// A new control with its object name, by which captions and tests find it.
template <typename W>
W* Make(QWidget* parent, const QString& name)
{
  auto* w = new W(parent);
  w->setObjectName(name);
  return w;
}

// The object name of one control of a control array: "cmd_OK_1".
QString Indexed(const char* array, int index);

}  // namespace forms
