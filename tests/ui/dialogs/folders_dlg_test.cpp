// The folder dialog: its tree, clicks, the working folder and New Folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
