#include "platform/instance/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace dova {

namespace {

// The write end of the self-pipe; the handler writes one byte and nothing else.
volatile sig_atomic_t g_wake_fd = -1;

extern "C" void OnTerminationSignal(int /*signal*/) {
  const int saved = errno;
  const int fd = g_wake_fd;
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = saved;
}

class SelfPipeSignals : public TerminationSignals {
 public:
  explicit SelfPipeSignals(std::function<void()> on_request) : on_request_(std::move(on_request)) {
    if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_wake_fd = fds_[1];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
      char buffer[64];
      bool requested = false;
      while (::read(fds_[0], buffer, sizeof buffer) > 0)
        requested = true;
      if (requested && on_request_) on_request_();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &old_int_);
    ::sigaction(SIGTERM, &action, &old_term_);
  }
  ~SelfPipeSignals() override {
    if (fds_[0] < 0) return;
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
    g_wake_fd = -1;
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

 private:
  std::function<void()> on_request_;
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction old_int_ = {};
  struct sigaction old_term_ = {};
};

}  // namespace

std::unique_ptr<TerminationSignals> WatchTerminationSignals(std::function<void()> on_request) {
  return std::make_unique<SelfPipeSignals>(std::move(on_request));
}

}  // namespace dova
