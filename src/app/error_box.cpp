#include "app/error_box.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace dova {

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

QString ProgramTitle() {
  const QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty()) return QStringLiteral("dova300-logger");
  return QFileInfo(path).completeBaseName();
}

}  // namespace dova

namespace dova {

void TUnreadMessages::Add(const QString& text, const QString& caption) {
  TMessage message{text, caption};
  for (const TMessage& waiting : unread_)
    if (waiting == message) return;
  // The shown message keeps its place whatever comes after it.
  static_assert(kMaxWaiting >= 2);
  if (unread_.size() >= kMaxWaiting)
    unread_.back() = std::move(message);
  else
    unread_.push_back(std::move(message));
}

QString TUnreadMessages::ShownText() const {
  if (unread_.empty()) return {};
  const std::size_t more = unread_.size() - 1;
  if (more == 0) return unread_.front().text;
  return unread_.front().text +
         QStringLiteral("\n\n(%1 more %2 after this one)")
             .arg(more)
             .arg(more == 1 ? QStringLiteral("message") : QStringLiteral("messages"));
}

bool TUnreadMessages::Acknowledge() {
  if (!unread_.empty()) unread_.pop_front();
  return !unread_.empty();
}

}  // namespace dova
