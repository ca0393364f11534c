#include "gui/forms/frm_config.h"

#include "gui/forms/close_guard.h"
#include "gui/forms/form_support.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>

namespace {

QPointer<frm_config>& instance()
{
  static QPointer<frm_config> window;
  return window;
}

}  // namespace

frm_config* frm_config::Instance()
{
  if (!instance())
    instance() = new frm_config;
  return instance();
}

frm_config* frm_config::Existing() { return instance(); }

frm_config::frm_config()
{
  setObjectName("frm_config");
  setAttribute(Qt::WA_DeleteOnClose);
  Form_Load();
}

void frm_config::Form_Load()
{
  setWindowTitle(QString::fromUtf8("ZOR17_RS485 Konfiguration 1.0.1"));
  auto* body = new QLabel(this);
  body->setObjectName("lbl_placeholder");
  body->setMinimumSize(640, 400);
  setCentralWidget(body);
  forms::CentreOnScreen(this);
}

void frm_config::SetEnglishTexts()
{
  static const forms::Caption kEnglish[] = {{"", "ZOR17_RS485 Configuration"}};
  forms::ApplyCaptions(this, kEnglish);
}

void frm_config::closeEvent(QCloseEvent* event)
{
  if (forms::DeferCloseWhileBackendRuns(this, event))
    return;
  QMainWindow::closeEvent(event);
}
