#pragma once

#include <QDialog>
#include <QFileIconProvider>
#include <QModelIndex>
#include <QString>
#include <QTreeView>
#include <QUrl>
#include <functional>
#include <optional>

#include "app/dialogs.h"

class QAction;
class QFileSystemModel;
class QMenu;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dova {
class ErrorReporter;
}

namespace dova::ui {

class TNewNameDlg;

// The folder tree: a right click selects the folder under the mouse (and then asks for its
// menu).
class TFolderTree : public QTreeView {
 public:
  using QTreeView::QTreeView;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

// "Select Folder": the data folder chooser. The tree shows the file system's folders from
// the root, with the home folder opened the first time; it keeps its expansion and
// selection from one use to the next and is not moved to the folder it is given. A click
// in the tree puts the clicked folder into the Folder field and makes it the working
// folder; New Folder creates a folder under the selected one. Enter presses the focused
// button, and OK from anywhere else. A right click on a folder opens its
// menu: New Folder under it, or the folder in the desktop's file manager.
class TFoldersDlg : public QDialog, public IFoldersDlg {
 public:
  static constexpr const char* kCaption = "Select Folder";
  static constexpr int kIndent = 19;

  // error_box: where a folder that cannot be made the working folder is reported.
  explicit TFoldersDlg(ErrorReporter& error_box);
  ~TFoldersDlg() override;

  // The dialog that asks for a new folder's name (created after this one).
  void SetNewNameDlg(TNewNameDlg* dialog) { new_name_dlg_ = dialog; }
  // What opens a folder's address in the file manager (the desktop's, unless replaced);
  // false when it could not.
  using TUrlOpener = std::function<bool(const QUrl&)>;
  void SetUrlOpener(TUrlOpener opener) { open_url_ = std::move(opener); }

  std::optional<QString> Execute(const QString& directory) override;

  // A click in the tree or on the dialog's background: the Folder field := the selected
  // folder's path, which becomes the working folder. Nothing happens while no folder is
  // selected.
  void FoldersClick();
  // The New Folder button.
  void NewFolderClick();
  // The tree's menu for the folder at `pos` (viewport coordinates), which it selects first;
  // nothing off the folders.
  void FolderMenuAt(const QPoint& pos);
  // The menu's Open in File Manager: the selected folder in the file manager; a failure is
  // reported.
  void OpenInFileManager();

  // The folder selected in the tree, and its path (empty when none is selected).
  QModelIndex SelectedIndex() const;
  QString SelectedPath() const;
  // The tree's row of a folder (created in the model if the tree has not listed it yet).
  QModelIndex IndexOf(const QString& path) const;
  // Opens the folders above `path` and scrolls it into view.
  void RevealFolder(const QString& path);

  TFolderTree* Folders = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Folder = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QPushButton* NewFolder = nullptr;
  QFileSystemModel* Model = nullptr;
  QMenu* FolderMenu = nullptr;
  QAction* NewFolderAction = nullptr;
  QAction* OpenInFileManagerAction = nullptr;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void FirstUse();

  ErrorReporter& error_box_;
  // The folder icons of the desktop's icon theme, or of the widget style without one.
  QFileIconProvider icons_;
  TNewNameDlg* new_name_dlg_ = nullptr;
  TUrlOpener open_url_;
  bool used_ = false;
};

}  // namespace dova::ui
