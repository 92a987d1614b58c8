#include "platform/usbip/vhci_link.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace dova {

namespace {

// The free ports of the controller's high-speed hub (where low- and full-speed devices
// go), from its status file: "hs  0003 004 000 00000000 000000 0-0"; state 4 is free.
std::vector<int> FreePorts(const std::string& controller) {
  std::ifstream in(controller + "/status");
  if (!in) throw VhciLinkExcept("no USB/IP controller at " + controller + " (is vhci-hcd loaded?)");
  std::vector<int> ports;
  std::string line;
  std::getline(in, line);  // the column titles
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string hub;
    int port = -1;
    int state = -1;
    fields >> hub >> port >> state;
    if (fields && hub == "hs" && state == 4) ports.push_back(port);
  }
  return ports;
}

bool WriteFile(const std::string& path, const std::string& text, int* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  const ssize_t n = ::write(fd, text.data(), text.size());
  *error = n < 0 ? errno : 0;
  ::close(fd);
  return n == static_cast<ssize_t>(text.size());
}

}  // namespace

std::unique_ptr<VhciLink> VhciLink::Attach(std::uint32_t devid, int speed,
                                           const std::string& controller) {
  int error = 0;
  for (int port : FreePorts(controller)) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
      throw VhciLinkExcept(std::string("socketpair: ") + std::strerror(errno));
    // The kernel takes its own reference to the socket it is handed; our copy of that
    // end is closed at once.
    const std::string request = std::to_string(port) + " " + std::to_string(pair[1]) + " " +
                                std::to_string(devid) + " " + std::to_string(speed);
    const bool ok = WriteFile(controller + "/attach", request, &error);
    ::close(pair[1]);
    if (!ok) {
      ::close(pair[0]);
      if (error == EBUSY) continue;  // taken meanwhile: the next one
      throw VhciLinkExcept("cannot attach to " + controller + " port " + std::to_string(port) +
                           ": " + std::strerror(error));
    }
    ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    std::unique_ptr<VhciLink> link(new VhciLink);
    link->fd_ = pair[0];
    link->port_ = port;
    return link;
  }
  throw VhciLinkExcept("no free port on " + controller);
}

VhciLink::~VhciLink() {
  Close();
}

std::string VhciLink::ReadAvailable() {
  std::string bytes;
  while (fd_ >= 0) {
    char buf[16384];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      bytes.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0 && errno == EINTR) continue;
    Close();  // the kernel dropped the connection
  }
  return bytes;
}

void VhciLink::Write(std::string_view bytes) {
  if (fd_ < 0) return;
  out_.append(bytes);
  Flush();
}

void VhciLink::Flush() {
  while (fd_ >= 0 && !out_.empty()) {
    const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      out_.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0 && errno == EINTR) continue;
    Close();
  }
}

void VhciLink::Close() {
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
  out_.clear();
}

}  // namespace dova
