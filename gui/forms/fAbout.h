// The About form: what the program is, its version as the machine's settings record it, the
// liability note and the maker's contact data; the e-mail address and the web address open
// in the user's mail program and browser. Modal over the configuration window; a new form
// for every opening. User-interface thread only.
#pragma once

#include <QDialog>

class QLabel;

class fAbout : public QDialog {
  Q_OBJECT
public:
  explicit fAbout(QWidget* parent = nullptr);

  QLabel *lblVersion, *Label2, *Label1, *lbl_Software_Hinweis;
  QLabel *lbltxtEmail, *lblemail, *lbltxtHyperlink, *lblHyperlink, *lblMaker;

  void lblemail_Click();
  void lblHyperlink_Click();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Form_Load();
};
