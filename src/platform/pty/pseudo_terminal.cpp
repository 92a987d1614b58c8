#include "platform/pty/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace dova {

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

[[noreturn]] void Fail(const char* what) {
  throw PseudoTerminalExcept(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open() {
  std::unique_ptr<PseudoTerminal> pty(new PseudoTerminal());
  pty->master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty->master_ < 0) Fail("posix_openpt");
  if (::grantpt(pty->master_) != 0) Fail("grantpt");
  if (::unlockpt(pty->master_) != 0) Fail("unlockpt");
  char name[256];
  if (::ptsname_r(pty->master_, name, sizeof name) != 0) Fail("ptsname");
  pty->slave_path_ = name;

  // Our own slave descriptor: without it the master reports a hang-up whenever no
  // client has the slave open, and a client's settings would vanish with its close.
  pty->slave_keep_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty->slave_keep_ < 0) Fail("open slave");
  termios tio{};
  if (::tcgetattr(pty->slave_keep_, &tio) != 0) Fail("tcgetattr");
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B57600);
  ::cfsetospeed(&tio, B57600);
  if (::tcsetattr(pty->slave_keep_, TCSANOW, &tio) != 0) Fail("tcsetattr");
  return pty;
}

PseudoTerminal::~PseudoTerminal() {
  CloseMaster();
}

std::string PseudoTerminal::ReadAvailable(std::size_t max_bytes) {
  std::string out;
  if (master_ < 0) return out;
  char buffer[1024];
  while (out.size() < max_bytes) {
    const std::size_t want = std::min(sizeof buffer, max_bytes - out.size());
    const ssize_t n = ::read(master_, buffer, want);
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // EAGAIN: nothing more for now; EIO: no slave open at the moment (cannot happen while
    // we keep ours, but harmless).
    break;
  }
  return out;
}

bool PseudoTerminal::WaitReadable(int timeout_ms) {
  if (master_ < 0) return false;
  pollfd p{master_, POLLIN, 0};
  int n;
  do {
    n = ::poll(&p, 1, timeout_ms);
  } while (n < 0 && errno == EINTR);
  return n > 0 && (p.revents & POLLIN) != 0;
}

std::size_t PseudoTerminal::Write(std::string_view bytes) {
  std::size_t done = 0;
  while (master_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // The client's queue is full (nobody reads): the rest is lost, as on a wire.
      break;
    }
  }
  return done;
}

void PseudoTerminal::CloseMaster() {
  CloseFd(slave_keep_);
  CloseFd(master_);
}

std::vector<std::string> ConsoleInput::TakeLines(bool* closed) {
  std::vector<std::string> lines;
  while (!closed_) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || (p.revents & (POLLIN | POLLHUP)) == 0) break;
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      closed_ = true;
      break;
    }
    partial_.append(buffer, static_cast<std::size_t>(n));
    // A console line is short; a runaway one is dropped rather than kept growing.
    if (partial_.size() > 4096 && partial_.find('\n') == std::string::npos) partial_.clear();
  }
  std::size_t pos;
  while ((pos = partial_.find('\n')) != std::string::npos) {
    std::string line = partial_.substr(0, pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    partial_.erase(0, pos + 1);
  }
  if (closed_ && !partial_.empty()) {
    lines.push_back(partial_);
    partial_.clear();
  }
  if (closed) *closed = closed_;
  return lines;
}

}  // namespace dova
