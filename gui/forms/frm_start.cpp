#include "gui/forms/frm_start.h"

#include "gui/core/language_texts.h"
#include "gui/core/program_state.h"
#include "gui/core/registry.h"
#include "gui/core/user_file.h"
#include "gui/forms/form_support.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/language_forms.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPointer<frm_start>& loaded()
{
  static QPointer<frm_start> form;
  return form;
}

constexpr int kKeyEnter = 13;

const forms::Caption kGermanCaptions[] = {
    {"", "Geräteauswahl"},
    {"lbl_Loginfrm_0", "Anmeldename:"},
    {"lbl_Loginfrm_1", "Passwort:"},
    {"cmd_Login", "&Login"},
    {"cmd_Cancel", "&Abbrechen"},
    {"Label1", "Bitte wählen Sie ein Gerät aus:"},
    {"Uebernehmen", "Ok"},
};

// English captions of the form's own load.
const forms::Caption kEnglishOnLoad[] = {
    {"", "Choose a device"},
    {"lbl_Loginfrm_0", "User name"},
    {"lbl_Loginfrm_1", "Password"},
    {"cmd_Cancel", "Cancel"},
    {"Label1", "Please choose the device type:"},
};

// English captions given when the form is left for the configuration window.
const forms::Caption kEnglishOnLeave[] = {
    {"", "Choose a device"},
    {"lbl_Loginfrm_0", "User name"},
    {"lbl_Loginfrm_1", "Password"},
    {"cmd_Cancel", "Cancel"},
    {"Label1", "Please choose the device type"},
};

}  // namespace

frm_start::frm_start()
{
  setObjectName("frm_start");
  setAttribute(Qt::WA_DeleteOnClose);
  loaded() = this;

  fr_Loginfrm = new QFrame(this);
  fr_Loginfrm->setObjectName("fr_Loginfrm");
  fr_Loginfrm->setFrameShape(QFrame::StyledPanel);
  auto* login = new QGridLayout(fr_Loginfrm);
  for (int i = 0; i < 2; ++i) {
    lbl_Loginfrm[i] = new QLabel(fr_Loginfrm);
    lbl_Loginfrm[i]->setObjectName(QStringLiteral("lbl_Loginfrm_%1").arg(i));
  }
  txt_User = new QLineEdit(fr_Loginfrm);
  txt_User->setObjectName("txt_User");
  txt_Password = new QLineEdit(fr_Loginfrm);
  txt_Password->setObjectName("txt_Password");
  txt_Password->setEchoMode(QLineEdit::Password);
  txt_Password->setStyleSheet("lineedit-password-character: 42");
  txt_Password->installEventFilter(this);
  cmd_Login = new QPushButton(fr_Loginfrm);
  cmd_Login->setObjectName("cmd_Login");
  cmd_Cancel = new QPushButton(fr_Loginfrm);
  cmd_Cancel->setObjectName("cmd_Cancel");
  login->addWidget(lbl_Loginfrm[0], 0, 0);
  login->addWidget(txt_User, 0, 1);
  login->addWidget(lbl_Loginfrm[1], 1, 0);
  login->addWidget(txt_Password, 1, 1);
  login->addWidget(cmd_Login, 2, 0);
  login->addWidget(cmd_Cancel, 2, 1);

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Combo1 = new QComboBox(this);
  Combo1->setObjectName("Combo1");
  Combo1->addItems({"ZOR17_Modbus", "ZOR17_BACnet"});
  Uebernehmen = new QPushButton(this);
  Uebernehmen->setObjectName("Uebernehmen");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fr_Loginfrm);
  layout->addWidget(Label1);
  layout->addWidget(Combo1);
  layout->addWidget(Uebernehmen);
  forms::ApplyCaptions(this, kGermanCaptions);

  connect(Combo1, &QComboBox::currentIndexChanged, this, &frm_start::Combo1_Click);
  connect(cmd_Login, &QPushButton::clicked, this, &frm_start::cmd_Login_Click);
  connect(cmd_Cancel, &QPushButton::clicked, this, &frm_start::cmd_Cancel_Click);
  connect(Uebernehmen, &QPushButton::clicked, this, &frm_start::Uebernehmen_Click);

  Form_Load();
}

frm_start* frm_start::Loaded() { return loaded(); }

void frm_start::Form_Load()
{
  global::ReadRegistrySettings();
  global::ApplyQtLanguage();
  if (global::LanguageCode == "1033")
    forms::ApplyCaptions(this, kEnglishOnLoad);
  forms::CentreOnScreen(this);
  Combo1->setCurrentIndex(1);
  global::DeviceType = 1;
  Combo1->setEnabled(false);
  Uebernehmen->setEnabled(false);
}

void frm_start::SetEnglishTexts() { forms::ApplyCaptions(this, kEnglishOnLeave); }

void frm_start::Combo1_Click(int listIndex)
{
  if (listIndex == 0)
    global::DeviceType = 0;
  else if (listIndex == 1)
    global::DeviceType = 1;
}

bool frm_start::eventFilter(QObject* watched, QEvent* event)
{
  if (watched == txt_Password && event->type() == QEvent::KeyPress) {
    int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      txt_Password_KeyDown(kKeyEnter);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void frm_start::txt_Password_KeyDown(int keyCode)
{
  if (keyCode == kKeyEnter)
    cmd_Login_Click();
}

void frm_start::cmd_Login_Click()
{
  const QString user = txt_User->text();
  const QString password = txt_Password->text();
  if (!user.isEmpty() || !password.isEmpty()) {
    TxtOps::CheckLogin(user + ',' + password);
    if (global::LoggedIn) {
      Combo1->setEnabled(true);
      Uebernehmen->setEnabled(true);
    }
    return;
  }
  // The very first start: no user exists yet, so an empty login may create the first ones.
  if (!TxtOps::UserFileExists()) {
    Combo1->setEnabled(true);
    Uebernehmen->setEnabled(true);
    global::AdminFlag = 1;
  }
}

void frm_start::Uebernehmen_Click()
{
  if (global::DeviceType != 1)
    return;
  global::SetEnglishTexts(0);
  frm_config::Instance()->show();
  close();
}

void frm_start::cmd_Cancel_Click() {}
