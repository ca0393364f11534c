// The start form: reads the program settings, logs the user in against the user file (or,
// on the very first start, admits an empty login as administrator), lets the user choose
// the device type and goes on to the configuration window. Its slots are the form's event
// handlers. User-interface thread only; the login itself is TxtOps' business.
#pragma once

#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class frm_start : public QWidget {
  Q_OBJECT
public:
  frm_start();

  // The start form while it is loaded, else null.
  static frm_start* Loaded();

  // The English captions given when the start form is left.
  void SetEnglishTexts();

public slots:
  void Combo1_Click(int listIndex);
  void txt_Password_KeyDown(int keyCode);
  void cmd_Login_Click();
  void Uebernehmen_Click();
  void cmd_Cancel_Click();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Form_Load();

  QFrame* fr_Loginfrm;
  QLabel* lbl_Loginfrm[2];
  QLineEdit* txt_User;
  QLineEdit* txt_Password;
  QPushButton* cmd_Login;
  QPushButton* cmd_Cancel;
  QLabel* Label1;
  QComboBox* Combo1;
  QPushButton* Uebernehmen;
};
