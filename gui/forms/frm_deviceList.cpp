#include "gui/forms/frm_deviceList.h"

#include "gui/core/program_state.h"
#include "gui/core/scan_result.h"
#include "gui/forms/form_support.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>

#include <algorithm>

using forms::Make;

namespace {

// 2000 x 2000 twips: the list never gets smaller than this.
constexpr int kMinimumSide = 2000 / 15;

}  // namespace

frm_deviceList::frm_deviceList(QWidget* parent) : QDialog(parent)
{
  setObjectName("frm_deviceList");
  setWindowTitle(QString::fromUtf8("Geräteübersicht"));
  lbl_scan = Make<QLabel>(this, "lbl_scan");
  lbl_scan->setText("Letzter Scan:");
  txt_scan = Make<QLineEdit>(this, "txt_scan");
  txt_scan->setText("---");
  txt_scan->setReadOnly(true);
  lbl_device = Make<QLabel>(this, "lbl_device");
  lbl_device->setText(QString::fromUtf8("Gewähltes Device:"));
  txt_device = Make<QLineEdit>(this, "txt_device");
  txt_device->setText("---");
  txt_device->setReadOnly(true);
  ListView1 = Make<QTreeWidget>(this, "ListView1");
  ListView1->setRootIsDecorated(false);
  ListView1->setColumnCount(4);
  ListView1->setHeaderLabels({"Index", "Device-ID", "Name", "Version"});
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  cmd_uebernehmen = Make<QPushButton>(this, "cmd_übernehmen");
  cmd_uebernehmen->setText(QString::fromUtf8("Übernehmen"));
  cmd_uebernehmen->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(lbl_scan, 0, 0);
  grid->addWidget(txt_scan, 0, 1);
  grid->addWidget(lbl_device, 1, 0);
  grid->addWidget(txt_device, 1, 1);
  grid->addWidget(ListView1, 2, 0, 1, 2);
  grid->addWidget(cmd_uebernehmen, 3, 1, Qt::AlignRight);
  setMinimumSize(kMinimumSide, kMinimumSide);
  resize(forms::Px(7500), forms::Px(5000));

  connect(ListView1, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { ListView1_ItemClick(item); });
  connect(cmd_uebernehmen, &QPushButton::clicked, this, &frm_deviceList::cmd_uebernehmen_Click);
  Form_Load();
}

void frm_deviceList::Form_Load()
{
  if (global::LanguageCode.toInt() == 1033) {
    static const forms::Caption kEnglish[] = {{"", "Device overview"},
                                              {"lbl_scan", "Last scan"},
                                              {"lbl_device", "Choosen device"}};
    forms::ApplyCaptions(this, kEnglish);
    cmd_uebernehmen->setText("Apply");
  }
  cmd_uebernehmen->setEnabled(false);
  show_scan_time();
  forms::CentreOnScreen(this);
  QDir::setCurrent(global::ProgramFolder);
  ReadDirectory();
}

void frm_deviceList::show_scan_time()
{
  const QFileInfo info(global::ScanResultPath());
  if (info.exists())
    txt_scan->setText(QLocale().toString(info.lastModified(), QLocale::ShortFormat));
}

void frm_deviceList::ReadDirectory()
{
  QFile file(global::ScanResultPath());
  if (!file.open(QIODevice::ReadOnly))
    return;
  ListView1->clear();
  for (const scan::Device& d : scan::ReadScanResult(file.readAll()))
    new QTreeWidgetItem(ListView1, {d.index, d.device_id, d.name, d.version});
  show_scan_time();
  fit_columns();
}

void frm_deviceList::fit_columns()
{
  // Every column as wide as its widest entry, and the list wide enough for all of them, as
  // far as the screen allows.
  int needed = 2 * ListView1->frameWidth() + ListView1->verticalScrollBar()->sizeHint().width();
  for (int c = 0; c < ListView1->columnCount(); ++c) {
    ListView1->resizeColumnToContents(c);
    needed += ListView1->columnWidth(c);
  }
  const QMargins margins = layout()->contentsMargins();
  int wanted = std::max(width(), needed + margins.left() + margins.right());
  if (const QScreen* s = screen())
    wanted = std::min(wanted, s->availableGeometry().width());
  if (wanted != width()) {
    resize(wanted, height());
    forms::CentreOnScreen(this);
  }
}

void frm_deviceList::ListView1_ItemClick(QTreeWidgetItem* item)
{
  if (!item)
    return;
  const std::optional<int32_t> id = scan::DeviceInstance(item->text(1));
  if (!id)
    return;
  chosen_ = id;
  txt_device->setText(QString::number(*id));
  cmd_uebernehmen->setEnabled(true);
}

void frm_deviceList::cmd_uebernehmen_Click()
{
  frm_config* config = frm_config::Existing();
  if (chosen_) {
    global::DestDeviceId = *chosen_;
    if (config) {
      config->txt_destDevice->setText(QString::number(global::DestDeviceId));
      config->cmd_auslesen->setEnabled(true);
      if (global::AdminFlag == 1) {
        config->cmd_paramSchreiben->setEnabled(true);
        config->cmd_objektSchreiben->setEnabled(true);
      }
      config->chk_monitor->setEnabled(true);
    }
  }
  if (config) {
    config->Shape1->SetFillColor(QColor(255, 0, 0));
    QPalette palette = config->txt_destDevice->palette();
    palette.setColor(QPalette::Base, marks::ButtonFace());
    config->txt_destDevice->setPalette(palette);
  }
  global::LampState = 1;
  close();
}
