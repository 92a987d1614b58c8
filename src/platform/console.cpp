#include "platform/console.h"

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#else
#include <pwd.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>
#endif

namespace dova {

bool StandardOutputIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdout)) != 0;
#else
  return ::isatty(STDOUT_FILENO) == 1;
#endif
}

QString LoginName() {
#ifdef _WIN32
  return qEnvironmentVariable("USERNAME");
#else
  // The account, not an environment variable anyone could set differently.
  if (const struct passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_name != nullptr) {
    return QString::fromLocal8Bit(pw->pw_name);
  }
  return qEnvironmentVariable("USER");
#endif
}

#ifndef _WIN32
namespace {

class PosixTerminalKeys final : public TerminalKeys {
 public:
  PosixTerminalKeys(const struct termios& saved, std::function<void(char)> on_key)
      : saved_(saved), on_key_(std::move(on_key)), notifier_(STDIN_FILENO, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, &notifier_, [this] {
      char keys[64];
      const ssize_t n = ::read(STDIN_FILENO, keys, sizeof keys);
      if (n <= 0) {
        notifier_.setEnabled(false);  // end of input: nothing more to hear
        return;
      }
      for (ssize_t i = 0; i < n; ++i)
        on_key_(keys[i]);
    });
  }
  ~PosixTerminalKeys() override { ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_); }

 private:
  struct termios saved_;
  std::function<void(char)> on_key_;
  QSocketNotifier notifier_;
};

}  // namespace
#endif

std::unique_ptr<TerminalKeys> TerminalKeys::Start(std::function<void(char key)> on_key) {
#ifdef _WIN32
  (void)on_key;
  return nullptr;
#else
  struct termios saved {};
  if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &saved) != 0) return nullptr;
  struct termios raw = saved;
  // Keys one at a time and unechoed; Ctrl+C still ends the program.
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return nullptr;
  return std::make_unique<PosixTerminalKeys>(saved, std::move(on_key));
#endif
}

}  // namespace dova
