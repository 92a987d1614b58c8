#include "platform/serial/linux/va_comm_linux.h"

#include "platform/linux/tty_speed.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/serial/linux/custom_baud.h"

namespace dova {

namespace {

std::string ErrorText(int code) {
  return std::strerror(code);
}

[[noreturn]] void Raise(const char* pattern, int code) {
  throw EVaCommError(FormatCommMessage(pattern, {std::to_string(code), ErrorText(code)}));
}

}  // namespace

TVaComm::TVaComm(Scheduler& ui) : ui_(ui) {
  pause_ = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

TVaComm::~TVaComm() {
  if (Active()) Shut(false, true);
}

void TVaComm::Open() {
  CheckClosed();
  const std::string name = FileName();
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT)
      throw EVaCommError(FormatCommMessage("Specified device not found (%s).", {name}));
    throw EVaCommError(FormatCommMessage("Can't open specified device %s (Error %d, %s)",
                                         {name, std::to_string(err), ErrorText(err)}));
  }
  // Exclusive use: the advisory lock keeps out every program that asks for it (the bridge
  // library and a second copy of this one), TIOCEXCL keeps out other openers of the tty.
  if (flock(fd, LOCK_EX | LOCK_NB) < 0 || (isatty(fd) && ioctl(fd, TIOCEXCL) < 0)) {
    const int err = errno;
    ::close(fd);
    throw EVaCommError(FormatCommMessage("Can't open specified device %s (Error %d, %s)",
                                         {name, std::to_string(err), ErrorText(err)}));
  }
  fd_ = fd;
  try {
    // Opening a tty has just raised DTR and RTS; put them where FlowControl says at once, so
    // a board that resets on DTR sees as short a pulse as we can make it.
    ApplyControlLines();
    if (UpdateDCB()) ApplyLineSettings();
    // The driver's buffer sizes (Buffers.ReadSize/WriteSize) are the kernel's own on Linux.
    SetTimeouts();
    if (!EffectiveEventMask().Empty()) StartEventThread();
  } catch (...) {
    // Only the device is given back: a failed open is no close, so no pause either.
    Shut(false, false);
    throw;
  }
  if (OnOpen()) {
    try {
      OnOpen()(*this);
    } catch (...) {
      ui_.ReportException(std::current_exception());
    }
  }
}

void TVaComm::ApplyLineSettings() {
  termios tio{};
  if (tcgetattr(fd_, &tio) < 0) Raise("Error writing dcb (%d), %s", errno);
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (Databits()) {
    case TVaDatabits::db4:
      Raise("Error writing dcb (%d), %s", EINVAL);
    case TVaDatabits::db5:
      tio.c_cflag |= CS5;
      break;
    case TVaDatabits::db6:
      tio.c_cflag |= CS6;
      break;
    case TVaDatabits::db7:
      tio.c_cflag |= CS7;
      break;
    case TVaDatabits::db8:
      tio.c_cflag |= CS8;
      break;
  }
  switch (Parity()) {
    case TVaParity::paNone:
      break;
    case TVaParity::paOdd:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case TVaParity::paEven:
      tio.c_cflag |= PARENB;
      break;
    case TVaParity::paMark:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case TVaParity::paSpace:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
  }
  // 1.5 stop bits exist only with 5 data bits; termios knows one or two.
  if (Stopbits() != TVaStopbits::sb1) tio.c_cflag |= CSTOPB;
  const TVaFlowControl& flow = FlowControl();
  // termios couples CTS output flow with RTS input flow.
  if (flow.OutCtsFlow || flow.ControlRts == TVaControlRts::rtsHandshake) tio.c_cflag |= CRTSCTS;
  // Closing drops the lines only if we raised one; otherwise it leaves them low and still.
  const TVaControlLines lines = ControlLineLevels(flow);
  if (lines.Dtr || lines.Rts) {
    tio.c_cflag |= HUPCL;
  } else {
    tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
  }
  if (flow.XonXoffOut) tio.c_iflag |= IXON;
  if (flow.XonXoffIn) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = EventChars().XonChar;
  tio.c_cc[VSTOP] = EventChars().XoffChar;
  // Reads return at once with what has arrived.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;

  const std::uint32_t baud =
      Baudrate() == TVaBaudrate::brUser ? UserBaudrate() : BaudrateValue(Baudrate());
  const speed_t speed = StandardTtySpeed(baud).value_or(B0);
  // A rate without a constant is set afterwards; meanwhile a valid one keeps the C
  // library's own check of the settings content.
  cfsetispeed(&tio, speed != B0 ? speed : B38400);
  cfsetospeed(&tio, speed != B0 ? speed : B38400);
  if (tcsetattr(fd_, TCSANOW, &tio) < 0) Raise("Error writing dcb (%d), %s", errno);
  if (speed == B0) {
    if (baud == 0) Raise("Error writing dcb (%d), %s", EINVAL);
    const int err = serial_linux::SetCustomBaud(fd_, baud);
    if (err != 0) Raise("Error writing dcb (%d), %s", err);
  }
  // A driver raises the lines again when the rate leaves B0 (a hang-up left by another
  // program), so they are set once more after the rate.
  ApplyControlLines();
}

void TVaComm::ApplyControlLines() {
  if (!isatty(fd_)) return;
  const TVaControlLines lines = ControlLineLevels(FlowControl());
  const int lower = (lines.Dtr ? 0 : TIOCM_DTR) | (lines.Rts ? 0 : TIOCM_RTS);
  const int raise = (lines.Dtr ? TIOCM_DTR : 0) | (lines.Rts ? TIOCM_RTS : 0);
  const auto change = [this](unsigned long request, int bits) {
    if (bits == 0 || ioctl(fd_, request, &bits) == 0) return true;
    // A pseudo-terminal has no modem lines, and some adapters have none either.
    if (errno == ENOTTY || errno == EINVAL) return false;
    Raise("Error writing dcb (%d), %s", errno);
  };
  if (change(TIOCMBIC, lower)) change(TIOCMBIS, raise);
}

void TVaComm::SetTimeouts() {
  termios tio{};
  if (tcgetattr(fd_, &tio) < 0) Raise("Error setting timeouts (%d), %s", errno);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd_, TCSANOW, &tio) < 0) Raise("Error setting timeouts (%d), %s", errno);
}

void TVaComm::StartEventThread() {
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) < 0) {
    wake_[0] = wake_[1] = -1;
    Raise(" Error setting EventMask (%d), %s", errno);
  }
  terminated_ = false;
  thread_done_ = false;
  event_thread_ = std::thread([this, fd = fd_, wake = wake_[0]] { EventLoop(fd, wake); });
}

void TVaComm::StopEventThread() {
  if (!event_thread_.joinable()) return;
  terminated_ = true;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
  // The event thread may be waiting for a notification it has handed over; run those
  // while waiting for it to end.
  while (!thread_done_)
    ui_.WaitAndRunPending(10);
  event_thread_.join();
  ::close(wake_[0]);
  ::close(wake_[1]);
  wake_[0] = wake_[1] = -1;
}

void TVaComm::EventLoop(int fd, int wake_fd) {
  const std::uint8_t event_char = EventChars().EventChar;
  const bool report_flag = EffectiveEventMask().Contains(TVaCommEvent::ceRxFlag);
  bool device_gone = false;
  while (!terminated_) {
    pollfd fds[2] = {{wake_fd, POLLIN, 0}, {device_gone ? -1 : fd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (terminated_ || (fds[0].revents & POLLIN)) break;
    const short rev = fds[1].revents;
    if (rev == 0) continue;
    bool flag = false;
    if (rev & POLLIN) {
      std::lock_guard lock(rx_mutex_);
      bool ioctl_failed = false;
      if (DrainLocked(fd, &ioctl_failed) != 0) device_gone = true;
      flag = std::find(rx_.begin() + static_cast<std::ptrdiff_t>(std::min(scanned_, rx_.size())),
                       rx_.end(), static_cast<char>(event_char)) != rx_.end();
      scanned_ = rx_.size();
    } else {
      // Hang-up or error without data (an unplugged adapter): nothing more will come, and
      // poll() would report it again at once.
      device_gone = true;
    }
    if (flag && report_flag && !terminated_) {
      ui_.InvokeBlocking([this] {
        if (OnRxFlag()) OnRxFlag()(*this);
      });
    }
  }
  thread_done_ = true;
}

int TVaComm::DrainLocked(int fd, bool* ioctl_failed) {
  char buffer[4096];
  for (;;) {
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) < 0) {
      *ioctl_failed = true;
      return errno;
    }
    if (waiting <= 0) return 0;
    const ssize_t n =
        ::read(fd, buffer, std::min<std::size_t>(sizeof buffer, static_cast<std::size_t>(waiting)));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return 0;
      return errno;
    }
    if (n == 0) return 0;
    rx_.append(buffer, static_cast<std::size_t>(n));
  }
}

void TVaComm::Close() {
  if (!Active()) return;
  std::lock_guard lock(read_lock_);
  Shut(true, true);
}

void TVaComm::Shut(bool notify, bool pause) {
  StopEventThread();
  if (isatty(fd_)) ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  {
    std::lock_guard lock(rx_mutex_);
    rx_.clear();
    scanned_ = 0;
  }
  if (notify && OnClose()) {
    try {
      OnClose()(*this);
    } catch (...) {
      ui_.ReportException(std::current_exception());
    }
  }
  if (pause) pause_(300);
}

void TVaComm::ClearInput() {
  if (!Active()) return;
  std::lock_guard lock(read_lock_);
  std::lock_guard rx(rx_mutex_);
  if (tcflush(fd_, TCIFLUSH) < 0) Raise("Error clearing buffers (%d), %s", errno);
  rx_.clear();
  scanned_ = 0;
}

bool TVaComm::WriteString(const std::string& bytes) {
  if (!Active()) return false;
  std::lock_guard lock(write_lock_);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(Buffers().WriteTimeout);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) Raise("Write error (%d), %s", errno);
    // The driver's buffer is full: wait for room until the write time-out.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;  // not completed in time: counts as nothing written
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR)
      Raise("Write error (%d), %s", errno);
  }
  return true;
}

int TVaComm::InputCount() {
  if (!Active()) return 0;
  std::lock_guard lock(read_lock_);
  std::lock_guard rx(rx_mutex_);
  bool ioctl_failed = false;
  if (const int err = DrainLocked(fd_, &ioctl_failed); err != 0) {
    Raise(ioctl_failed ? "Error retrieving statistics (%d), %s" : "Read error (%d), %s", err);
  }
  return static_cast<int>(std::min<std::size_t>(rx_.size(), 0x7fffffff));
}

std::string TVaComm::ReadAvailable() {
  if (InputCount() <= 0) return {};
  std::lock_guard lock(read_lock_);
  std::lock_guard rx(rx_mutex_);
  std::string out;
  out.swap(rx_);
  scanned_ = 0;
  return out;
}

}  // namespace dova
