#pragma once

// How stored logs are opened, and what the program keeps of them between runs in its
// settings: the files opened last, and the incubator the user named for a log file.

#include <QString>
#include <QStringList>

#include "history/stored_log.h"

class QWidget;

namespace dova::ui {

class TLogViewer;

// The files opened last, newest first (at most eight), kept in the program's settings.
QStringList RecentLogs();
void RememberLog(const QString& path);

// File > Open Log...: asks for a file (or takes `path`) and opens a viewer window for it.
TLogViewer* OpenLogViewer(QWidget* parent, const QString& path = QString());

// The incubator a stored log is of. A log names neither the incubator nor its serial, so they
// come from the file name ("<name> <serial>.csv") until the user corrects them in a small
// dialog; the correction is kept for that file and holds when it is opened again.
class TLogIncubator {
 public:
  // From the file name, or as the user corrected it when the file was open before.
  explicit TLogIncubator(const QString& path);

  const TIncubatorName& Name() const { return name_; }
  // Takes the name for this window only.
  void Set(const TIncubatorName& name) { name_ = name; }
  // Asks for the name and serial; the answer is taken and kept for the file (one that equals
  // the file name's forgets the kept correction). False when cancelled.
  bool Edit(QWidget* parent);

 private:
  QString path_;
  TIncubatorName name_;
};

}  // namespace dova::ui
