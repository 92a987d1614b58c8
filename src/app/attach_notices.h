#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "platform/timer.h"

namespace dova {

class TMainForm;

// What the program says while it cannot log anything: that it is waiting for incubators
// while no tile exists, and, once per device, which incubator's bridge the user may not
// open and how to mend that. The front end decides where the texts go (a status bar and a
// box, or console lines). A QObject only so that a window can own it as a child.
class TAttachNotices : public QObject {
 public:
  static constexpr const char* kWaitingText = "Waiting for incubators: none connected";
  // How often the tiles are looked at. The first look comes this long after start, so
  // incubators found by the first scans do not make a waiting notice flash up.
  static constexpr std::uint32_t kCheckMs = 2000;

  // status: the status text whenever it changes (the waiting text, or empty once a tile
  // exists). problem: one line per bridge that cannot be opened.
  TAttachNotices(TMainForm& form, std::function<void(const QString& status)> status,
                 std::function<void(const QString& line)> problem, QObject* parent = nullptr);
  ~TAttachNotices() override;
  TAttachNotices(const TAttachNotices&) = delete;
  TAttachNotices& operator=(const TAttachNotices&) = delete;

  // The status text for this many tiles.
  static QString StatusText(std::size_t tiles);
  const QString& Status() const { return status_text_; }
  // Looks at the tiles now (the check timer's handler).
  void Check();

 private:
  TMainForm& form_;
  std::function<void(const QString&)> status_;
  Timer check_timer_;
  QString status_text_;
};

}  // namespace dova
