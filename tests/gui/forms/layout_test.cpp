// Every page of the configuration window at its designed size of 1050 x 700, and every
// dialog, in both device types and both languages, with the font of the platform's default
// style: nothing lies outside its parent and no text, list entry or tab is cut. The
// pictures stay under the build's screenshots folder for review.
#include "form_fixture.h"
#include "layout_check.h"

#include "gui/core/language_texts.h"
#include "gui/core/local_address.h"
#include "gui/core/pc_clock.h"
#include "gui/core/user_file.h"
#include "gui/core/window_design.h"
#include "gui/forms/fAbout.h"
#include "gui/forms/frm_UserMng.h"
#include "gui/forms/frm_bacConfig.h"
#include "gui/forms/frm_config.h"
#include "gui/forms/frm_deviceList.h"
#include "gui/forms/frm_modbusConfig.h"
#include "gui/forms/frm_scan.h"
#include "gui/forms/frm_start.h"
#include "gui/forms/frm_status.h"
#include "gui/forms/frm_waitRead.h"
#include "gui/forms/language_forms.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

class LayoutTest : public QObject {
  Q_OBJECT

  FormFixture fx;

  void use_language(bool english)
  {
    global::LanguageCode = english ? "1033" : "1031";
    global::ApplyLanguageCode();
  }

  void expect_whole(QWidget* window, const QString& picture)
  {
    const QStringList faults = layout::Faults(window, picture);
    QVERIFY2(faults.isEmpty(), qPrintable(picture + ":\n  " + faults.join("\n  ")));
  }

  // The dialog, shown (over its parent, if it takes one), whole.
  template <class Dialog, class... Parent>
  void expect_whole_dialog(const char* name, Parent... parent)
  {
    Dialog dialog(parent...);
    dialog.show();
    expect_whole(&dialog, QStringLiteral("layout_%1_%2").arg(name, QTest::currentDataTag()));
  }

private slots:
  void init()
  {
    fx.start();
    net::SetLocalIpSource([] { return QStringLiteral("192.168.100.200"); });
    pc_clock::SetClock([] { return QDateTime(QDate(2026, 12, 28), QTime(23, 59, 58)); });
  }
  void cleanup()
  {
    delete frm_config::Existing();
    delete frmState::Existing();
    net::SetLocalIpSource(nullptr);
    pc_clock::SetClock(nullptr);
    fx.stop();
  }

  void everyPageOfTheWindow_data()
  {
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<bool>("english");
    QTest::newRow("bacnet") << 1 << false;
    QTest::newRow("bacnet_en") << 1 << true;
    QTest::newRow("modbus") << 0 << false;
    QTest::newRow("modbus_en") << 0 << true;
  }
  void everyPageOfTheWindow()
  {
    QFETCH(int, deviceType);
    QFETCH(bool, english);
    use_language(english);
    global::DeviceType = uint8_t(deviceType);
    frm_config* w = frm_config::Instance();
    if (english)
      w->SetEnglishTexts();
    w->show();
    QCOMPARE(w->size(), QSize(1050, 700));
    for (int t = 0; t < design::TabCount; ++t) {
      w->SSTab1->setCurrentIndex(t);
      expect_whole(w, QStringLiteral("layout_%1_page%2").arg(QTest::currentDataTag()).arg(t));
    }
  }

  void everyDialog_data()
  {
    QTest::addColumn<bool>("english");
    QTest::newRow("german") << false;
    QTest::newRow("english") << true;
  }
  void everyDialog()
  {
    QFETCH(bool, english);
    use_language(english);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    global::DeviceType = 1;
    frm_config* config = frm_config::Instance();

    expect_whole_dialog<frm_start>("frm_start");
    {
      QVERIFY(TxtOps::AddUser(QString::fromUtf8("Verwaltungsadministratorin"), "pw", true));
      frm_UserMng users(config);
      users.show();
      expect_whole(&users, "layout_frm_UserMng_list_" + tag);
      users.cmd_Neu_Click();
      expect_whole(&users, "layout_frm_UserMng_setup_" + tag);
      users.cmd_Delete_Click();
      expect_whole(&users, "layout_frm_UserMng_delete_" + tag);
    }
    expect_whole_dialog<fAbout>("fAbout", config);
    expect_whole_dialog<frm_bacConfig>("frm_bacConfig", config);
    expect_whole_dialog<frm_modbConfig>("frm_modbConfig", config);
    expect_whole_dialog<frm_scan>("frm_scan", config);
    {
      QVERIFY(fx.write(global::ScanResultPath(), "Device ID; Device Name; SoftwareVersion\n"
                                                 "4194302;Besprechungsraum 3. Obergeschoss Nord;ZOR17 2.3.17\n"
                                                 "410001;Raum 1;2.3\n"));
      frm_deviceList list(config);
      list.show();
      expect_whole(&list, "layout_frm_deviceList_" + tag);
      // Every column as wide as its entries, all of them in view.
      QTreeWidget* view = list.ListView1;
      QVERIFY(view->header()->length() <= view->viewport()->width());
      for (int c = 0; c < view->columnCount(); ++c) {
        QVERIFY(view->columnWidth(c) >= view->header()->sectionSizeHint(c));
        for (int r = 0; r < view->topLevelItemCount(); ++r)
          QVERIFY(view->columnWidth(c) > view->fontMetrics().horizontalAdvance(view->topLevelItem(r)->text(c)));
      }
    }
    {
      global::SequenceStep = 2;
      frmState* state = frmState::Instance();
      state->ShowMsg();
      state->show();
      expect_whole(state, "layout_frmState_" + tag);
      use_language(english);
      state->AnnounceProgramEnd();
      expect_whole(state, "layout_frmState_ending_" + tag);
      state->Abbruch_Click();
    }
    expect_whole_dialog<frm_waitRead>("frm_waitRead");
    {
      // The notice of an end that waits for a write (the start form read the language anew).
      use_language(english);
      frm_waitRead wait;
      wait.show();
      wait.AnnounceProgramEnd();
      expect_whole(&wait, "layout_frm_waitRead_ending_" + tag);
    }
  }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
