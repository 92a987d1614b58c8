#include "ui/history/log_opening.h"

#include <QCryptographicHash>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>

#include "ui/history/log_viewer.h"

namespace dova::ui {

namespace {

constexpr int kRecentLogs = 8;
const QString kRecentKey = QStringLiteral("RecentLogs");

QSettings ProgramSettings() {
  return QSettings(QStringLiteral("Harl"), QStringLiteral("DOVA300"));
}

// Where the name and serial the user gave a log file are kept: one value per file, named by
// a hash of its full path (a path is no settings name).
QString IncubatorKey(const QString& path) {
  const QByteArray full = QFileInfo(path).absoluteFilePath().toUtf8();
  return QStringLiteral("LogIncubators/") +
         QString::fromLatin1(QCryptographicHash::hash(full, QCryptographicHash::Sha1).toHex());
}

}  // namespace

QStringList RecentLogs() {
  return ProgramSettings().value(kRecentKey).toStringList();
}

void RememberLog(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QStringList list = RecentLogs();
  list.removeAll(full);
  list.prepend(full);
  while (list.size() > kRecentLogs)
    list.removeLast();
  ProgramSettings().setValue(kRecentKey, list);
}

TLogViewer* OpenLogViewer(QWidget* parent, const QString& path) {
  QString file = path;
  if (file.isEmpty()) {
    const QStringList recent = RecentLogs();
    file = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Open Log"),
        recent.isEmpty() ? QString() : QFileInfo(recent.front()).absolutePath(),
        QStringLiteral("Logs (*.csv);;All files (*)"));
    if (file.isEmpty()) return nullptr;
  }
  auto* viewer = new TLogViewer(file, parent);
  viewer->show();
  return viewer;
}

TLogIncubator::TLogIncubator(const QString& path)
    : path_(path), name_(IncubatorFromFileName(path)) {
  const QStringList kept = ProgramSettings().value(IncubatorKey(path)).toStringList();
  if (kept.size() == 2) name_ = {kept[0], kept[1]};
}

bool TLogIncubator::Edit(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Incubator of the log"));
  auto* form = new QFormLayout(&dialog);
  form->addRow(new QLabel(QStringLiteral("A log names neither the incubator nor its serial "
                                         "number; they come from the file name."),
                          &dialog));
  auto* name = new QLineEdit(name_.Name, &dialog);
  auto* serial = new QLineEdit(name_.Serial, &dialog);
  form->addRow(QStringLiteral("&Name:"), name);
  form->addRow(QStringLiteral("&Serial number:"), serial);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  const TIncubatorName corrected{name->text().trimmed(), serial->text().trimmed()};
  const TIncubatorName from_file = IncubatorFromFileName(path_);
  if (corrected.Name == from_file.Name && corrected.Serial == from_file.Serial) {
    ProgramSettings().remove(IncubatorKey(path_));
  } else {
    ProgramSettings().setValue(IncubatorKey(path_), QStringList{corrected.Name, corrected.Serial});
  }
  name_ = corrected;
  return true;
}

}  // namespace dova::ui
