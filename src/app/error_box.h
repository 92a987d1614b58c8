#pragma once

#include <QString>
#include <cstddef>
#include <deque>

namespace dova {

// The text of the standard error box: the message with a full stop appended when its last
// character sorts after "." (so "Error Writing" gains one, "Done." and "(x)" do not).
QString ErrorBoxText(const QString& message);

// The program's title: its file name without extension ("dova300-logger").
QString ProgramTitle();

// The messages of the non-blocking box that the user has not acknowledged, oldest first. The
// box shows the oldest; acknowledging it (OK, Esc, the close box) brings up the next, so a
// later message never hides an error that has not been read. A message already waiting
// (same text and caption) is not queued again, as a failure told once a minute would
// otherwise fill the queue; when kMaxWaiting wait, the newest takes the last place.
class TUnreadMessages {
 public:
  struct TMessage {
    QString text;
    QString caption;
    bool operator==(const TMessage&) const = default;
  };
  static constexpr std::size_t kMaxWaiting = 20;

  void Add(const QString& text, const QString& caption);
  // The message to show; null when every message has been acknowledged.
  const TMessage* Current() const { return unread_.empty() ? nullptr : &unread_.front(); }
  // The text to show: the current message, with a line telling how many more wait.
  QString ShownText() const;
  // The user acknowledged the current message: true when another one is to be shown.
  bool Acknowledge();
  std::size_t Count() const { return unread_.size(); }

 private:
  std::deque<TMessage> unread_;
};

}  // namespace dova
