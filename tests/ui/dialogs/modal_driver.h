#pragma once

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace dova::ui::testing {

// The user in front of a modal window: `act` runs once the window's own event loop is
// running (so the window is on screen and modal) and is handed that window. A watchdog
// closes any modal window still open after a minute, so a test that forgot to close one
// fails instead of hanging; a slow test on a busy machine stays well within it.
inline void WhenModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    act(modal);
  });
}

// Closes the window by its title bar's close box.
inline void CloseByCloseBox(QWidget* window) {
  QCloseEvent close;
  QApplication::sendEvent(window, &close);
}

// Makes the modal window in front the active one, as it is for a user: offscreen, a window
// shown from a running event loop becomes active only once the loop has handled the
// activation, and has no keyboard focus before.
inline void ActivateModal() {
  if (QWidget* modal = QApplication::activeModalWidget();
      modal && QApplication::activeWindow() != modal) {
    modal->activateWindow();
    (void)QTest::qWaitForWindowActive(modal);
  }
}

// A key pressed by the user: it goes to the widget with the keyboard focus of the window
// in front.
inline void PressKey(Qt::Key key) {
  ActivateModal();
  QWidget* target = QApplication::focusWidget();
  if (!target) target = QApplication::activeModalWidget();
  if (target) QTest::keyClick(target, key);
}

class ModalWatchdog {
 public:
  explicit ModalWatchdog(int ms = 60000) {
    timer_.setInterval(ms);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        fired_ = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
          dialog->reject();
        else
          modal->close();
      }
    });
    timer_.start();
  }
  bool Fired() const { return fired_; }

 private:
  QTimer timer_;
  bool fired_ = false;
};

// A user who answers a series of modal windows one after the other, each step handed the
// window it answers. A step runs once per window shown; the next step waits for the next
// window (another one, or the same one shown again after another).
class ModalScript {
 public:
  explicit ModalScript(std::vector<std::function<void(QWidget*)>> steps)
      : steps_(std::move(steps)) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  std::size_t Done() const { return next_; }

 private:
  void Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == last_) return;
    last_ = modal;
    if (!modal || next_ >= steps_.size()) return;
    steps_[next_++](modal);
  }
  std::vector<std::function<void(QWidget*)>> steps_;
  std::size_t next_ = 0;
  QPointer<QWidget> last_;
  QTimer timer_;
};

// The leftmost and rightmost columns with dark pixels in a band of rows of an image (the
// ink of a text line); {-1, -1} when there is none.
inline std::pair<int, int> InkColumns(const QImage& image, int top, int bottom) {
  int left = -1;
  int right = -1;
  for (int y = std::max(0, top); y < std::min(bottom, image.height()); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) < 110) {
        if (left < 0 || x < left) left = x;
        if (x > right) right = x;
      }
    }
  }
  return {left, right};
}

}  // namespace dova::ui::testing
