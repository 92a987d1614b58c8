#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/pty/pseudo_terminal.h"

namespace dova {
namespace {

// The kernel hands bytes from one end to the other on its own time, later still on a busy
// machine; every wait ends as soon as the bytes are there, so this only bounds a failure.
constexpr int kWaitMs = 30000;

// What a client does with the slave end: open it like a serial port.
struct Client {
  int fd = -1;
  explicit Client(const std::string& path) {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
  }
  ~Client() {
    if (fd >= 0) ::close(fd);
  }
  ssize_t Write(const std::string& s) { return ::write(fd, s.data(), s.size()); }
  // Reads until `expect` bytes have come (or the wait runs out).
  std::string Read(std::size_t expect) {
    pollfd p{fd, POLLIN, 0};
    std::string out;
    while (out.size() < expect && ::poll(&p, 1, kWaitMs) > 0 && (p.revents & POLLIN)) {
      char buf[256];
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }
};

// The master side: the kernel hands the client's bytes over asynchronously.
std::string ReadMaster(PseudoTerminal& pty, std::size_t expect) {
  std::string out;
  while (out.size() < expect && pty.WaitReadable(kWaitMs))
    out += pty.ReadAvailable();
  return out;
}

TEST(PseudoTerminalTest, BytesRoundTripRawBothWays) {
  auto pty = PseudoTerminal::Open();
  ASSERT_TRUE(pty->MasterOpen());
  EXPECT_TRUE(pty->SlavePath().starts_with("/dev/pts/")) << pty->SlavePath();
  EXPECT_EQ(pty->ReadAvailable(), "");  // nothing yet, and no waiting
  Client client(pty->SlavePath());

  // Carriage returns stay carriage returns, nothing echoes, every byte value passes.
  const std::string command = std::string("!GET SERL\r") + "\x03\x7f\xff\n";
  ASSERT_EQ(client.Write(command), static_cast<ssize_t>(command.size()));
  EXPECT_EQ(ReadMaster(*pty, command.size()), command);
  ASSERT_EQ(pty->Write("SERL 1\r\x04\x80"), 9u);
  EXPECT_EQ(client.Read(9), "SERL 1\r\x04\x80");
  EXPECT_EQ(pty->ReadAvailable(), "");
}

TEST(PseudoTerminalTest, ClientMayComeAndGoWithoutAHangUp) {
  auto pty = PseudoTerminal::Open();
  { Client first(pty->SlavePath()); }
  // No client now: the master still takes bytes and reads nothing.
  EXPECT_EQ(pty->Write("late\r"), 5u);
  EXPECT_EQ(pty->ReadAvailable(), "");
  Client second(pty->SlavePath());
  ::tcflush(second.fd, TCIOFLUSH);
  ASSERT_EQ(second.Write("x\r"), 2);
  EXPECT_EQ(ReadMaster(*pty, 2), "x\r");
}

TEST(PseudoTerminalTest, ClosingTheMasterIsUnplugging) {
  auto pty = PseudoTerminal::Open();
  Client client(pty->SlavePath());
  const std::string path = pty->SlavePath();
  pty->CloseMaster();
  EXPECT_FALSE(pty->MasterOpen());
  EXPECT_EQ(pty->Write("x"), 0u);
  EXPECT_EQ(pty->ReadAvailable(), "");
  errno = 0;
  EXPECT_EQ(client.Write("!GET SERL\r"), -1);
  EXPECT_EQ(errno, EIO);
  // The device is gone: it cannot be opened again.
  EXPECT_LT(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), 0);
}

}  // namespace
}  // namespace dova
