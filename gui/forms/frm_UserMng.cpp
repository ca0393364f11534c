#include "gui/forms/frm_UserMng.h"

#include "gui/core/message_box.h"
#include "gui/core/program_state.h"
#include "gui/core/user_file.h"
#include "gui/forms/form_support.h"
#include "gui/forms/window_controls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using forms::Indexed;
using forms::Make;
using forms::Px;

namespace {

// The group nodes carry their key; user nodes carry none.
constexpr int kKeyRole = Qt::UserRole;

struct Group {
  const char* key;
  const char* german;
  const char* english;
};
const Group kGroups[] = {
    {"Groups", "Benutzergruppen", "User groups"},
    {"Admin", "Administratoren", "administrator"},
    {"User", "Benutzer", "user"},
};

bool english() { return global::LanguageCode.toInt() == 1033; }

const forms::Caption kGerman[] = {
    {"", "Benutzerverwaltung"},
    {"cmd_Neu", "&Neu"},
    {"cmd_Delete", "&Löschen"},
    {"cmd_Cancel_0", "&Schließen"},
    {"fr_UserMngfrm_1", "Einrichtung"},
    {"lbl_UserMgnfrm_0", "Anmeldename:"},
    {"lbl_UserMgnfrm_1", "Passwort:"},
    {"lbl_UserMgnfrm_2", "Passwortbestätigung:"},
    {"lbl_UserMgnfrm_4", "Administratorrechte:"},
    {"cmd_OK_0", "&OK"},
    {"cmd_Cancel_1", "&Abbrechen"},
    {"fr_UserMngfrm_0", "Benutzer löschen"},
    {"lbl_UserMgnfrm_3", "Anmeldename:"},
    {"cmd_OK_1", "&OK"},
    {"cmd_Cancel_2", "&Abbrechen"},
};

const forms::Caption kEnglish[] = {
    {"", "User management"},
    {"cmd_Neu", "New"},
    {"cmd_Delete", "Delete"},
    {"cmd_Cancel_0", "Apply"},
    {"fr_UserMngfrm_1", "Setup"},
    {"lbl_UserMgnfrm_0", "User name"},
    {"lbl_UserMgnfrm_1", "Password"},
    {"lbl_UserMgnfrm_2", "Confirm password"},
    {"lbl_UserMgnfrm_4", "Administration:"},
    {"cmd_OK_0", "OK"},
    {"cmd_Cancel_1", "Abort"},
    {"fr_UserMngfrm_0", "Delete a user"},
    {"lbl_UserMgnfrm_3", "User name"},
    {"cmd_OK_1", "OK"},
    {"cmd_Cancel_2", "Abort"},
};

}  // namespace

frm_UserMng::frm_UserMng(QWidget* parent) : QDialog(parent)
{
  setObjectName("frm_UserMng");

  // The list: the tree over its three buttons.
  auto* list = new QWidget(this);
  list->setObjectName("list");
  tv_UserMng = Make<QTreeWidget>(list, "tv_UserMng");
  tv_UserMng->setHeaderHidden(true);
  cmd_Neu = Make<QPushButton>(list, "cmd_Neu");
  cmd_Delete = Make<QPushButton>(list, "cmd_Delete");
  cmd_Cancel[0] = Make<QPushButton>(list, Indexed("cmd_Cancel", 0));
  auto* list_layout = new QVBoxLayout(list);
  list_layout->setContentsMargins(0, 0, 0, 0);
  list_layout->addWidget(tv_UserMng, 1);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {cmd_Neu, cmd_Delete, cmd_Cancel[0]})
    buttons->addWidget(b);
  list_layout->addLayout(buttons);
  list->setMinimumSize(Px(3255) - 18, Px(4245) - 18);

  // Both frames at one place; labels above their boxes, so each frame stays narrow.
  frames_ = new QWidget(this);
  frames_->setObjectName("frames");
  auto* place = new QGridLayout(frames_);
  place->setContentsMargins(0, 0, 0, 0);
  for (int f = 0; f < 2; ++f) {
    fr_UserMngfrm[size_t(f)] = Make<QGroupBox>(frames_, Indexed("fr_UserMngfrm", f));
    place->addWidget(fr_UserMngfrm[size_t(f)], 0, 0, Qt::AlignTop);
  }
  for (int i = 0; i < 5; ++i)
    lbl_UserMgnfrm[size_t(i)] =
        Make<QLabel>(fr_UserMngfrm[i == 3 ? 0 : 1], Indexed("lbl_UserMgnfrm", i));
  QGroupBox* setup = fr_UserMngfrm[1];
  QGroupBox* removal = fr_UserMngfrm[0];
  txt_User[0] = Make<QLineEdit>(setup, Indexed("txt_User", 0));
  txt_User[1] = Make<QLineEdit>(removal, Indexed("txt_User", 1));
  for (int i = 0; i < 2; ++i) {
    txt_Password[size_t(i)] = Make<QLineEdit>(setup, Indexed("txt_Password", i));
    txt_Password[size_t(i)]->setEchoMode(QLineEdit::Password);
    txt_Password[size_t(i)]->setStyleSheet("lineedit-password-character: 42");
  }
  chk_Admin = Make<QCheckBox>(setup, "chk_Admin");
  chk_Admin->setTristate(true);
  cmd_OK[0] = Make<QPushButton>(setup, Indexed("cmd_OK", 0));
  cmd_OK[1] = Make<QPushButton>(removal, Indexed("cmd_OK", 1));
  cmd_Cancel[1] = Make<QPushButton>(setup, Indexed("cmd_Cancel", 1));
  cmd_Cancel[2] = Make<QPushButton>(removal, Indexed("cmd_Cancel", 2));

  auto* s = new QGridLayout(setup);
  s->addWidget(lbl_UserMgnfrm[0], 0, 0, 1, 2);
  s->addWidget(txt_User[0], 1, 0, 1, 2);
  s->addWidget(lbl_UserMgnfrm[1], 2, 0, 1, 2);
  s->addWidget(txt_Password[0], 3, 0, 1, 2);
  s->addWidget(lbl_UserMgnfrm[2], 4, 0, 1, 2);
  s->addWidget(txt_Password[1], 5, 0, 1, 2);
  s->addWidget(lbl_UserMgnfrm[4], 6, 0);
  s->addWidget(chk_Admin, 6, 1);
  s->addWidget(cmd_OK[0], 7, 0);
  s->addWidget(cmd_Cancel[1], 7, 1);
  auto* r = new QGridLayout(removal);
  r->addWidget(lbl_UserMgnfrm[3], 0, 0, 1, 2);
  r->addWidget(txt_User[1], 1, 0, 1, 2);
  r->addWidget(cmd_OK[1], 2, 0);
  r->addWidget(cmd_Cancel[2], 2, 1);
  frames_->setMinimumWidth(Px(3200));

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list);
  layout->addWidget(frames_);
  for (QPushButton* b : findChildren<QPushButton*>())
    b->setAutoDefault(false);

  connect(cmd_Neu, &QPushButton::clicked, this, &frm_UserMng::cmd_Neu_Click);
  connect(cmd_Delete, &QPushButton::clicked, this, &frm_UserMng::cmd_Delete_Click);
  for (int i = 0; i < 2; ++i)
    connect(cmd_OK[size_t(i)], &QPushButton::clicked, this, [this, i] { cmd_OK_Click(i); });
  for (int i = 0; i < 3; ++i)
    connect(cmd_Cancel[size_t(i)], &QPushButton::clicked, this, [this, i] { cmd_Cancel_Click(i); });
  connect(tv_UserMng, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { tv_UserMng_NodeClick(node); });
  Form_Load();
}

void frm_UserMng::Form_Load()
{
  forms::ApplyCaptions(this, english() ? std::span<const forms::Caption>(kEnglish) : kGerman);
  FillUserTree();
  // The widths of the two states: the list alone, and the list with the frames beside it.
  ensurePolished();
  frames_->setVisible(true);
  wide_width_ = sizeHint().width();
  height_ = sizeHint().height();
  frames_->setVisible(false);
  narrow_width_ = sizeHint().width();
  set_widened(false);
  forms::CentreOnScreen(this);
}

void frm_UserMng::set_widened(bool widened)
{
  frames_->setVisible(widened);
  layout()->activate();
  setFixedSize(widened ? wide_width_ : narrow_width_, height_);
}

bool frm_UserMng::FramesInView() const { return frames_->isVisible(); }

void frm_UserMng::FillUserTree()
{
  tv_UserMng->clear();
  const bool en = english();
  auto group = [en](const Group& g, QTreeWidgetItem* item) {
    item->setText(0, QString::fromUtf8(en ? g.english : g.german));
    item->setData(0, kKeyRole, QString::fromLatin1(g.key));
    item->setExpanded(true);
    return item;
  };
  QTreeWidgetItem* root = group(kGroups[0], new QTreeWidgetItem(tv_UserMng));
  QTreeWidgetItem* admins = group(kGroups[1], new QTreeWidgetItem(root));
  QTreeWidgetItem* users = group(kGroups[2], new QTreeWidgetItem(root));
  for (const TxtOps::UserEntry& u : TxtOps::ReadUsers())
    (new QTreeWidgetItem(u.admin ? admins : users))->setText(0, u.name);
  tv_UserMng->expandAll();
}

void frm_UserMng::cmd_Neu_Click()
{
  set_widened(true);
  fr_UserMngfrm[0]->setVisible(false);
  fr_UserMngfrm[1]->setVisible(true);
}

void frm_UserMng::cmd_Delete_Click()
{
  set_widened(true);
  fr_UserMngfrm[0]->setVisible(true);
  fr_UserMngfrm[1]->setVisible(false);
}

void frm_UserMng::cmd_Cancel_Click(int index)
{
  if (index == 0)
    close();
  else if (index == 1 || index == 2)
    set_widened(false);
}

void frm_UserMng::tv_UserMng_NodeClick(QTreeWidgetItem* node)
{
  // The group nodes stand for no user.
  if (node && node->data(0, kKeyRole).toString().isEmpty())
    txt_User[1]->setText(node->text(0));
}

void frm_UserMng::cmd_OK_Click(int index)
{
  if (index == 0) {
    const QString name = txt_User[0]->text();
    if (name.isEmpty())
      return;
    if (txt_Password[0]->text() != txt_Password[1]->text()) {
      MsgBox(QString::fromUtf8("Eingegebene Passwörter ungleich"));
      return;
    }
    // A refused record keeps the fields, so that the user can correct them.
    if (!TxtOps::AddUser(name, txt_Password[0]->text(), chk_Admin->checkState() != Qt::Unchecked))
      return;
    FillUserTree();
    txt_User[0]->clear();
    txt_Password[0]->clear();
    txt_Password[1]->clear();
    chk_Admin->setCheckState(Qt::Unchecked);
  } else if (index == 1) {
    const QString name = txt_User[1]->text();
    if (name.isEmpty())
      return;
    // A refused deletion keeps the name in its field.
    if (!TxtOps::DeleteUser(name))
      return;
    FillUserTree();
    txt_User[1]->clear();
  }
}
