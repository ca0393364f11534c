// Builds the configuration window from the register rows and the design tables: one line
// per register or bit in the frame its row names, the nested frames of the button layouts,
// the pictures of the unit, the communication and action frames, the menus and the timers.
// Object names carry the array index ("txt_data_cfg_12"), so every control can be found.
#include "gui/core/register_rows.h"
#include "gui/core/window_design.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/window_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

using forms::Indexed;
using forms::Make;
using forms::Px;

namespace {

QString u8(const char* text) { return QString::fromUtf8(text); }

QLineEdit* field(QWidget* parent, const QString& name, int width = 64)
{
  auto* edit = Make<QLineEdit>(parent, name);
  edit->setFixedWidth(width);
  return edit;
}

QComboBox* choice(QWidget* parent, const QString& name, const QStringList& entries)
{
  // Every entry is shown whole, in either language.
  auto* box = Make<ChoiceList>(parent, name);
  box->addItems(entries);
  // Nothing is selected until the window's values select an entry.
  box->setCurrentIndex(-1);
  return box;
}

class CompactTabStyle : public QProxyStyle {
public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
  {
    if (metric == PM_TabBarTabHSpace)
      return QProxyStyle::pixelMetric(metric, option, widget) / 2;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// The controls of one line right of its caption, side by side; a line alone in its row
// takes the room of both halves.
QHBoxLayout* line_box(QGridLayout* grid, int row, int column, bool paired)
{
  auto* box = new QHBoxLayout;
  box->setSpacing(4);
  grid->addLayout(box, row, column + 1, 1, paired || column > 0 ? 1 : 3);
  return box;
}

QGridLayout* line_grid()
{
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  return grid;
}

// The front of the unit with its display and the buttons of one layout.
QPixmap unit_picture(int buttons, QSize size)
{
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body(1, 1, size.width() - 2, size.height() - 2);
  p.setPen(QPen(QColor(90, 90, 90), 1.5));
  p.setBrush(QColor(236, 236, 232));
  p.drawRoundedRect(body, 10, 10);
  const QRectF display(body.left() + 12, body.top() + 12, body.width() - 24, body.height() * 0.22);
  p.setBrush(QColor(178, 196, 168));
  p.drawRoundedRect(display, 3, 3);

  const qreal top = display.bottom() + 10;
  const qreal bottom = body.bottom() - 12;
  p.setBrush(QColor(250, 250, 250));
  p.setPen(QPen(QColor(120, 120, 120), 1));
  const int rows_of_pairs = buttons == 2 ? 1 : buttons == 4 ? 2 : 4;
  qreal pairs_top = top;
  if (buttons == 12) {
    // Four small buttons in a row under the display, above the pairs.
    const qreal w = (body.width() - 24 - 9) / 4;
    for (int i = 0; i < 4; ++i)
      p.drawRoundedRect(QRectF(body.left() + 12 + i * (w + 3), top, w, 10), 2, 2);
    pairs_top = top + 16;
  }
  const qreal h = (bottom - pairs_top - (rows_of_pairs - 1) * 4) / rows_of_pairs;
  const qreal w = (body.width() - 24 - 6) / 2;
  for (int r = 0; r < rows_of_pairs; ++r)
    for (int c = 0; c < 2; ++c)
      p.drawRoundedRect(QRectF(body.left() + 12 + c * (w + 6), pairs_top + r * (h + 4), w, h), 3, 3);
  return pixmap;
}

}  // namespace

void frm_config::build_window()
{
  setWindowTitle(u8("ZOR17_RS485 Konfiguration 1.0.1"));
  txt_data_cfg.assign(ConfigRegisterCount, nullptr);
  lbl_cfg.assign(ConfigRegisterCount, nullptr);
  cmb_cfg.assign(ConfigRegisterCount, nullptr);
  UpD_txt_cfg.assign(ConfigRegisterCount, nullptr);
  txt_data_in.assign(InputRegisterTableSize, nullptr);
  lbl_data_in.assign(InputRegisterTableSize, nullptr);
  cmb_in.assign(InputRegisterTableSize, nullptr);
  txt_data_out.assign(OutputRegisterCount, nullptr);
  lbl_read_out.assign(OutputRegisterCount, nullptr);
  lbl_in_val.assign(OutputRegisterCount, nullptr);
  chk_cfg.assign(ConfigBitCount, nullptr);
  lbl_read_cfg_bit.assign(ConfigBitCount, nullptr);
  cmb_bit_cfg.assign(ConfigBitCount, nullptr);
  chk_input.assign(InputBitCount, nullptr);
  lbl_read_in_bit.assign(InputBitCount, nullptr);
  lbl_cfg_val.assign(2, nullptr);
  Lbl_button.assign(12, nullptr);
  lbl_temp.assign(2, nullptr);
  Label1.assign(4, nullptr);
  lbl_desc.assign(80, nullptr);

  auto* central = new QWidget(this);
  central->setObjectName("frm_config_body");
  auto* layout = new QHBoxLayout(central);
  layout->addWidget(build_pages(), 1);
  layout->addWidget(build_side_panel());
  setCentralWidget(central);
  build_menus();
  build_timers();
  connect_fields();
  resize(sizeHint());
}

QSize frm_config::sizeHint() const { return {Px(15750), Px(10500)}; }

QWidget* frm_config::build_pages()
{
  SSTab1 = Make<QTabWidget>(this, "SSTab1_0");
  // All nine tabs in view at the designed size: narrower padding, no scrolling, no eliding.
  auto* compact = new CompactTabStyle;
  compact->setParent(SSTab1);
  SSTab1->tabBar()->setStyle(compact);
  SSTab1->tabBar()->setUsesScrollButtons(false);
  SSTab1->tabBar()->setElideMode(Qt::ElideNone);
  for (int i = 0; i < 80; ++i) {
    const design::DescLabel& d = design::DescLabels()[size_t(i)];
    lbl_desc[size_t(i)] = Make<QLabel>(this, Indexed("lbl_desc", i));
    lbl_desc[size_t(i)]->setText(u8(d.text_de));
    lbl_desc[size_t(i)]->setVisible(d.visible);
  }
  for (int t = 0; t < design::TabCount; ++t) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("SSTab1_page_%1").arg(t));
    auto* columns = new QHBoxLayout(page);
    QVBoxLayout* column[2] = {new QVBoxLayout, new QVBoxLayout};
    for (const design::FrameDesign& f : design::Frames())
      if (f.tab == t)
        column[f.column]->addWidget(build_frame(QString::fromLatin1(f.name)));
    for (QVBoxLayout* c : column) {
      c->addStretch(1);
      columns->addLayout(c, 1);
    }
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("SSTab1_scroll_%1").arg(t));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(page);
    SSTab1->addTab(scroll, design::TabCaption(t, false));
  }
  return SSTab1;
}

QGroupBox* frm_config::build_frame(const QString& name)
{
  const design::FrameDesign* f = design::FindFrame(name);
  auto* frame = Make<QGroupBox>(this, name);
  frames[name] = frame;
  if (!f)
    return frame;
  if (f->caption_de)
    frame->setTitle(u8(f->caption_de));
  else
    frame->setFlat(true);
  if (name == QLatin1String("Frame2")) {
    build_frame2(frame);
    return frame;
  }
  QGridLayout* grid = line_grid();
  frame->setLayout(grid);
  const std::span<const design::Entry> lines = f->lines;
  int row = 0;
  for (size_t n = 0; n < lines.size(); ++n) {
    const design::Entry& line = lines[n];
    if (line.item == design::Item::Picture && line.beside == 0) {
      grid->addWidget(build_picture_set(line.index, frame), 0, 4, -1, 1, Qt::AlignTop | Qt::AlignRight);
      continue;
    }
    if (line.item == design::Item::Picture) {
      // The next lines in a grid of their own, the pictures right of them.
      QGridLayout* beside = line_grid();
      auto* block = new QHBoxLayout;
      block->addLayout(beside, 1);
      block->addWidget(build_picture_set(line.index, frame), 0, Qt::AlignTop | Qt::AlignRight);
      grid->addLayout(block, row++, 0, 1, 4);
      int k = 0;
      for (; k < line.beside && n + 1 < lines.size(); ++k)
        add_line(frame, beside, k, lines[++n], false);
      beside->setRowStretch(k, 1);
      continue;
    }
    const bool paired = n + 1 < lines.size() && lines[n + 1].column == 1;
    if (line.column == 1)
      add_line(frame, grid, row - 1, line, true);
    else
      add_line(frame, grid, row++, line, paired);
  }
  return frame;
}

void frm_config::add_line(QGroupBox* frame, QGridLayout* grid, int row, const design::Entry& line, bool paired)
{
  const int col = line.column * 2;
  const int i = line.index;
  const auto size_i = size_t(i);
  switch (line.item) {
  case design::Item::Cfg: {
    const rows::ConfigRegisterRow& r = rows::ConfigRegisters()[size_i];
    lbl_cfg[size_i] = Make<QLabel>(frame, Indexed("lbl_cfg", i));
    lbl_cfg[size_i]->setText(u8(r.caption_de));
    txt_data_cfg[size_i] = field(frame, Indexed("txt_data_cfg", i), r.field == rows::Field::Choice ? 30 : 64);
    grid->addWidget(lbl_cfg[size_i], row, col);
    auto* box = line_box(grid, row, col, paired);
    if (r.field == rows::Field::Choice) {
      cmb_cfg[size_i] = choice(frame, Indexed("cmb_cfg", i), design::ConfigChoices(i, false));
      box->addWidget(cmb_cfg[size_i]);
    }
    box->addWidget(txt_data_cfg[size_i]);
    if (r.field == rows::Field::Spin) {
      UpD_txt_cfg[size_i] = Make<UpDownControl>(frame, Indexed("UpD_txt_cfg", i));
      UpD_txt_cfg[size_i]->Min = r.lower;
      UpD_txt_cfg[size_i]->Max = r.upper;
      box->addWidget(UpD_txt_cfg[size_i]);
    }
    if (i == 0 || i == 1) {
      lbl_cfg_val[size_i] = Make<QLabel>(frame, Indexed("lbl_cfg_val", i));
      box->addWidget(lbl_cfg_val[size_i]);
    }
    if (i >= 4 && i <= 7) {
      Label1[size_t(i - 4)] = Make<QLabel>(frame, Indexed("Label1", i - 4));
      Label1[size_t(i - 4)]->setText("%");
      box->addWidget(Label1[size_t(i - 4)]);
    }
    if (r.unit_label >= 0)
      box->addWidget(lbl_desc[size_t(r.unit_label)]);
    box->addStretch(1);
    break;
  }
  case design::Item::In: {
    const rows::InputRegisterRow& r = rows::InputRegisters()[size_i];
    QLabel* caption = nullptr;
    if (line.caption_desc >= 0) {
      caption = lbl_desc[size_t(line.caption_desc)];
    } else {
      caption = lbl_data_in[size_i] = Make<QLabel>(frame, Indexed("lbl_data_in", i));
      caption->setText(u8(r.caption_de));
    }
    txt_data_in[size_i] = field(frame, Indexed("txt_data_in", i), r.field == rows::Field::Choice ? 30 : 64);
    grid->addWidget(caption, row, col);
    auto* box = line_box(grid, row, col, paired);
    if (r.field == rows::Field::Choice) {
      cmb_in[size_i] = choice(frame, Indexed("cmb_in", i), design::InputChoices(i, false));
      box->addWidget(cmb_in[size_i]);
    }
    box->addWidget(txt_data_in[size_i]);
    if (r.unit_label >= 0)
      box->addWidget(lbl_desc[size_t(r.unit_label)]);
    box->addStretch(1);
    break;
  }
  case design::Item::Out: {
    const rows::OutputRegisterRow& r = rows::OutputRegisters()[size_i];
    lbl_read_out[size_i] = Make<QLabel>(frame, Indexed("lbl_read_out", i));
    lbl_read_out[size_i]->setText(u8(r.caption_de));
    txt_data_out[size_i] = field(frame, Indexed("txt_data_out", i));
    grid->addWidget(lbl_read_out[size_i], row, col);
    auto* box = line_box(grid, row, col, paired);
    box->addWidget(txt_data_out[size_i]);
    if (i == 15 || i == 16) {
      lbl_in_val[size_i] = Make<QLabel>(frame, Indexed("lbl_in_val", i));
      box->addWidget(lbl_in_val[size_i]);
    }
    if (r.unit_label >= 0)
      box->addWidget(lbl_desc[size_t(r.unit_label)]);
    box->addStretch(1);
    break;
  }
  case design::Item::CfgBit: {
    const rows::BitRow& r = rows::ConfigBits()[size_i];
    lbl_read_cfg_bit[size_i] = Make<QLabel>(frame, Indexed("lbl_read_cfg_bit", i));
    lbl_read_cfg_bit[size_i]->setText(u8(r.caption_de));
    chk_cfg[size_i] = Make<QCheckBox>(frame, Indexed("chk_cfg", i));
    grid->addWidget(lbl_read_cfg_bit[size_i], row, col);
    auto* box = line_box(grid, row, col, paired);
    if (r.choice) {
      cmb_bit_cfg[size_i] = choice(frame, Indexed("cmb_bit_cfg", i), design::BitChoices(i, false));
      box->addWidget(cmb_bit_cfg[size_i]);
    }
    box->addWidget(chk_cfg[size_i]);
    box->addStretch(1);
    break;
  }
  case design::Item::InBit: {
    const rows::BitRow& r = rows::InputBits()[size_i];
    lbl_read_in_bit[size_i] = Make<QLabel>(frame, Indexed("lbl_read_in_bit", i));
    lbl_read_in_bit[size_i]->setText(u8(r.caption_de));
    chk_input[size_i] = Make<QCheckBox>(frame, Indexed("chk_input", i));
    grid->addWidget(lbl_read_in_bit[size_i], row, col);
    line_box(grid, row, col, paired)->addWidget(chk_input[size_i]);
    break;
  }
  case design::Item::Desc:
    lbl_desc[size_i]->setParent(frame);
    lbl_desc[size_i]->setWordWrap(true);
    grid->addWidget(lbl_desc[size_i], row, 0, 1, 4);
    break;
  case design::Item::Frame:
    grid->addWidget(build_frame(QString::fromLatin1(line.name)), row, 0, 1, 4);
    break;
  case design::Item::ClockDate:
  case design::Item::ClockTime: {
    // Day . month . year, or hour : minute : second; hidden until the device type shows them.
    const bool date = line.item == design::Item::ClockDate;
    const int order[3] = {date ? 3 : 2, date ? 4 : 1, date ? 5 : 0};
    QLabel* separator = lbl_desc[date ? 6 : 4];
    grid->addWidget(lbl_desc[date ? 69 : 70], row, col);
    auto* box = new QHBoxLayout;
    box->setSpacing(2);
    for (int k = 0; k < 3; ++k) {
      const int index = order[k];
      txt_data_in[size_t(index)] = field(frame, Indexed("txt_data_in", index), 30);
      txt_data_in[size_t(index)]->setVisible(false);
      txt_data_in[size_t(index)]->setEnabled(false);
      box->addWidget(txt_data_in[size_t(index)]);
      if (k == 0) {
        box->addWidget(separator);
      } else if (k == 1) {
        auto* again = Make<QLabel>(frame, QStringLiteral("%1_again").arg(separator->objectName()));
        again->setText(separator->text());
        again->setVisible(false);
        clock_separators_.push_back(again);
        box->addWidget(again);
      }
    }
    box->addStretch(1);
    grid->addLayout(box, row, 1, 1, 3);
    break;
  }
  case design::Item::Picture:
    break;
  }
}

QWidget* frm_config::build_picture_set(int k, QWidget* parent)
{
  auto* holder = new QWidget(parent);
  holder->setObjectName(QStringLiteral("pictures_%1").arg(k));
  auto* stack = new QGridLayout(holder);
  stack->setContentsMargins(0, 0, 0, 0);
  // On the button page the pictures stand beside the LED lists and are smaller.
  const QSize size = k == 1 ? QSize(Px(1200), Px(1860)) : QSize(Px(1800), Px(2800));
  for (int position = 0; position < 4; ++position) {
    auto* image = Make<QLabel>(holder, Indexed(design::PictureName(position), k));
    image->setPixmap(unit_picture(design::ButtonCounts[position], size));
    image->setFixedSize(size);
    image->setVisible(position == 3);
    stack->addWidget(image, 0, 0);
    Images[size_t(position)][size_t(k)] = image;
  }
  return holder;
}

void frm_config::build_frame2(QGroupBox* frame)
{
  // Laid out in twips like the design, so that the indicators sit on the picture's buttons.
  frame->setFixedSize(Px(3300), Px(4400));
  for (int i = 0; i < 2; ++i) {
    lbl_read_out[size_t(i)] = Make<QLabel>(frame, Indexed("lbl_read_out", i));
    lbl_read_out[size_t(i)]->setText(u8(rows::OutputRegisters()[size_t(i)].caption_de));
    lbl_read_out[size_t(i)]->setGeometry(Px(150), Px(400 + i * 400), Px(1700), Px(300));
    txt_data_out[size_t(i)] = field(frame, Indexed("txt_data_out", i));
    txt_data_out[size_t(i)]->setGeometry(Px(1900), Px(380 + i * 400), Px(1000), Px(330));
  }
  const QSize size(Px(1800), Px(2800));
  for (int position = 0; position < 4; ++position) {
    auto* image = Make<QLabel>(frame, Indexed(design::PictureName(position), 0));
    image->setPixmap(unit_picture(design::ButtonCounts[position], size));
    image->setGeometry(Px(740), Px(1300), size.width(), size.height());
    image->setVisible(position == 3);
    Images[size_t(position)][0] = image;
  }
  for (int i = 0; i < 2; ++i) {
    lbl_temp[size_t(i)] = Make<QLabel>(frame, Indexed("lbl_temp", i));
    lbl_temp[size_t(i)]->setGeometry(i == 0 ? Px(1000) : Px(1900), Px(1500), i == 0 ? Px(850) : Px(450), Px(330));
    lbl_temp[size_t(i)]->setAlignment(i == 0 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
  }
  lbl_temp[0]->setText("0");
  lbl_temp[1]->setText(u8("°C"));
  for (int i = 0; i < 12; ++i) {
    const design::Rect r = button_twips_[size_t(i)] = design::ButtonIndicatorDesign(i);
    Lbl_button[size_t(i)] = Make<QLabel>(frame, Indexed("Lbl_button", i));
    Lbl_button[size_t(i)]->setGeometry(Px(r.left), Px(r.top), Px(r.width), Px(r.height));
    Lbl_button[size_t(i)]->setAutoFillBackground(true);
    Lbl_button[size_t(i)]->setFrameShape(QFrame::Box);
    SetButtonLabel(i, false);
    Lbl_button[size_t(i)]->raise();
  }
}

QWidget* frm_config::build_side_panel()
{
  auto* panel = new QWidget(this);
  panel->setObjectName("side_panel");
  panel->setFixedWidth(Px(3750));
  auto* column = new QVBoxLayout(panel);

  auto* picture = Make<QLabel>(panel, "Picture1");
  QPixmap logo(Px(3450), Px(800));
  logo.fill(Qt::transparent);
  {
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 70, 130));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(logo.rect(), 6, 6);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setBold(true);
    font.setPointSize(15);
    p.setFont(font);
    p.drawText(logo.rect(), Qt::AlignCenter, "ZOR17-RS485");
  }
  picture->setPixmap(logo);
  column->addWidget(picture);

  auto labelled = [](QWidget* parent, QGridLayout* grid, int row, const char* label_name, const char* text,
                     QLineEdit*& edit, const char* edit_name) {
    auto* label = Make<QLabel>(parent, QString::fromUtf8(label_name));
    label->setText(u8(text));
    edit = Make<QLineEdit>(parent, QString::fromUtf8(edit_name));
    edit->setReadOnly(true);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    return label;
  };

  frm_bacnet = Make<QGroupBox>(panel, "frm_bacnet");
  frm_bacnet->setTitle("BACnet Parameter");
  auto* bac = new QGridLayout(frm_bacnet);
  cmd_netzwerkScan = Make<QPushButton>(frm_bacnet, "cmd_netzwerkScan");
  cmd_netzwerkScan->setText("Netzwerk Scan");
  cmd_zielWaehlen = Make<QPushButton>(frm_bacnet, u8("cmd_zielWählen"));
  cmd_zielWaehlen->setText(u8("Ziel wählen"));
  bac->addWidget(cmd_netzwerkScan, 0, 0);
  bac->addWidget(cmd_zielWaehlen, 0, 1);
  // The destination under its caption, as wide as the frame: its prompt shows whole.
  lbl_destDevice = Make<QLabel>(frm_bacnet, "lbl_destDevice");
  lbl_destDevice->setText("Device-ID Ziel:");
  txt_destDevice = Make<QLineEdit>(frm_bacnet, "txt_destDevice");
  txt_destDevice->setReadOnly(true);
  txt_destDevice->setText(u8("Wählen Sie ein Ziel!"));
  bac->addWidget(lbl_destDevice, 1, 0, 1, 2);
  bac->addWidget(txt_destDevice, 2, 0, 1, 2);
  lbl_link = labelled(frm_bacnet, bac, 3, "lbl_link", "Link:", txt_link, "txt_link");
  frm_ip = Make<QGroupBox>(frm_bacnet, "frm_ip");
  frm_ip->setTitle("Lokale Parameter");
  auto* ip = new QGridLayout(frm_ip);
  labelled(frm_ip, ip, 0, "lbl_bacDeviceID", "Device-ID:", txt_bacDeviceID, "txt_bacDeviceID");
  labelled(frm_ip, ip, 1, "lbl_bacPort", "Port:", txt_bacPort, "txt_bacPort");
  lbl_ip = labelled(frm_ip, ip, 2, "lbl_ip", "IP-Adresse", txt_bacIp, "txt_bacIp");
  frm_mstp = Make<QGroupBox>(frm_bacnet, "frm_mstp");
  frm_mstp->setTitle("Lokale Parameter");
  auto* mstp = new QGridLayout(frm_mstp);
  labelled(frm_mstp, mstp, 0, "lbl_bacComPort", "COM-Port:", txt_bacComPort, "txt_bacComPort");
  labelled(frm_mstp, mstp, 1, "lbl_bacBaudrate", "Baudrate:", txt_bacBaudrate, "txt_bacBaudrate");
  lbl_bacMac = labelled(frm_mstp, mstp, 2, "lbl_bacMac", "MAC-Adresse:", txt_bacMac, "txt_bacMac");
  // Both frames share one place; the link decides which one shows.
  bac->addWidget(frm_ip, 4, 0, 1, 2);
  bac->addWidget(frm_mstp, 4, 0, 1, 2);
  column->addWidget(frm_bacnet);

  frm_modbus = Make<QGroupBox>(panel, "frm_modbus");
  frm_modbus->setTitle("Modbus Parameter");
  auto* mod = new QGridLayout(frm_modbus);
  auto* port_label = labelled(frm_modbus, mod, 0, "lbl_parameter_6", "COM-Port", txt_modbComPort, "txt_modbComPort");
  (void)port_label;
  labelled(frm_modbus, mod, 1, "lbl_modbBaud", "Baudrate", txt_modbBaud, "txt_modbBaud");
  labelled(frm_modbus, mod, 2, "lbl_modbMode", "Mode", txt_modbMode, "txt_modbMode");
  lbl_modbAddr = labelled(frm_modbus, mod, 3, "lbl_modbAddr", "Modbus Adresse", txt_modbAddr, "txt_modbAddr");
  txt_modbAddr->setReadOnly(false);
  cmb_modbPort = Make<QComboBox>(frm_modbus, "cmb_modbPort");
  cmb_modbPort->addItems({QString(), QString()});
  cmb_modbPort->setCurrentIndex(-1);
  mod->addWidget(cmb_modbPort, 4, 0, 1, 2);
  column->addWidget(frm_modbus);

  Frm_read = Make<QGroupBox>(panel, "Frm_read");
  auto* actions = new QGridLayout(Frm_read);
  cmd_auslesen = Make<QPushButton>(Frm_read, "cmd_auslesen");
  cmd_auslesen->setText("Parameter Auslesen");
  cmd_paramSchreiben = Make<QPushButton>(Frm_read, "cmd_paramSchreiben");
  cmd_paramSchreiben->setText("Parameter Schreiben");
  cmd_objektSchreiben = Make<QPushButton>(Frm_read, "cmd_objektSchreiben");
  cmd_objektSchreiben->setText("Objekte schreiben");
  cmd_abbrechen = Make<QPushButton>(Frm_read, "cmd_abbrechen");
  cmd_abbrechen->setText("Abbrechen");
  chk_monitor = Make<QCheckBox>(Frm_read, "chk_monitor");
  Shape1 = Make<LampShape>(Frm_read, "Shape1");
  prgB_dummy = Make<QProgressBar>(Frm_read, "prgB_dummy");
  prgB_dummy->setRange(0, 1000);
  prgB_dummy->setTextVisible(false);
  prgB_dummy->setVisible(false);
  actions->addWidget(cmd_auslesen, 0, 0, 1, 3);
  actions->addWidget(cmd_paramSchreiben, 1, 0, 1, 3);
  actions->addWidget(cmd_objektSchreiben, 2, 0, 1, 3);
  actions->addWidget(cmd_abbrechen, 3, 0, 1, 3);
  actions->addWidget(chk_monitor, 4, 0);
  lbl_desc[30]->setParent(Frm_read);
  actions->addWidget(lbl_desc[30], 4, 1);
  actions->addWidget(Shape1, 4, 2, Qt::AlignRight);
  lbl_desc[7]->setParent(Frm_read);
  lbl_desc[7]->setWordWrap(true);
  actions->addWidget(lbl_desc[7], 5, 0, 1, 3);
  actions->addWidget(prgB_dummy, 6, 0, 1, 3);
  column->addWidget(Frm_read);
  column->addStretch(1);
  return panel;
}

void frm_config::build_menus()
{
  QMenuBar* bar = menuBar();
  auto submenu = [&](int index, const char* caption) {
    QMenu* menu = bar->addMenu(u8(caption));
    menu->setObjectName(Indexed("MenüMain", index));
    MenueMain[size_t(index)] = menu->menuAction();
    MenueMain[size_t(index)]->setObjectName(Indexed("MenüMain", index));
    connect(menu, &QMenu::aboutToShow, this, [this, index] { MenueMain_Click(index); });
    return menu;
  };
  QMenu* file = submenu(1, "&Datei");
  static const char* const file_items[] = {nullptr, "&Parameter laden", "&Parameter speichern", "&Benutzerverwaltung",
                                           "-", "&Beenden"};
  for (int i = 1; i <= 5; ++i) {
    QAction* item = i == 4 ? file->addSeparator() : file->addAction(u8(file_items[i]));
    item->setObjectName(Indexed("ParMenüMain", i));
    ParMenueMain[size_t(i)] = item;
    connect(item, &QAction::triggered, this, [this, i] { ParMenueMain_Click(i); });
  }
  QMenu* modbus = submenu(2, "&Modbus");
  ModbMenuMain1 = modbus->addAction(u8("&Einstellungen"));
  ModbMenuMain1->setObjectName("ModbMenuMain_1");
  connect(ModbMenuMain1, &QAction::triggered, this, [this] { ModbMenuMain_Click(1); });
  QMenu* bacnet = submenu(3, "&BACnet");
  BacMenuMain1 = bacnet->addAction(u8("&Einstellungen"));
  BacMenuMain1->setObjectName("BacMenuMain_1");
  connect(BacMenuMain1, &QAction::triggered, this, [this] { BacMenuMain_Click(1); });
  // About and Help act on the click itself.
  static const char* const direct[] = {"&Über", "&Hilfe"};
  for (int index = 4; index <= 5; ++index) {
    QAction* item = bar->addAction(u8(direct[index - 4]));
    item->setObjectName(Indexed("MenüMain", index));
    MenueMain[size_t(index)] = item;
    connect(item, &QAction::triggered, this, [this, index] { MenueMain_Click(index); });
  }
}

void frm_config::build_timers()
{
  auto timer = [this](const char* name, int interval) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(interval);
    return t;
  };
  Timer = timer("Timer", 250);
  tmr_bacMonitor = timer("tmr_bacMonitor", 10000);
  connect(Timer, &QTimer::timeout, this, &frm_config::Timer_Timer);
  connect(tmr_bacMonitor, &QTimer::timeout, this, &frm_config::tmr_bacMonitor_Timer);
}

void frm_config::connect_fields()
{
  for (int i = 0; i < ConfigRegisterCount; ++i) {
    connect(txt_data_cfg[size_t(i)], &QLineEdit::textChanged, this, [this, i] { txt_data_cfg_Change(i); });
    txt_data_cfg[size_t(i)]->installEventFilter(this);
    if (QComboBox* box = cmb_cfg[size_t(i)])
      connect(box, &QComboBox::currentIndexChanged, this, [this, i] { cmb_cfg_Click(i); });
    if (UpDownControl* ud = UpD_txt_cfg[size_t(i)]) {
      connect(ud, &UpDownControl::UpClick, this, [this, i] { UpD_txt_cfg_UpClick(i); });
      connect(ud, &UpDownControl::DownClick, this, [this, i] { UpD_txt_cfg_DownClick(i); });
      connect(ud, &UpDownControl::MouseDown, this, [this, i](double x, double y) { UpD_txt_cfg_MouseDown(i, x, y); });
      connect(ud, &UpDownControl::MouseMove, this, [this, i](double x, double y) { UpD_txt_cfg_MouseMove(i, x, y); });
      connect(ud, &UpDownControl::MouseUp, this, [this, i] { UpD_txt_cfg_MouseUp(i); });
    }
  }
  for (int i = 0; i < InputRegisterTableSize; ++i) {
    connect(txt_data_in[size_t(i)], &QLineEdit::textChanged, this, [this, i] { txt_data_in_Change(i); });
    txt_data_in[size_t(i)]->installEventFilter(this);
    if (QComboBox* box = cmb_in[size_t(i)])
      connect(box, &QComboBox::currentIndexChanged, this, [this, i] { cmb_in_Click(i); });
  }
  for (int i = 0; i < OutputRegisterCount; ++i)
    connect(txt_data_out[size_t(i)], &QLineEdit::textChanged, this, [this, i] { txt_data_out_Change(i); });
  for (int i = 0; i < ConfigBitCount; ++i) {
    connect(chk_cfg[size_t(i)], &QCheckBox::stateChanged, this, [this, i] { chk_cfg_Click(i); });
    if (QComboBox* box = cmb_bit_cfg[size_t(i)])
      connect(box, &QComboBox::currentIndexChanged, this, [this, i] { cmb_bit_cfg_Click(i); });
  }
  for (int i = 0; i < InputBitCount; ++i)
    connect(chk_input[size_t(i)], &QCheckBox::stateChanged, this, [this, i] { chk_input_Click(i); });

  connect(cmd_auslesen, &QPushButton::clicked, this, &frm_config::cmd_auslesen_Click);
  connect(cmd_paramSchreiben, &QPushButton::clicked, this, &frm_config::cmd_paramSchreiben_Click);
  connect(cmd_objektSchreiben, &QPushButton::clicked, this, &frm_config::cmd_objektSchreiben_Click);
  connect(cmd_netzwerkScan, &QPushButton::clicked, this, &frm_config::cmd_netzwerkScan_Click);
  connect(cmd_zielWaehlen, &QPushButton::clicked, this, &frm_config::cmd_zielWaehlen_Click);
  connect(chk_monitor, &QCheckBox::stateChanged, this, &frm_config::chk_monitor_Click);
  connect(cmd_abbrechen, &QPushButton::clicked, this, &frm_config::cmd_abbrechen_Click);
  txt_modbAddr->installEventFilter(this);
  // A choice set by code runs the handler; so does every choice of the user, even of the
  // entry already shown ("open" again tests the connection again). A change by the user
  // raises both signals in one go, and the handler runs once.
  connect(cmb_modbPort, &QComboBox::currentIndexChanged, this, [this](int index) {
    port_choice_changed_ = true;
    QTimer::singleShot(0, this, [this] { port_choice_changed_ = false; });
    cmb_modbPort_Click(index);
  });
  connect(cmb_modbPort, &QComboBox::activated, this, [this](int index) {
    if (!std::exchange(port_choice_changed_, false))
      cmb_modbPort_Click(index);
  });
}
