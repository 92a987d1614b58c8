#include "platform/qt_scheduler.h"

#include <QDateTime>
#include <QMetaObject>

#include "platform/timer.h"

namespace dova {

QtScheduler::QtScheduler() = default;

QtScheduler::~QtScheduler() {
  for (auto& [id, qt] : qtimers_)
    delete qt;
}

TDateTime QtScheduler::Now() const {
  return DateTimeFromQDateTime(QDateTime::currentDateTime());
}

void QtScheduler::Arm(Timer& timer) {
  QTimer*& qt = qtimers_[timer.Id()];
  if (!qt) {
    qt = new QTimer(&context_);
    qt->setTimerType(Qt::PreciseTimer);
    const std::uint64_t id = timer.Id();
    QObject::connect(qt, &QTimer::timeout, &context_, [this, id] {
      FireTimer(id);
      RunPending();
    });
  }
  qt->start(static_cast<int>(timer.Interval()));
}

void QtScheduler::Disarm(Timer& timer) {
  auto it = qtimers_.find(timer.Id());
  if (it == qtimers_.end()) return;
  // The timer may be deleted from inside its own timeout: let Qt free it later.
  it->second->stop();
  it->second->deleteLater();
  qtimers_.erase(it);
}

void QtScheduler::WakeForPending() {
  QMetaObject::invokeMethod(
      &context_, [this] { RunPending(); }, Qt::QueuedConnection);
}

}  // namespace dova
