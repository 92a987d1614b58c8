// The menu commands end to end: the main window's logic over simulated incubators, with
// the dialogs and boxes on screen answered by keys and clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/main_form_fixture.h"
#include "modal_driver.h"
#include "ui/dialogs/widget_dialogs.h"

namespace dova::ui {
namespace {

using testing::ModalScript;
using testing::ModalWatchdog;
using testing::WhenModal;

struct MenuCommandsTest : ::testing::Test, dova::testing::MainFormFixture {
  ModalWatchdog watchdog;
  TWidgetDialogs widgets{&errors};
  QString cwd = QDir::currentPath();

  MenuCommandsTest() {
    form = std::make_unique<TMainForm>(
        TMainFormServices{sched, fleet.Library(), store, awake, widgets.MessageBoxes(), format,
                          widgets.Dialogs(), dir.path() + "/Documents"});
  }
  ~MenuCommandsTest() override {
    form.reset();
    QDir::setCurrent(cwd);
  }
  void TearDown() override { EXPECT_FALSE(watchdog.Fired()) << "a modal window was left open"; }

  // A menu command whose error leaves it, as the window's handler would report it.
  void Run(void (TMainForm::*command)()) {
    try {
      (form.get()->*command)();
    } catch (...) {
      sched.ReportException(std::current_exception());
    }
  }
  static QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
};

TEST_F(MenuCommandsTest, ANewDataFolderMovesBothIncubatorsLogs) {
  Plug("A");
  Plug("B");
  const QString old_a = Listed("A")->LogFilePath();
  const QString old_b = Listed("B")->LogFilePath();
  const QString moved = dir.path() + "/moved";
  QDir().mkdir(moved);
  TFoldersDlg& dlg = *widgets.FoldersDlg;
  QString shown;
  WhenModal([&](QWidget* w) {
    shown = dlg.Folder->text();
    dlg.RevealFolder(moved);
    QTest::mouseClick(dlg.Folders->viewport(), Qt::LeftButton, {},
                      dlg.Folders->visualRect(dlg.IndexOf(moved)).center());
    QTest::keyClick(w, Qt::Key_Return);
  });
  Run(&TMainForm::DataDirClick);
  EXPECT_EQ(shown, dir.path() + "/data");
  EXPECT_EQ(form->Directory, moved);
  EXPECT_EQ(store.values["Directory"].toString(), moved);
  for (const QString& old : {old_a, old_b}) {
    const QStringList lines = LogLines(old);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_FALSE(lines.last().endsWith("Disconnected")) << "the old file just ends";
  }
  ASSERT_EQ(form->ActivePanels.size(), 2u);
  for (const TDovaPanel* p : form->ActivePanels) {
    EXPECT_EQ(QFileInfo(p->LogFilePath()).absolutePath(), moved);
    const QStringList lines = LogLines(p->LogFilePath());
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().endsWith(", Connected")) << lines.first().toStdString();
  }
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MenuCommandsTest, ClearLoggedDataNoKeepsTheFileYesEmptiesIt) {
  Plug("A");
  const QString log = Listed("A")->LogFilePath();
  const QByteArray before = Bytes(log);
  ASSERT_FALSE(before.isEmpty());
  QString asked;
  WhenModal([&](QWidget* w) {
    asked = qobject_cast<QMessageBox*>(w)->text();
    QTest::keyClick(w, Qt::Key_Return);  // No is the default
  });
  Run(&TMainForm::ClearDOVAData1Click);
  EXPECT_EQ(asked, "Delete all logged data for A: 1?");
  EXPECT_EQ(Bytes(log), before);

  WhenModal([&](QWidget* w) {
    QTest::mouseClick(qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes), Qt::LeftButton);
  });
  Run(&TMainForm::ClearDOVAData1Click);
  EXPECT_TRUE(QFileInfo::exists(log));
  EXPECT_EQ(QFileInfo(log).size(), 0);
  // The next periodic record starts the file again.
  sched.AdvanceBy(5 * 60 * 1000 + 2000);
  EXPECT_GT(QFileInfo(log).size(), 0);
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MenuCommandsTest, RenameAsksAgainAfterAForbiddenNameThenMovesTheTile) {
  Plug("A");
  Plug("B");
  Listed("A")->CaptionClick();
  TDovaPanel* renamed = Listed("A");
  EXPECT_TRUE(renamed->LeftTempGraph->Caption().endsWith(" - Left Temperature"));
  TEditNameDlg& dlg = *widgets.EditNameDlg;
  QStringList shown;
  QString error_text;
  QMessageBox::Icon error_icon = QMessageBox::NoIcon;
  ModalScript user({
      [&](QWidget*) {
        shown << dlg.Name->text();
        QTest::keyClicks(dlg.Name, "Z|1");
        QTest::keyClick(dlg.Name, Qt::Key_Return);
      },
      [&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        error_text = box->text();
        error_icon = box->icon();
        QTest::keyClick(w, Qt::Key_Return);
      },
      [&](QWidget*) {
        shown << dlg.Name->text();
        QTest::keyClicks(dlg.Name, "Z");
        QTest::keyClick(dlg.Name, Qt::Key_Return);
      },
  });
  Run(&TMainForm::Name1Click);
  EXPECT_EQ(user.Done(), 3u);
  EXPECT_EQ(shown, (QStringList{"A", "Z|1"})) << "the rejected text comes back";
  EXPECT_EQ(error_text, QString::fromUtf8(kInvalidNameText));
  EXPECT_EQ(error_icon, QMessageBox::Critical);
  EXPECT_EQ(Nicks(), (std::vector<QString>{"B", "Z"}));
  EXPECT_EQ(form->SelectedPanel, renamed);
  EXPECT_TRUE(renamed->LeftTempGraph->Caption().endsWith(": 1 - Left Temperatures"));
  EXPECT_TRUE(renamed->RightTempGraph->Caption().endsWith(": 1 - Right Temperatures"));
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MenuCommandsTest, TheIntervalDialogShowsTheOldValueAfterARefusedOne) {
  Plug("A");
  TLogIntervalDlg& dlg = *widgets.LogIntervalDlg;
  const std::vector<QString> refused = {"0", "11", "-1", "abc"};
  for (const QString& typed : refused) {
    SCOPED_TRACE(typed.toStdString());
    QString shown;
    WhenModal([&](QWidget*) {
      shown = dlg.Interval->text();
      QTest::keyClicks(dlg.Interval, typed);
      QTest::keyClick(dlg.Interval, Qt::Key_Return);
    });
    Run(&TMainForm::LoggingIntervalClick);
    EXPECT_EQ(shown, "5");
    EXPECT_EQ(form->LogInterval, 5);
    EXPECT_EQ(Listed("A")->LogInterval, 5);
  }
  // Only the text that is no number is reported.
  EXPECT_EQ(errors.messages, std::vector<std::string>{"''abc'' is not a valid integer value"});

  QString shown;
  WhenModal([&](QWidget*) {
    shown = dlg.Interval->text();
    QTest::keyClicks(dlg.Interval, "10");
    QTest::keyClick(dlg.Interval, Qt::Key_Return);
  });
  Run(&TMainForm::LoggingIntervalClick);
  EXPECT_EQ(shown, "5");
  EXPECT_EQ(form->LogInterval, 10);
  EXPECT_EQ(Listed("A")->LogInterval, 10);
  EXPECT_EQ(store.values["LogInterval"].toInt(), 10);
}

TEST_F(MenuCommandsTest, AboutShowsTheAboutBoxModally) {
  bool shown = false;
  WhenModal([&](QWidget* w) {
    shown = w == widgets.AboutBox.get();
    QTest::mouseClick(widgets.AboutBox->OKButton, Qt::LeftButton);
  });
  Run(&TMainForm::HelpAbout1Execute);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(widgets.AboutBox->isVisible());
}

}  // namespace
}  // namespace dova::ui
