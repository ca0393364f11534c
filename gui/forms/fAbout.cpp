#include "gui/forms/fAbout.h"

#include "gui/core/program_state.h"
#include "gui/core/registry.h"
#include "gui/forms/form_support.h"
#include "gui/forms/window_controls.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

namespace {

// The maker's contact data.
const char* const kMaker = "Morvane";
const char* const kEmail = "info@morvane.example";
const char* const kWeb = "https://www.morvane.example";

QLabel* make_label(QWidget* parent, const char* name, const QString& text)
{
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

void look_like_a_link(QLabel* label)
{
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
  label->setPalette(palette);
  label->setCursor(Qt::PointingHandCursor);
}

}  // namespace

fAbout::fAbout(QWidget* parent) : QDialog(parent)
{
  setObjectName("fAbout");
  setWindowTitle("Information");
  lblVersion = make_label(this, "lblVersion", QString::fromUtf8("Morvane: Konfigurationssoftware für ZOR17-RS485"));
  QFont heading = lblVersion->font();
  heading.setBold(true);
  lblVersion->setFont(heading);
  Label2 = make_label(this, "Label2", "Version:");
  Label1 = make_label(this, "Label1", QString());
  lbl_Software_Hinweis =
      make_label(this, "lbl_Software_Hinweis",
                 QString::fromUtf8("Für Schäden die durch Verwendung dieser Software an Hard- oder Software "
                                   "entstehen wird keine Haftung übernommen."));
  lbl_Software_Hinweis->setWordWrap(true);
  lblMaker = make_label(this, "lblMaker", QString::fromUtf8(kMaker));
  lbltxtEmail = make_label(this, "lbltxtEmail", "E-Mail:");
  lblemail = make_label(this, "lblemail", QString::fromUtf8(kEmail));
  lbltxtHyperlink = make_label(this, "lbltxtHyperlink", "Internet:");
  lblHyperlink = make_label(this, "lblHyperlink", QString::fromUtf8(kWeb));
  for (QLabel* link : {lblemail, lblHyperlink}) {
    look_like_a_link(link);
    link->installEventFilter(this);
  }

  auto* grid = new QGridLayout(this);
  grid->addWidget(lblVersion, 0, 0, 1, 2);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(Label1, 1, 1);
  grid->addWidget(lbl_Software_Hinweis, 2, 0, 1, 2);
  grid->addWidget(lblMaker, 3, 0, 1, 2);
  grid->addWidget(lbltxtEmail, 4, 0);
  grid->addWidget(lblemail, 4, 1);
  grid->addWidget(lbltxtHyperlink, 5, 0);
  grid->addWidget(lblHyperlink, 5, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowMinimumHeight(2, lbl_Software_Hinweis->fontMetrics().height() * 3);
  setMinimumWidth(forms::Px(5500));
  Form_Load();
}

void fAbout::Form_Load()
{
  Label1->setText(CRegistry().MachineSetting(QString::fromLatin1(ProgramRegistryKey), "Version"));
  if (global::LanguageCode == "1033") {
    setWindowTitle("About");
    lblVersion->setText("Morvane: Configuration software for ZOR17-RS485");
    lbl_Software_Hinweis->setText(
        "Morvane accepts no liability for damage to hardware or software caused by operating this software.");
  }
  forms::CentreOnScreen(this);
}

bool fAbout::eventFilter(QObject* watched, QEvent* event)
{
  if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == lblemail)
      lblemail_Click();
    else if (watched == lblHyperlink)
      lblHyperlink_Click();
  }
  return QDialog::eventFilter(watched, event);
}

// What the shell makes of the links is its own affair; the result is not looked at.
void fAbout::lblemail_Click() { QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + lblemail->text())); }

void fAbout::lblHyperlink_Click() { QDesktopServices::openUrl(QUrl(lblHyperlink->text())); }
