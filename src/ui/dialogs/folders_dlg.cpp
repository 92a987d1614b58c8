#include "ui/dialogs/folders_dlg.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <exception>

#include "app/folder_logic.h"
#include "platform/error_reporter.h"
#include "ui/dialogs/dialog_look.h"
#include "ui/dialogs/edit_dialogs.h"

namespace dova::ui {

void TFolderTree::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
      selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    event->accept();
    return;
  }
  QTreeView::mousePressEvent(event);
}

TFoldersDlg::TFoldersDlg(ErrorReporter& error_box) : error_box_(error_box) {
  constexpr int kWidth = 485;
  constexpr int kHeight = 341;
  SetUpFixedDialog(*this, QString::fromLatin1(kCaption), kWidth, kHeight);

  // Folders only, hidden ones left out as a file manager does; the tree is read when a
  // folder is opened and not watched afterwards.
  Model = new QFileSystemModel(this);
  Model->setIconProvider(&icons_);
  Model->setOption(QFileSystemModel::DontWatchForChanges, true);
  Model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  Model->setReadOnly(true);
  Model->setRootPath(QStringLiteral("/"));

  Folders = new TFolderTree(this);
  Folders->setModel(Model);
  for (int column = 1; column < Model->columnCount(); ++column)
    Folders->hideColumn(column);
  Folders->setHeaderHidden(true);
  Folders->setIndentation(kIndent);
  Folders->setRootIsDecorated(false);
  Folders->setUniformRowHeights(true);
  Folders->setSelectionMode(QAbstractItemView::SingleSelection);
  Folders->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Folders->setGeometry(8, 8, kWidth - 16, 262);
  Folders->expand(Model->index(QStringLiteral("/")));
  connect(Folders, &QTreeView::clicked, this, [this] { FoldersClick(); });
  Folders->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Folders, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { FolderMenuAt(pos); });
  FolderMenu = new QMenu(this);
  NewFolderAction = FolderMenu->addAction(QStringLiteral("New Folder"));
  OpenInFileManagerAction = FolderMenu->addAction(QStringLiteral("Open in File Manager"));
  connect(NewFolderAction, &QAction::triggered, this, [this] { NewFolderClick(); });
  connect(OpenInFileManagerAction, &QAction::triggered, this, [this] { OpenInFileManager(); });
  open_url_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

  Label1 = new QLabel(QStringLiteral("Folder:"), this);
  Label1->setGeometry(8, 278, 38, 21);
  Folder = new QLineEdit(this);
  Folder->setReadOnly(true);
  Folder->setFocusPolicy(Qt::NoFocus);
  Folder->setGeometry(48, 278, kWidth - 8 - 48, 21);

  constexpr int kButtonTop = kHeight - 8 - 25;
  NewFolder = new QPushButton(QStringLiteral("New Folder"), this);
  NewFolder->setGeometry(8, kButtonTop, 75, 25);
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setGeometry(kWidth - 8 - 75 - 6 - 75, kButtonTop, 75, 25);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  CancelBtn->setGeometry(kWidth - 8 - 75, kButtonTop, 75, 25);
  // Enter presses the button that has the focus (Cancel must not choose the folder); from
  // the tree it presses OK.
  for (QPushButton* b : {NewFolder, OKBtn, CancelBtn})
    b->setAutoDefault(true);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(NewFolder, &QPushButton::clicked, this, [this] { NewFolderClick(); });

  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, NewFolder);
  setTabOrder(NewFolder, Folders);
}

TFoldersDlg::~TFoldersDlg() {
  // The model's reader thread uses the icon provider: the model goes before the provider.
  delete Folders;
  delete Model;
}

std::optional<QString> TFoldersDlg::Execute(const QString& directory) {
  Folder->setText(directory);
  FirstUse();
  CentreOnScreen(*this);
  OKBtn->setFocus(Qt::OtherFocusReason);
  if (exec() != QDialog::Accepted) return std::nullopt;
  return Folder->text();
}

void TFoldersDlg::FirstUse() {
  if (used_) return;
  used_ = true;
  const QString home = QDir::homePath();
  RevealFolder(home);
  Folders->expand(IndexOf(home));
}

QModelIndex TFoldersDlg::IndexOf(const QString& path) const {
  return Model->index(path);
}

void TFoldersDlg::RevealFolder(const QString& path) {
  const QModelIndex index = IndexOf(path);
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
    Folders->expand(up);
  Folders->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

QModelIndex TFoldersDlg::SelectedIndex() const {
  for (const QModelIndex& index : Folders->selectionModel()->selectedIndexes())
    if (index.column() == 0) return index;
  return {};
}

QString TFoldersDlg::SelectedPath() const {
  const QModelIndex index = SelectedIndex();
  return index.isValid() ? Model->filePath(index) : QString();
}

void TFoldersDlg::FoldersClick() {
  // With no folder selected (a click on the background before any in the tree) the field
  // keeps its folder: an empty one would make OK choose the file-system root.
  if (!SelectedIndex().isValid()) return;
  Folder->setText(SelectedPath());
  // A folder that cannot be entered is reported; the field keeps the path that failed and
  // the dialog stays open.
  try {
    SetWorkingFolder(Folder->text());
  } catch (const std::exception& e) {
    error_box_.ReportError(e.what());
  }
}

void TFoldersDlg::NewFolderClick() {
  if (!new_name_dlg_ || !new_name_dlg_->ShowModal()) return;
  const QModelIndex selected = SelectedIndex();
  const QString name = new_name_dlg_->FolderName->text();
  const QString path = NewFolderPath(SelectedPath(), name);
  // Whatever cannot be made (a bad name, a folder already there, no permission) changes
  // nothing and says nothing.
  if (!IsNewFolderName(name)) return;
  if (QFileInfo::exists(path)) return;
  const QModelIndex parent = selected.isValid() ? selected : Model->index(QStringLiteral("/"));
  Model->mkdir(parent, name);
  if (!QFileInfo(path).isDir()) return;
  Folder->setText(path);
  // The new folder shows under its parent, but stays unselected: OK returns it through the
  // Folder field, a click in the tree replaces it.
  Folders->expand(parent);
  Folders->viewport()->update();
}

void TFoldersDlg::FolderMenuAt(const QPoint& pos) {
  const QModelIndex index = Folders->indexAt(pos);
  if (!index.isValid()) return;
  Folders->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  FolderMenu->exec(Folders->viewport()->mapToGlobal(pos));
}

void TFoldersDlg::OpenInFileManager() {
  const QString path = SelectedPath();
  if (path.isEmpty()) return;
  if (!open_url_ || !open_url_(FolderUrl(path)))
    error_box_.ReportError(("Cannot open " + path + " in the file manager").toStdString());
}

void TFoldersDlg::mouseReleaseEvent(QMouseEvent* event) {
  QDialog::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) FoldersClick();
}

}  // namespace dova::ui
