// The edit dialogs, the about box and the standard boxes, driven with keys and clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>

#include "app/error_box.h"
#include "app/main_form.h"
#include "modal_driver.h"
#include "ui/dialogs/widget_dialogs.h"

namespace dova::ui {
namespace {

using testing::CloseByCloseBox;
using testing::ModalWatchdog;
using testing::WhenModal;

QPushButton* ButtonNamed(QWidget* w, const QString& text) {
  for (QPushButton* b : w->findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

// The ways a user ends a dialog, and whether each counts as OK.
struct Ending {
  const char* name;
  std::function<void(QDialog*, QLineEdit*)> end;
  bool ok;
};
const std::vector<Ending>& Endings() {
  static const std::vector<Ending> endings = {
      {"Enter", [](QDialog*, QLineEdit* edit) { QTest::keyClick(edit, Qt::Key_Return); }, true},
      {"OK button",
       [](QDialog* d, QLineEdit*) { QTest::mouseClick(ButtonNamed(d, "OK"), Qt::LeftButton); },
       true},
      {"Esc", [](QDialog*, QLineEdit* edit) { QTest::keyClick(edit, Qt::Key_Escape); }, false},
      {"close box", [](QDialog* d, QLineEdit*) { CloseByCloseBox(d); }, false},
  };
  return endings;
}

struct DialogsTest : ::testing::Test {
  ModalWatchdog watchdog;
  TWidgetDialogs dialogs;
  void TearDown() override { EXPECT_FALSE(watchdog.Fired()) << "a modal window was left open"; }
};

TEST_F(DialogsTest, IntervalAndNameDialogsShowTheirValueAndAnswerOkOnlyForOk) {
  struct Dialog {
    const char* name;
    QDialog* dialog;
    QLineEdit* edit;
    std::function<std::optional<QString>()> execute;
    QString shown;
  };
  const std::vector<Dialog> cases = {
      {"interval", dialogs.LogIntervalDlg.get(), dialogs.LogIntervalDlg->Interval,
       [&] { return dialogs.LogIntervalDlg->Execute(5); }, "5"},
      {"name", dialogs.EditNameDlg.get(), dialogs.EditNameDlg->Name,
       [&] { return dialogs.EditNameDlg->Execute("Bench 4"); }, "Bench 4"},
  };
  for (const Dialog& d : cases) {
    for (const Ending& e : Endings()) {
      SCOPED_TRACE(std::string(d.name) + " / " + e.name);
      QString seen;
      bool modal = false;
      WhenModal([&](QWidget* w) {
        modal = w == d.dialog;
        seen = d.edit->text();
        // The old value is selected: typing replaces it.
        QTest::keyClicks(d.edit, "8x");
        e.end(d.dialog, d.edit);
      });
      const std::optional<QString> result = d.execute();
      EXPECT_TRUE(modal);
      EXPECT_EQ(seen, d.shown);
      EXPECT_EQ(result.has_value(), e.ok);
      if (e.ok) {
        EXPECT_EQ(*result, "8x");
      }
      EXPECT_FALSE(d.dialog->isVisible());
    }
  }
}

TEST_F(DialogsTest, DialogsHaveTheirCaptionsSizesAndTabOrder) {
  struct Case {
    QDialog* dialog;
    const char* caption;
    QSize client;
    std::vector<QWidget*> tab_order;
  };
  TLogIntervalDlg& li = *dialogs.LogIntervalDlg;
  TEditNameDlg& en = *dialogs.EditNameDlg;
  TNewNameDlg& nn = *dialogs.NewNameDlg;
  TFoldersDlg& fd = *dialogs.FoldersDlg;
  TAboutBox& ab = *dialogs.AboutBox;
  TVCPtoUSBXConvDlg& cv = *dialogs.VCPtoUSBXConv;
  const std::vector<Case> cases = {
      {&li, "Set Logging Interval", {351, 106}, {li.Interval, li.OKBtn, li.CancelBtn}},
      {&en, "Edit DOVA Name", {416, 106}, {en.Name, en.OKBtn, en.CancelBtn}},
      {&nn, "Enter New Folder Name", {239, 80}, {nn.FolderName, nn.OKBtn, nn.CancelBtn}},
      {&fd, "Select Folder", {485, 341}, {fd.OKBtn, fd.CancelBtn, fd.NewFolder, fd.Folders}},
      {&ab, "About DOVA-300 Logger", {570, 415}, {ab.Memo1, ab.OKButton}},
      {&cv, "DOVA-300 VCP to USBXpress Converter", {493, 136}, {cv.OKButton}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    EXPECT_EQ(c.dialog->windowTitle(), c.caption);
    EXPECT_EQ(c.dialog->size(), c.client);
    EXPECT_EQ(c.dialog->minimumSize(), c.client) << "fixed border";
    EXPECT_EQ(c.dialog->maximumSize(), c.client) << "fixed border";
    const Qt::WindowFlags flags = c.dialog->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(c.dialog->font().pixelSize(), 11);
    // Tab goes through the controls in their order.
    QWidget* w = c.tab_order.front();
    for (std::size_t i = 1; i < c.tab_order.size(); ++i) {
      do {
        w = w->nextInFocusChain();
      } while (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled());
      EXPECT_EQ(w, c.tab_order[i]) << "tab stop " << i;
    }
    // OK is the default button.
    auto* ok = ButtonNamed(c.dialog, "OK");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
  }
  EXPECT_EQ(fd.Folder->focusPolicy(), Qt::NoFocus) << "the Folder field is no tab stop";
  EXPECT_TRUE(fd.Folder->isReadOnly());
  EXPECT_EQ(li.Label1->text(), "Enter new logging interval (1 to 10 minutes):");
  EXPECT_EQ(en.Label1->text(), "Enter new name for selected DOVA:");
}

TEST_F(DialogsTest, LabelsStandRightAlignedBeforeTheirEditsAndAreNotCut) {
  // What the user sees: the whole label, its last letter close before the edit.
  for (TBevelEditDlg* d : {static_cast<TBevelEditDlg*>(dialogs.LogIntervalDlg.get()),
                           static_cast<TBevelEditDlg*>(dialogs.EditNameDlg.get())}) {
    SCOPED_TRACE(d->windowTitle().toStdString());
    QLineEdit* edit = d->findChild<QLineEdit*>();
    const QFontMetrics metrics(d->Label1->font());
    EXPECT_LE(metrics.horizontalAdvance(d->Label1->text()), d->Label1->width());
    const QImage image = d->grab().toImage();
    const auto [left, right] =
        testing::InkColumns(image.copy(0, 0, edit->x() - 1, image.height()), d->Label1->y() + 2,
                            d->Label1->y() + d->Label1->height() - 2);
    EXPECT_GT(left, d->Bevel1->x());
    EXPECT_GE(right, edit->x() - 12);
    EXPECT_LT(right, edit->x());
  }
}

// Tab through the controls, then Enter: the focused button is pressed; from the edit,
// OK is.
TEST_F(DialogsTest, EnterPressesTheFocusedButtonAndOkFromTheEdit) {
  struct Dialog {
    const char* name;
    QDialog* dialog;
    std::function<bool()> execute;  // true for OK
  };
  const std::vector<Dialog> dialog_cases = {
      {"interval", dialogs.LogIntervalDlg.get(),
       [&] { return dialogs.LogIntervalDlg->Execute(5).has_value(); }},
      {"name", dialogs.EditNameDlg.get(),
       [&] { return dialogs.EditNameDlg->Execute("Bench 4").has_value(); }},
      {"new folder name", dialogs.NewNameDlg.get(),
       [&] { return dialogs.NewNameDlg->ShowModal(); }},
  };
  struct Keys {
    int tabs;  // from the edit: 1 reaches OK, 2 Cancel, 3 the edit again
    const char* focused;
    bool ok;
  };
  const Keys key_cases[] = {
      {0, "edit", true}, {1, "OK", true}, {2, "Cancel", false}, {3, "edit", true}};
  for (const Dialog& d : dialog_cases) {
    for (const Keys& k : key_cases) {
      SCOPED_TRACE(std::string(d.name) + " / " + k.focused + " after " + std::to_string(k.tabs));
      QString focused;
      bool ok_default = false;
      WhenModal([&](QWidget*) {
        testing::ActivateModal();
        for (int i = 0; i < k.tabs; ++i)
          testing::PressKey(Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        auto* button = qobject_cast<QPushButton*>(focus);
        focused = button ? button->text() : qobject_cast<QLineEdit*>(focus) ? "edit" : "?";
        ok_default = ButtonNamed(d.dialog, "OK")->isDefault() == (focused != "Cancel");
        testing::PressKey(Qt::Key_Return);
      });
      EXPECT_EQ(d.execute(), k.ok);
      EXPECT_EQ(focused, k.focused);
      EXPECT_TRUE(ok_default) << "OK is the default button unless another has the focus";
      EXPECT_FALSE(d.dialog->isVisible());
    }
  }
}

TEST_F(DialogsTest, NameFieldStopsAt127Characters) {
  TEditNameDlg& dlg = *dialogs.EditNameDlg;
  QString typed;
  WhenModal([&](QWidget*) {
    QTest::keyClicks(dlg.Name, QString(130, u'n'));
    typed = dlg.Name->text();
    QTest::keyClick(dlg.Name, Qt::Key_Return);
  });
  const auto result = dlg.Execute("");
  EXPECT_EQ(typed.size(), 127);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->size(), 127);
}

TEST_F(DialogsTest, NewNameDialogKeepsTheLastNameAndCancelKeepsItToo) {
  TNewNameDlg& dlg = *dialogs.NewNameDlg;
  WhenModal([&](QWidget*) {
    QTest::keyClicks(dlg.FolderName, "Run 1");
    QTest::keyClick(dlg.FolderName, Qt::Key_Return);
  });
  EXPECT_TRUE(dlg.ShowModal());
  EXPECT_EQ(dlg.FolderName->text(), "Run 1");
  QString offered;
  WhenModal([&](QWidget* w) {
    offered = dlg.FolderName->text();
    CloseByCloseBox(w);
  });
  EXPECT_FALSE(dlg.ShowModal());
  EXPECT_EQ(offered, "Run 1");
  EXPECT_EQ(dlg.FolderName->text(), "Run 1");
}

TEST_F(DialogsTest, AboutBoxHoldsItsLinesExactly) {
  TAboutBox& about = *dialogs.AboutBox;
  const QStringList lines = TAboutBox::MemoLines();
  ASSERT_EQ(lines.size(), 23);
  EXPECT_EQ(lines[0], QString(51, u' ') + "Hints and Tips");
  EXPECT_EQ(lines[1], QString(50, u' ') + QString(13, QChar(0x00AF)));
  EXPECT_EQ(lines[2], QString::fromUtf8(" \u2022  This program automatically scans the (USB) COM "
                                        "ports for connected DOVAs."));
  EXPECT_EQ(lines[3], QString::fromUtf8(" \u2022  DOVAs may be connected and disconnected at any "
                                        "time when using Windows XP "));
  EXPECT_EQ(lines[6], QString::fromUtf8(" \u2022  Logging to disk is always active. Use "
                                        "File\u2192Select Data File Folder to see "));
  EXPECT_EQ(lines[13], "");
  EXPECT_EQ(lines[14], " For details instructions, refer the the Software Users Manual.");
  for (int i = 15; i < 23; ++i)
    EXPECT_EQ(lines[i], "") << i;
  // The memo shows those lines, one paragraph each.
  const QTextDocument* doc = about.Memo1->document();
  ASSERT_EQ(doc->blockCount(), 23);
  for (int i = 0; i < 23; ++i)
    EXPECT_EQ(doc->findBlockByNumber(i).text(), lines[i]) << i;
  // Each line shows on one row of the memo, as it was broken.
  const QFontMetrics metrics(about.Memo1->font());
  const int room = about.Memo1->width() - 2 * about.Memo1->frameWidth() -
                   2 * static_cast<int>(doc->documentMargin()) - 4;
  for (const QString& line : lines)
    EXPECT_LE(metrics.horizontalAdvance(line), room) << line.toStdString();
  EXPECT_TRUE(about.Memo1->isReadOnly());
  EXPECT_EQ(about.Memo1->size(), QSize(503, 257));
  EXPECT_EQ(about.Memo1->font().pixelSize(), 13);
  EXPECT_EQ(about.ProductName->text(), "DOVA-300 Benchtop Incubator Logger");
  EXPECT_EQ(about.ProductName->font().pixelSize(), 20);
  EXPECT_EQ(about.ProductShadow->x(), about.ProductName->x() - 1);
  EXPECT_EQ(about.Version->text(), "Version 1.22");
  EXPECT_TRUE(about.Version->font().bold());
  EXPECT_EQ(about.OKButton->size(), QSize(80, 23));
  EXPECT_EQ(about.OKButton->geometry().center().x(), 570 / 2 - 1);
  EXPECT_EQ(about.ProgramIcon->size(), QSize(113, 74));
  EXPECT_EQ(about.ProgramIcon->pixmap().size(), QSize(105, 69));

  // Enter, Esc and the close box all close it.
  for (auto end : std::vector<std::function<void(QWidget*)>>{
           [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); },
           [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }, CloseByCloseBox}) {
    bool shown = false;
    WhenModal([&](QWidget* w) {
      shown = w == &about;
      end(w);
    });
    about.ShowModal();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(about.isVisible());
  }
}

// ---------------------------------------------------------------- standard boxes

struct Box {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString default_button;
};

Box Read(QWidget* w) {
  Box box;
  auto* mb = qobject_cast<QMessageBox*>(w);
  if (!mb) return box;
  box.caption = mb->windowTitle();
  box.text = mb->text();
  box.icon = mb->icon();
  for (QAbstractButton* b : mb->buttons())
    box.buttons << b->text().remove(u'&');
  box.buttons.sort();
  if (mb->defaultButton()) box.default_button = mb->defaultButton()->text().remove(u'&');
  return box;
}

TEST_F(DialogsTest, ConfirmAsksYesOrNoWithNoTheDefault) {
  IConfirmBoxes& boxes = dialogs.Dialogs().Boxes;
  struct Case {
    const char* name;
    std::function<void(QMessageBox*)> answer;
    bool yes;
  };
  const std::vector<Case> cases = {
      {"Enter", [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); }, false},
      {"Esc", [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, false},
      {"close box", [](QMessageBox* b) { CloseByCloseBox(b); }, false},
      {"No", [](QMessageBox* b) { b->button(QMessageBox::No)->click(); }, false},
      {"Yes", [](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Box seen;
    WhenModal([&](QWidget* w) {
      seen = Read(w);
      c.answer(qobject_cast<QMessageBox*>(w));
    });
    EXPECT_EQ(boxes.Confirm("Delete all logged data for A: 1?"), c.yes);
    EXPECT_EQ(seen.text, "Delete all logged data for A: 1?");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, (QStringList{"No", "Yes"}));
    EXPECT_EQ(seen.default_button, "No");
  }
}

TEST_F(DialogsTest, ErrorWarningAndStandardErrorBoxesHaveOneOkButton) {
  struct Case {
    std::function<void()> show;
    QString caption, text;
    QMessageBox::Icon icon;
  };
  const QString invalid = QString::fromUtf8(kInvalidNameText);
  const std::vector<Case> cases = {
      {[&] { dialogs.Dialogs().Boxes.ShowError(invalid); }, "Error", invalid,
       QMessageBox::Critical},
      {[&] { dialogs.MessageBoxes().ShowWarning("File: /d/A.csv exceeds 10MB."); }, "Warning",
       "File: /d/A.csv exceeds 10MB.", QMessageBox::Warning},
      // The standard error box: the program's title, and a full stop after a last character
      // that sorts after "." (not after an apostrophe).
      {[&] { dialogs.ErrorBox().ReportError("''abc'' is not a valid integer value"); },
       ProgramTitle(), "''abc'' is not a valid integer value.", QMessageBox::Critical},
      {[&] { dialogs.ErrorBox().ReportError("Failed to set data for 'Directory'"); },
       ProgramTitle(), "Failed to set data for 'Directory'", QMessageBox::Critical},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    Box seen;
    WhenModal([&](QWidget* w) {
      seen = Read(w);
      QTest::keyClick(w, Qt::Key_Return);
    });
    c.show();
    EXPECT_EQ(seen.caption, c.caption);
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

}  // namespace
}  // namespace dova::ui
