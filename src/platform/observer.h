#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace dova {

class ErrorReporter;

// Where a listener's exception is told: the program's error reporter once the composition
// root has set one, standard error until then. Returns the one it replaced.
ErrorReporter* SetListenerErrorReporter(ErrorReporter* reporter);
void ReportListenerError(const std::exception_ptr& error);

// The listeners of one stream of notifications: a tile's events, panel changes, a model's
// changes, alarms. Listeners are called in the order they subscribed. Subscribing and
// unsubscribing cost next to nothing and are safe at any time, also from inside a listener
// while a notification is being delivered: a listener removed during a delivery is not called
// again, one added during a delivery hears the next notification first. A listener that throws
// is reported and the others still hear the notification.
template <class... Args>
class TObservers {
 public:
  using TListener = std::function<void(Args...)>;
  using TSubscription = std::uint64_t;

  TObservers() = default;
  TObservers(const TObservers&) = delete;
  TObservers& operator=(const TObservers&) = delete;

  TSubscription Subscribe(TListener listener) {
    const TSubscription id = next_id_++;
    slots_.push_back(TSlot{id, std::move(listener), true});
    return id;
  }

  void Unsubscribe(TSubscription subscription) {
    for (TSlot& slot : slots_) {
      if (slot.Id != subscription || !slot.Active) continue;
      slot.Active = false;
      dirty_ = true;
      break;
    }
    if (delivering_ == 0) Compact();
  }

  void Notify(Args... args) {
    ++delivering_;
    // By index and up to the count at the start: listeners added meanwhile wait for the next
    // notification. The listener is called where it is stored, without a copy (a stream
    // carries every reply's events): subscribing appends to a deque, which moves no element,
    // and an unsubscribed listener is only destroyed once no delivery runs, so a listener
    // that unsubscribes itself or adds others goes on running intact.
    const std::size_t count = slots_.size();
    for (std::size_t i = 0; i < count; ++i) {
      const TSlot& slot = slots_[i];
      if (!slot.Active) continue;
      try {
        slot.Listener(args...);
      } catch (...) {
        ReportListenerError(std::current_exception());
      }
    }
    if (--delivering_ == 0) Compact();
  }

  std::size_t Count() const {
    std::size_t n = 0;
    for (const TSlot& slot : slots_)
      n += slot.Active;
    return n;
  }

 private:
  struct TSlot {
    TSubscription Id = 0;
    TListener Listener;
    bool Active = true;  // false once unsubscribed; taken out when no delivery runs
  };
  void Compact() {
    if (!dirty_) return;
    std::erase_if(slots_, [](const TSlot& s) { return !s.Active; });
    dirty_ = false;
  }

  std::deque<TSlot> slots_;
  TSubscription next_id_ = 1;
  int delivering_ = 0;
  bool dirty_ = false;
};

// Holds one subscription and ends it when it goes: for a listener that lives shorter than
// the stream it listens to.
class TScopedSubscription {
 public:
  TScopedSubscription() = default;
  template <class... Args>
  TScopedSubscription(TObservers<Args...>& observers,
                      typename TObservers<Args...>::TListener listener)
      : end_([&observers, id = observers.Subscribe(std::move(listener))] {
          observers.Unsubscribe(id);
        }) {}
  TScopedSubscription(TScopedSubscription&& other) noexcept : end_(std::move(other.end_)) {
    other.end_ = nullptr;
  }
  TScopedSubscription& operator=(TScopedSubscription&& other) noexcept {
    if (this != &other) {
      Reset();
      end_ = std::move(other.end_);
      other.end_ = nullptr;
    }
    return *this;
  }
  ~TScopedSubscription() { Reset(); }
  void Reset() {
    if (end_) std::exchange(end_, nullptr)();
  }

 private:
  std::function<void()> end_;
};

}  // namespace dova
