// The folder dialog: its tree, clicks, the working folder and New Folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/folder_logic.h"
#include "modal_driver.h"
#include "platform/error_reporter.h"
#include "ui/dialogs/widget_dialogs.h"

namespace dova::ui {
namespace {

using testing::CloseByCloseBox;
using testing::ModalWatchdog;
using testing::WhenModal;

TEST(FolderLogicTest, NewFolderPathsAndNames) {
  EXPECT_EQ(NewFolderPath("/home/ann", "Run 1"), "/home/ann/Run 1");
  EXPECT_EQ(NewFolderPath("/", "data"), "/data");
  EXPECT_EQ(NewFolderPath("", "data"), "/data") << "nothing selected: under the root";
  for (const char* bad : {"", ".", "..", "a/b", "/x"})
    EXPECT_FALSE(IsNewFolderName(QString::fromUtf8(bad))) << bad;
  for (const char* good : {"Run 1", " lead", "a:b", "...", "\xC3\xA9t\xC3\xA9"})
    EXPECT_TRUE(IsNewFolderName(QString::fromUtf8(good))) << good;
  EXPECT_FALSE(IsNewFolderName(QString(QChar(u'\0'))));
}

TEST(FolderLogicTest, FolderUrlsKeepEveryCharacterOfThePath) {
  for (const char* path : {"/home/ann/Run 1", "/data/Run #2", "/data/50%", "/data/a?b", "/"}) {
    const QUrl url = FolderUrl(QString::fromUtf8(path));
    EXPECT_TRUE(url.isLocalFile()) << path;
    EXPECT_EQ(url.toLocalFile(), QString::fromUtf8(path));
    EXPECT_TRUE(url.fragment().isEmpty() && url.query().isEmpty()) << path;
  }
}

struct FoldersDlgTest : ::testing::Test {
  ModalWatchdog watchdog;
  RecordingErrorReporter errors;
  TWidgetDialogs dialogs{&errors};
  TFoldersDlg& dlg = *dialogs.FoldersDlg;
  QTemporaryDir tmp;
  QString cwd = QDir::currentPath();

  FoldersDlgTest() {
    QDir(tmp.path()).mkpath("alpha/inner");
    QDir(tmp.path()).mkpath("beta");
    QFile file(tmp.path() + "/notes.txt");
    file.open(QIODevice::WriteOnly);
  }
  ~FoldersDlgTest() override { QDir::setCurrent(cwd); }
  void TearDown() override { EXPECT_FALSE(watchdog.Fired()) << "a modal window was left open"; }

  // Brings a folder into view (its parent listed) and returns where it stands.
  QRect Row(const QString& path) {
    const QModelIndex index = dlg.IndexOf(path);
    dlg.RevealFolder(path);
    return dlg.Folders->visualRect(index);
  }
  void Click(const QString& path, Qt::MouseButton button = Qt::LeftButton) {
    const QRect row = Row(path);
    EXPECT_FALSE(row.isEmpty()) << path.toStdString();
    QTest::mouseClick(dlg.Folders->viewport(), button, {}, row.center());
  }
  // Waits until the model has listed every folder in a folder. It reads folders on its own
  // thread and may hand them over in parts, so a first row is not yet the whole list.
  void WaitListed(const QString& path) {
    const QModelIndex index = dlg.IndexOf(path);
    if (dlg.Model->canFetchMore(index)) dlg.Model->fetchMore(index);
    const qsizetype folders = QDir(path).entryList(QDir::AllDirs | QDir::NoDotAndDotDot).size();
    ASSERT_GT(folders, 0) << path.toStdString();
    QTRY_VERIFY_WITH_TIMEOUT(
        !dlg.Model->canFetchMore(index) && dlg.Model->rowCount(index) == folders, 60000);
  }
  // A right click on a folder, as the mouse gives it: the press, then the menu request.
  void RightClick(const QString& path) {
    Click(path, Qt::RightButton);
    RightClickAt(Row(path).center());
  }
  void RightClickAt(const QPoint& at) {
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, dlg.Folders->viewport()->mapToGlobal(at));
    QApplication::sendEvent(dlg.Folders->viewport(), &menu);
  }
  QStringList Children(const QString& path) {
    const QModelIndex index = dlg.IndexOf(path);
    QStringList names;
    for (int r = 0; r < dlg.Model->rowCount(index); ++r)
      names << dlg.Model->index(r, 0, index).data().toString();
    names.sort();
    return names;
  }
};

TEST_F(FoldersDlgTest, TheTreeShowsFoldersFromTheRootWithTheHomeFolderOpen) {
  EXPECT_EQ(dlg.Folders->indentation(), 19);
  EXPECT_FALSE(dlg.Folders->rootIsDecorated());
  EXPECT_TRUE(dlg.Folders->isHeaderHidden());
  const QModelIndex root = dlg.Model->index(0, 0, QModelIndex());
  EXPECT_EQ(dlg.Model->filePath(root), "/");
  EXPECT_TRUE(dlg.Folders->isExpanded(root));

  WaitListed(tmp.path());
  EXPECT_EQ(Children(tmp.path()), (QStringList{"alpha", "beta"})) << "folders only";
  EXPECT_FALSE(dlg.Model->fileIcon(dlg.IndexOf(tmp.path() + "/alpha")).isNull());

  // The first use opens the home folder; the dialog is not moved to the folder it shows.
  WhenModal([&](QWidget* w) { CloseByCloseBox(w); });
  dlg.Execute(tmp.path());
  EXPECT_TRUE(dlg.Folders->isExpanded(dlg.IndexOf(QDir::homePath())));
  EXPECT_FALSE(dlg.Folders->isExpanded(dlg.IndexOf(tmp.path())));
}

TEST_F(FoldersDlgTest, TheFolderFieldShowsTheGivenFolderUntilAClickAndOkReturnsIt) {
  const QString alpha = tmp.path() + "/alpha";
  const QString beta = tmp.path() + "/beta";
  struct Step {
    const char* name;
    std::function<void(QWidget*)> act;
    std::optional<QString> result;
    QString cwd;
  };
  const std::vector<Step> steps = {
      // A click on the background with nothing selected keeps the folder shown.
      {"background click, then OK",
       [&](QWidget* w) {
         QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(250, 303));
         EXPECT_EQ(dlg.Folder->text(), beta);
         QTest::keyClick(w, Qt::Key_Return);
       },
       beta, cwd},
      {"click then Enter",
       [&](QWidget* w) {
         Click(alpha);
         QTest::keyClick(w, Qt::Key_Return);
       },
       alpha, alpha},
      // The tree keeps its selection; a right click selects without choosing.
      {"right click then Esc",
       [&](QWidget* w) {
         Click(beta, Qt::RightButton);
         EXPECT_EQ(dlg.SelectedPath(), beta);
         EXPECT_EQ(dlg.Folder->text(), tmp.path());
         QTest::keyClick(w, Qt::Key_Escape);
       },
       std::nullopt, alpha},
      // A click on the dialog's own background chooses the selected folder too.
      {"background click",
       [&](QWidget* w) {
         Click(beta, Qt::RightButton);
         QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(250, 303));
         EXPECT_EQ(dlg.Folder->text(), beta);
         QTest::keyClick(w, Qt::Key_Return);
       },
       beta, beta},
      {"click then close box",
       [&](QWidget* w) {
         Click(beta);
         EXPECT_EQ(dlg.Folder->text(), beta);
         CloseByCloseBox(w);
       },
       std::nullopt, beta},
  };
  QString opened_with = beta;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    QString shown;
    WhenModal([&](QWidget* w) {
      shown = dlg.Folder->text();
      s.act(w);
    });
    EXPECT_EQ(dlg.Execute(opened_with), s.result);
    EXPECT_EQ(shown, opened_with);
    EXPECT_EQ(QDir::currentPath(), s.cwd);
    opened_with = tmp.path();
  }
  EXPECT_TRUE(errors.messages.empty());
}

// Enter on a focused Cancel must not choose the folder (and so move every log there); on a
// focused New Folder it asks for a name; from the tree it is OK.
TEST_F(FoldersDlgTest, EnterPressesTheFocusedButtonAndOkFromTheTree) {
  const QString alpha = tmp.path() + "/alpha";
  using testing::PressKey;
  auto focused = [] {
    auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
    return button ? button->text() : QString();
  };
  // OK has the focus when the dialog opens; Tab goes to Cancel.
  QString on_enter;
  WhenModal([&](QWidget*) {
    PressKey(Qt::Key_Tab);
    on_enter = focused();
    PressKey(Qt::Key_Return);
  });
  EXPECT_EQ(dlg.Execute(alpha), std::nullopt);
  EXPECT_EQ(on_enter, "Cancel");
  EXPECT_EQ(QDir::currentPath(), cwd);

  // Two tabs reach New Folder: Enter asks for a name, whose own Cancel (Tab, Tab, Enter)
  // makes nothing. One more Tab reaches the tree, where Enter is OK.
  QWidget* asked = nullptr;
  QString in_tree;
  bool ok_default = false;
  WhenModal([&](QWidget*) {
    PressKey(Qt::Key_Tab);
    PressKey(Qt::Key_Tab);
    on_enter = focused();
    WhenModal([&](QWidget* name) {
      asked = name;
      QTest::keyClicks(dialogs.NewNameDlg->FolderName, "Keyed");
      PressKey(Qt::Key_Tab);
      PressKey(Qt::Key_Tab);
      EXPECT_EQ(focused(), "Cancel");
      PressKey(Qt::Key_Return);
    });
    PressKey(Qt::Key_Return);
    PressKey(Qt::Key_Tab);
    in_tree = QApplication::focusWidget() == dlg.Folders ? "tree" : focused();
    ok_default = dlg.OKBtn->isDefault();
    PressKey(Qt::Key_Return);
  });
  EXPECT_EQ(dlg.Execute(alpha), alpha);
  EXPECT_EQ(on_enter, "New Folder");
  EXPECT_EQ(asked, dialogs.NewNameDlg.get());
  EXPECT_EQ(in_tree, "tree");
  EXPECT_TRUE(ok_default) << "OK is the default button again";
  EXPECT_FALSE(QFileInfo::exists(alpha + "/Keyed"));
  EXPECT_FALSE(QFileInfo::exists("/Keyed"));
  EXPECT_TRUE(errors.messages.empty());
}

// The user in front of a menu that pops up: `act` is handed the menu once it is open. A
// menu that should not have opened is closed and counted.
struct MenuUser {
  QStringList seen;  // the actions of each menu that opened
  explicit MenuUser(std::function<void(QMenu*)> act) : act_(std::move(act)) {
    QTimer::singleShot(0, [this] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* a : menu->actions())
        seen << a->text();
      if (act_)
        act_(menu);
      else
        menu->close();
    });
  }
  std::function<void(QMenu*)> act_;
};

// Chooses an action of an open menu with the keyboard.
void Choose(QMenu* menu, QAction* action) {
  menu->setActiveAction(action);
  QTest::keyClick(menu, Qt::Key_Return);
}

TEST_F(FoldersDlgTest, ARightClickOpensTheFoldersMenu) {
  const QString alpha = tmp.path() + "/alpha";
  const QString beta = tmp.path() + "/beta";
  WaitListed(alpha);
  std::vector<QUrl> opened;
  bool opens = true;
  dlg.SetUrlOpener([&](const QUrl& url) {
    opened.push_back(url);
    return opens;
  });
  QStringList on_alpha, on_background;
  QString selected_in_menu;
  WhenModal([&](QWidget* w) {
    // New Folder from alpha's menu makes the folder under alpha.
    {
      MenuUser user([&](QMenu* menu) {
        selected_in_menu = dlg.SelectedPath();
        WhenModal([&](QWidget* name) {
          EXPECT_EQ(name, dialogs.NewNameDlg.get());
          dialogs.NewNameDlg->FolderName->setText("From Menu");
          QTest::keyClick(dialogs.NewNameDlg->FolderName, Qt::Key_Return);
        });
        Choose(menu, dlg.NewFolderAction);
      });
      RightClick(alpha);
      on_alpha = user.seen;
    }
    // Open in File Manager hands beta's address to the opener, which may fail.
    for (const bool ok : {true, false}) {
      opens = ok;
      MenuUser user([&](QMenu* menu) { Choose(menu, dlg.OpenInFileManagerAction); });
      RightClick(beta);
    }
    // Off the folders (below the last one), no menu.
    {
      dlg.Folders->collapseAll();
      MenuUser user(nullptr);
      RightClickAt(
          QPoint(dlg.Folders->viewport()->width() - 2, dlg.Folders->viewport()->height() - 2));
      on_background = user.seen;
    }
    QTest::keyClick(w, Qt::Key_Escape);
  });
  EXPECT_EQ(dlg.Execute(tmp.path()), std::nullopt);
  EXPECT_EQ(on_alpha, (QStringList{"New Folder", "Open in File Manager"}));
  EXPECT_EQ(selected_in_menu, alpha) << "the right-clicked folder is the one acted on";
  EXPECT_TRUE(QFileInfo(alpha + "/From Menu").isDir());
  EXPECT_EQ(opened, (std::vector<QUrl>{FolderUrl(beta), FolderUrl(beta)}));
  ASSERT_EQ(errors.messages.size(), 1u) << "the failed opening is reported";
  EXPECT_NE(errors.messages[0].find(beta.toStdString()), std::string::npos);
  EXPECT_TRUE(on_background.isEmpty());
}

TEST_F(FoldersDlgTest, AFolderThatCannotBeEnteredIsReportedAndKeptInTheField) {
  const QString gone = tmp.path() + "/beta";
  WaitListed(tmp.path());
  dlg.IndexOf(gone);
  QDir(gone).removeRecursively();  // the tree is not refreshed: the folder still shows
  std::optional<QString> result;
  WhenModal([&](QWidget* w) {
    Click(gone);
    EXPECT_TRUE(w->isVisible()) << "the dialog stays open";
    QTest::keyClick(w, Qt::Key_Return);
  });
  result = dlg.Execute("/somewhere");
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_NE(errors.messages[0].find(gone.toStdString()), std::string::npos);
  EXPECT_EQ(result, gone) << "OK returns the text that failed";
  EXPECT_EQ(QDir::currentPath(), cwd);
}

TEST_F(FoldersDlgTest, NewFolderGoesUnderTheSelectedOneWhichStaysSelected) {
  const QString alpha = tmp.path() + "/alpha";
  WaitListed(alpha);
  std::optional<QString> result;
  QString folder_after, selected_after;
  bool expanded = false;
  WhenModal([&](QWidget* w) {
    Click(alpha, Qt::RightButton);
    WhenModal([&](QWidget* name) {
      EXPECT_EQ(name, dialogs.NewNameDlg.get());
      QTest::keyClicks(dialogs.NewNameDlg->FolderName, "Run 1");
      QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(dlg.NewFolder, Qt::LeftButton);
    folder_after = dlg.Folder->text();
    selected_after = dlg.SelectedPath();
    expanded = dlg.Folders->isExpanded(dlg.IndexOf(alpha));
    QTest::keyClick(w, Qt::Key_Return);
  });
  result = dlg.Execute("/old");
  EXPECT_TRUE(QFileInfo(alpha + "/Run 1").isDir());
  EXPECT_EQ(folder_after, alpha + "/Run 1");
  EXPECT_EQ(result, alpha + "/Run 1");
  EXPECT_EQ(selected_after, alpha) << "the new folder is not selected";
  EXPECT_TRUE(expanded);
  EXPECT_TRUE(Children(alpha).contains("Run 1"));
  EXPECT_FALSE(dlg.Folders->visualRect(dlg.IndexOf(alpha + "/Run 1")).isEmpty())
      << "it shows under its parent";
}

TEST_F(FoldersDlgTest, NewFolderThatCannotBeMadeChangesNothingAndSaysNothing) {
  const QString alpha = tmp.path() + "/alpha";
  WaitListed(alpha);
  // An existing name twice (the second time offered again), then names that are no
  // single folder level, then Cancel.
  struct Try {
    QString typed;  // null: keep what is offered
    bool cancel;
  };
  const std::vector<Try> tries = {
      {"inner", false}, {QString(), false}, {"x/y", false}, {"..", false}, {"new", true}};
  QStringList offered;
  WhenModal([&](QWidget* w) {
    Click(alpha);
    for (const Try& t : tries) {
      WhenModal([&](QWidget* name) {
        offered << dialogs.NewNameDlg->FolderName->text();
        if (!t.typed.isNull()) QTest::keyClicks(dialogs.NewNameDlg->FolderName, t.typed);
        if (t.cancel)
          QTest::keyClick(name, Qt::Key_Escape);
        else
          QTest::keyClick(name, Qt::Key_Return);
      });
      QTest::mouseClick(dlg.NewFolder, Qt::LeftButton);
      EXPECT_EQ(dlg.Folder->text(), alpha) << t.typed.toStdString();
      EXPECT_EQ(QApplication::activeModalWidget(), w) << "no message";
    }
    QTest::keyClick(w, Qt::Key_Escape);
  });
  EXPECT_EQ(dlg.Execute(tmp.path()), std::nullopt);
  EXPECT_EQ(offered.value(1), "inner") << "the previous name is offered again";
  EXPECT_EQ(QDir(alpha).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"inner"});
  EXPECT_EQ(Children(alpha), QStringList{"inner"});
  EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/alpha/x"));
  EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
}  // namespace dova::ui
