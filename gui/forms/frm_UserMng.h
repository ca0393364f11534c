// The user management: the users of the user file in a tree grouped into administrators and
// users, and two input frames at one place right of the tree, one to set up a user and one
// to delete one, which come into view by widening the form. Every add or delete refills the
// tree from the file; the file itself is TxtOps' business. Modal over the configuration
// window, for administrators; a new form for every opening. User-interface thread only.
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class frm_UserMng : public QDialog {
  Q_OBJECT
public:
  explicit frm_UserMng(QWidget* parent = nullptr);

  QTreeWidget* tv_UserMng;
  QPushButton *cmd_Neu, *cmd_Delete;
  std::array<QPushButton*, 3> cmd_Cancel{};  // 0 closes, 1 and 2 hide the frames
  std::array<QGroupBox*, 2> fr_UserMngfrm{};  // 0 delete a user, 1 set up a user
  std::array<QLabel*, 5> lbl_UserMgnfrm{};
  std::array<QLineEdit*, 2> txt_User{};  // 0 new user, 1 user to delete
  std::array<QLineEdit*, 2> txt_Password{};  // password and its confirmation
  QCheckBox* chk_Admin;
  std::array<QPushButton*, 2> cmd_OK{};  // 0 adds, 1 deletes

  void cmd_Neu_Click();
  void cmd_Delete_Click();
  void cmd_OK_Click(int index);
  void cmd_Cancel_Click(int index);
  void tv_UserMng_NodeClick(QTreeWidgetItem* node);

  // Refills the tree: the three group nodes, then the users of the file in file order.
  void FillUserTree();

  // True while the form is wide enough to show the frames.
  bool FramesInView() const;

private:
  void Form_Load();
  void set_widened(bool widened);

  QWidget* frames_ = nullptr;
  int narrow_width_ = 0;
  int wide_width_ = 0;
  int height_ = 0;
};
