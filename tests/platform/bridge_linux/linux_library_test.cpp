#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/bridge/linux/linux_library.h"
#include "support/unprivileged.h"

namespace dova::bridge {
namespace {

namespace fs = std::filesystem;

// Long enough for the kernel to pass bytes between the two ends of a pseudo-terminal, on a
// busy machine too; every wait ends as soon as the bytes are there.
constexpr int kWaitMs = 30000;

// A pseudo-terminal: the library opens the slave path, the test plays the device on the
// master.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      path_ = ptsname(master_);
    }
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool Ok() const { return master_ >= 0 && !path_.empty(); }
  int Master() const { return master_; }
  const std::string& Path() const { return path_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  void Send(const std::string& bytes) const {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads until n bytes have come or the wait runs out.
  std::string Receive(std::size_t n) const {
    std::string got;
    while (got.size() < n) {
      pollfd pfd{master_, POLLIN, 0};
      if (::poll(&pfd, 1, kWaitMs) <= 0) break;
      char buf[256];
      const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - got.size()));
      if (r <= 0) break;
      got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
  }

 private:
  int master_ = -1;
  std::string path_;
};

bool WaitReadable(int fd) {
  pollfd pfd{fd, POLLIN, 0};
  return ::poll(&pfd, 1, kWaitMs) == 1;
}

// A folder that goes away with the test.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "dova-bridge-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::vector<std::string> Serials(LinuxSiLibrary& lib) {
  std::uint32_t n = 0;
  EXPECT_EQ(lib.SI_GetNumDevices(&n), SI_SUCCESS);
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < n; ++i) {
    char buf[SI_MAX_DEVICE_STRLEN];
    EXPECT_EQ(lib.SI_GetProductString(i, buf, SI_RETURN_SERIAL_NUMBER), SI_SUCCESS);
    out.emplace_back(buf);
  }
  return out;
}

// A library with one user device on a fresh pseudo-terminal, listed as device 0.
class PtyFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Ok());
    lib_.AddUserDevice(pty_.Path());
    std::uint32_t n = 0;
    ASSERT_EQ(lib_.SI_GetNumDevices(&n), SI_SUCCESS);
    ASSERT_EQ(n, 1u);
  }
  SiHandle Open() {
    SiHandle h = 0;
    EXPECT_EQ(lib_.SI_Open(0, &h), SI_SUCCESS);
    return h;
  }

  Pty pty_;
  LinuxSiLibrary lib_{"/nonexistent-sysfs", "/nonexistent-dev"};
};

TEST(DeviceArgumentTest, SplitsPathAndSerial) {
  struct Case {
    const char* text;
    std::optional<UserDevice> expected;
  };
  const Case cases[] = {
      {"/dev/pts/5", UserDevice{"/dev/pts/5", ""}},
      {"/dev/ttyS0=DOVA300-0000ABCD", UserDevice{"/dev/ttyS0", "DOVA300-0000ABCD"}},
      {"/dev/ttyS0=", UserDevice{"/dev/ttyS0", ""}},
      // An '=' inside the path is not a serial separator.
      {"/tmp/a=b/tty", UserDevice{"/tmp/a=b/tty", ""}},
      {"/tmp/a=b/tty=x=y", UserDevice{"/tmp/a=b/tty=x", "y"}},
      {"", std::nullopt},
      {"=dova300-1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto got = ParseDeviceArgument(c.text);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (!got) continue;
    EXPECT_EQ(got->path, c.expected->path);
    EXPECT_EQ(got->serial, c.expected->serial);
  }
  EXPECT_EQ(SerialFromPath("/dev/pts/5"), "dova300-dev-pts-5");
  EXPECT_EQ(SerialFromPath("/dev/ttyS0"), "dova300-dev-ttys0");
  EXPECT_EQ(SerialFromPath("pts/5"), "dova300-pts-5");
}

TEST(LinuxSiLibraryTest, UserDevicesAreListedByLowerCaseSerial) {
  Pty a, b;
  ASSERT_TRUE(a.Ok() && b.Ok());
  LinuxSiLibrary lib("/nonexistent-sysfs", "/nonexistent-dev");
  lib.AddUserDevice(a.Path(), "ZZ-Adapter");
  lib.AddUserDevice(b.Path());
  lib.AddUserDevice("/nonexistent-dev/ttyUSB9", "DOVA300-GONE");  // not there: not listed

  const std::string derived = SerialFromPath(b.Path());
  EXPECT_EQ(derived.rfind("dova300-dev-pts-", 0), 0u);
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{derived, "zz-adapter"}));
  ASSERT_EQ(lib.Devices().size(), 2u);
  EXPECT_EQ(lib.Devices()[0].path, b.Path());
  EXPECT_EQ(lib.Devices()[1].path, a.Path());

  char buf[SI_MAX_DEVICE_STRLEN];
  EXPECT_EQ(lib.SI_GetProductString(2, buf, SI_RETURN_SERIAL_NUMBER), SI_DEVICE_NOT_FOUND);
  SiHandle h = 0;
  EXPECT_EQ(lib.SI_Open(2, &h), SI_DEVICE_NOT_FOUND);
}

TEST_F(PtyFixture, OpenIsExclusiveUntilClosed) {
  const SiHandle h = Open();
  SiHandle again = 0;
  EXPECT_NE(lib_.SI_Open(0, &again), SI_SUCCESS);
  // Another library instance stands for another program.
  LinuxSiLibrary other("/nonexistent-sysfs", "/nonexistent-dev");
  other.AddUserDevice(pty_.Path());
  std::uint32_t n = 0;
  ASSERT_EQ(other.SI_GetNumDevices(&n), SI_SUCCESS);
  EXPECT_NE(other.SI_Open(0, &again), SI_SUCCESS);

  ASSERT_EQ(lib_.SI_Close(h), SI_SUCCESS);
  ASSERT_EQ(other.SI_Open(0, &again), SI_SUCCESS);
  EXPECT_NE(lib_.SI_Open(0, &again), SI_SUCCESS);
  ASSERT_EQ(other.SI_Close(again), SI_SUCCESS);
  const SiHandle h2 = Open();
  EXPECT_NE(h2, h);  // a closed handle is never handed out again
  EXPECT_EQ(lib_.SI_Close(h2), SI_SUCCESS);
}

TEST_F(PtyFixture, TerminalIsInExclusiveModeOnlyWhileOpen) {
  const SiHandle h = Open();
  // Root is let through exclusive mode and can ask for it; anyone else is turned away.
  int fd = ::open(pty_.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  int exclusive = -1;
  if (fd >= 0) {
    ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
  } else {
    EXPECT_EQ(errno, EBUSY);
  }
  ASSERT_EQ(lib_.SI_Close(h), SI_SUCCESS);
  if (fd < 0) fd = ::open(pty_.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(fd);
}

TEST_F(PtyFixture, DeviceLockedByAnotherProgramIsRefused) {
  const int fd = ::open(pty_.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  SiHandle h = 0;
  EXPECT_NE(lib_.SI_Open(0, &h), SI_SUCCESS);
  ::close(fd);
  h = Open();
  EXPECT_EQ(lib_.SI_Close(h), SI_SUCCESS);
}

TEST_F(PtyFixture, LineRoundTripAt57600) {
  const SiHandle h = Open();
  ASSERT_EQ(lib_.SI_SetBaudRate(h, 57600), SI_SUCCESS);
  // The master reports the slave's settings: raw 8N1 at the requested rate.
  termios tio{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B57600));
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);

  std::uint32_t count = 99, status = 99, got = 99;
  char buf[64];
  // Nothing queued: both calls return at once with nothing.
  ASSERT_EQ(lib_.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(status, SI_RX_EMPTY);
  ASSERT_EQ(lib_.SI_Read(h, buf, sizeof buf, &got), SI_SUCCESS);
  EXPECT_EQ(got, 0u);

  std::uint32_t written = 0;
  ASSERT_EQ(lib_.SI_Write(h, "!GET SERL\r", 10, &written), SI_SUCCESS);
  EXPECT_EQ(written, 10u);
  EXPECT_EQ(pty_.Receive(10), "!GET SERL\r");  // no CR translation on the way out

  pty_.Send("SERL 1234\r");
  ASSERT_TRUE(WaitReadable(lib_.NativeHandle(h)));
  ASSERT_EQ(lib_.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
  EXPECT_EQ(status, SI_RX_READY);
  ASSERT_EQ(count, 10u);
  // At most the bytes asked for; the rest stays queued.
  ASSERT_EQ(lib_.SI_Read(h, buf, 4, &got), SI_SUCCESS);
  EXPECT_EQ(std::string(buf, got), "SERL");
  ASSERT_EQ(lib_.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
  EXPECT_EQ(count, 6u);
  ASSERT_EQ(lib_.SI_Read(h, buf, count, &got), SI_SUCCESS);
  EXPECT_EQ(std::string(buf, got), " 1234\r");
  EXPECT_EQ(lib_.SI_Close(h), SI_SUCCESS);
}

TEST_F(PtyFixture, BaudRates) {
  const SiHandle h = Open();
  struct Case {
    std::uint32_t baud;
    SiStatus status;
  };
  const Case cases[] = {{9600, SI_SUCCESS},           {19200, SI_SUCCESS},
                        {38400, SI_SUCCESS},          {115200, SI_SUCCESS},
                        {230400, SI_SUCCESS},         {0, SI_INVALID_BAUDRATE},
                        {57601, SI_INVALID_BAUDRATE}, {12345678, SI_INVALID_BAUDRATE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    EXPECT_EQ(lib_.SI_SetBaudRate(h, c.baud), c.status);
  }
  // A refused rate leaves the last good one in place.
  termios tio{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B230400));
  lib_.SI_Close(h);
}

TEST_F(PtyFixture, FlushDiscardsQueuedInput) {
  const SiHandle h = Open();
  std::uint32_t count = 99, status = 99;
  // Still in the tty, and already taken from it by a queue check.
  for (const bool checked : {false, true}) {
    SCOPED_TRACE(checked);
    pty_.Send("stale reply\r");
    ASSERT_TRUE(WaitReadable(lib_.NativeHandle(h)));
    if (checked) {
      ASSERT_EQ(lib_.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
      ASSERT_EQ(count, 12u);
    }
    ASSERT_EQ(lib_.SI_FlushBuffers(h, 1, 1), SI_SUCCESS);
    ASSERT_EQ(lib_.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(status, SI_RX_EMPTY);
  }
  lib_.SI_Close(h);
}

TEST_F(PtyFixture, OtherEndGoneFailsTheWriteButNotTheQueueCheck) {
  const SiHandle h = Open();
  pty_.CloseMaster();
  std::uint32_t written = 99;
  EXPECT_EQ(lib_.SI_Write(h, "!GET SERL\r", 10, &written), SI_WRITE_ERROR);
  EXPECT_EQ(written, 0u);
  std::uint32_t count = 99, status = 99;
  EXPECT_EQ(lib_.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(status, SI_RX_EMPTY);
  EXPECT_EQ(lib_.SI_Close(h), SI_SUCCESS);
}

TEST_F(PtyFixture, WriteGivesUpAfterTheWriteTimeOut) {
  ASSERT_EQ(lib_.SI_SetTimeouts(1000, 50), SI_SUCCESS);
  const SiHandle h = Open();
  // Nobody reads the master, so the terminal's buffers fill up long before this is out.
  const std::string block(4 * 1024 * 1024, 'x');
  std::uint32_t written = 0;
  EXPECT_EQ(lib_.SI_Write(h, block.data(), static_cast<std::uint32_t>(block.size()), &written),
            SI_WRITE_TIMED_OUT);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, block.size());
  lib_.SI_Close(h);
}

TEST_F(PtyFixture, CallsOnUnknownOrClosedHandles) {
  const SiHandle h = Open();
  std::uint32_t n = 0;
  // A zero-length write without a buffer is a successful no-op.
  EXPECT_EQ(lib_.SI_Write(h, nullptr, 0, &n), SI_SUCCESS);
  EXPECT_EQ(n, 0u);
  ASSERT_EQ(lib_.SI_Close(h), SI_SUCCESS);

  char buf[4];
  std::uint32_t status = 0;
  for (const SiHandle bad : {h, SiHandle{0}, SiHandle{12345}}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(lib_.SI_Close(bad), SI_INVALID_HANDLE);
    EXPECT_EQ(lib_.SI_SetBaudRate(bad, 57600), SI_INVALID_HANDLE);
    EXPECT_EQ(lib_.SI_CheckRXQueue(bad, &n, &status), SI_INVALID_HANDLE);
    EXPECT_EQ(lib_.SI_Read(bad, buf, sizeof buf, &n), SI_INVALID_HANDLE);
    EXPECT_EQ(lib_.SI_Write(bad, "x", 1, &n), SI_INVALID_HANDLE);
    EXPECT_EQ(lib_.SI_FlushBuffers(bad, 1, 1), SI_INVALID_HANDLE);
    EXPECT_EQ(lib_.NativeHandle(bad), -1);
  }
}

// A sysfs tree shaped like the kernel's: /sys/class/tty/ttyUSBn links into the device tree,
// and the tty's `device` link leads to the USB serial port, two folders below the USB device.
class FakeSysfs {
 public:
  explicit FakeSysfs(const fs::path& root) : root_(root) {
    fs::create_directories(root_ / "class" / "tty");
  }

  void Plug(const std::string& port, const std::string& tty, const std::string& vendor,
            const std::string& product, const std::optional<std::string>& serial) {
    const fs::path usb = root_ / "devices" / "pci0000:00" / "usb1" / port;
    const fs::path serial_port = usb / (port + ":1.0") / tty;
    const fs::path tty_dir = serial_port / "tty" / tty;
    fs::create_directories(tty_dir);
    Write(usb / "idVendor", vendor);
    Write(usb / "idProduct", product);
    if (serial) Write(usb / "serial", *serial);
    fs::create_directory_symlink("../../../" + tty, tty_dir / "device");
    fs::create_directory_symlink(
        "../../devices/pci0000:00/usb1/" + port + "/" + port + ":1.0/" + tty + "/tty/" + tty,
        root_ / "class" / "tty" / tty);
  }
  void Unplug(const std::string& port, const std::string& tty) {
    fs::remove(root_ / "class" / "tty" / tty);
    fs::remove_all(root_ / "devices" / "pci0000:00" / "usb1" / port);
  }

 private:
  static void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << '\n';
  }
  fs::path root_;
};

// A temporary sysfs tree and device folder, and a library that looks at them.
class LinuxSiLibrarySysfsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(tmp.Path().empty()); }

  TempDir tmp;
  const fs::path dev = [this] {
    fs::create_directories(tmp.Path() / "dev");
    return tmp.Path() / "dev";
  }();
  FakeSysfs sys{tmp.Path() / "sys"};
};

TEST_F(LinuxSiLibrarySysfsTest, ListsOnlyDriverBridgesByTheirSerial) {
  sys.Plug("1-1", "ttyUSB3", "10c4", "ea61", "DOVA300-0000BEEF");
  sys.Plug("1-2", "ttyUSB7", "10C4", "EA61", "DOVA300-00000001");
  sys.Plug("1-3", "ttyUSB0", "10c4", "ea60", "DOVA300-0000CAFE");  // the converter's
  sys.Plug("1-4", "ttyUSB1", "0403", "ea61", "DOVA300-0000F00D");  // another maker
  sys.Plug("1-5", "ttyUSB2", "10c4", "ea61", std::nullopt);        // no serial
  // A tty that is not a USB serial port is not looked at.
  fs::create_directories(tmp.Path() / "sys" / "class" / "tty" / "ttyS0");

  LinuxSiLibrary lib((tmp.Path() / "sys").string(), dev.string());
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{"dova300-00000001", "dova300-0000beef"}));
  ASSERT_EQ(lib.Devices().size(), 2u);
  EXPECT_EQ(lib.Devices()[0].path, (dev / "ttyUSB7").string());
  EXPECT_EQ(lib.Devices()[1].path, (dev / "ttyUSB3").string());

  // Plugged in again, the bridge comes back under another tty number and keeps its place.
  sys.Unplug("1-1", "ttyUSB3");
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{"dova300-00000001"}));
  sys.Plug("1-6", "ttyUSB4", "10c4", "ea61", "DOVA300-0000BEEF");
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{"dova300-00000001", "dova300-0000beef"}));
  EXPECT_EQ(lib.Devices()[1].path, (dev / "ttyUSB4").string());

  // The listed device node is what gets opened: stand a pseudo-terminal in for it.
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  fs::create_symlink(pty.Path(), dev / "ttyUSB4");
  SiHandle h = 0;
  ASSERT_EQ(lib.SI_Open(1, &h), SI_SUCCESS);
  std::uint32_t written = 0;
  ASSERT_EQ(lib.SI_Write(h, "!GET NICK\r", 10, &written), SI_SUCCESS);
  EXPECT_EQ(pty.Receive(10), "!GET NICK\r");
  // ttyUSB7 has no device node here.
  SiHandle h2 = 0;
  EXPECT_NE(lib.SI_Open(0, &h2), SI_SUCCESS);
  EXPECT_EQ(lib.SI_Close(h), SI_SUCCESS);
}

// The search lists every device again at each scan; one we hold is listed as it was when
// opened, without reading sysfs (its attributes made unreadable here show that), until it is
// let go or unplugged.
TEST_F(LinuxSiLibrarySysfsTest, AHeldBridgeIsListedAsOpenedUntilLetGoOrUnplugged) {
  sys.Plug("1-1", "ttyUSB0", "10c4", "ea61", "DOVA300-0000BEEF");
  sys.Plug("1-2", "ttyUSB1", "10c4", "ea61", "DOVA300-0000CAFE");
  Pty pty0, pty1;
  ASSERT_TRUE(pty0.Ok() && pty1.Ok());
  fs::create_symlink(pty0.Path(), dev / "ttyUSB0");
  fs::create_symlink(pty1.Path(), dev / "ttyUSB1");
  LinuxSiLibrary lib((tmp.Path() / "sys").string(), dev.string());
  ASSERT_EQ(Serials(lib), (std::vector<std::string>{"dova300-0000beef", "dova300-0000cafe"}));
  SiHandle beef = 0, cafe = 0;
  ASSERT_EQ(lib.SI_Open(0, &beef), SI_SUCCESS);
  ASSERT_EQ(lib.SI_Open(1, &cafe), SI_SUCCESS);
  for (const char* port : {"1-1", "1-2"})
    fs::remove(tmp.Path() / "sys" / "devices" / "pci0000:00" / "usb1" / port / "serial");
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{"dova300-0000beef", "dova300-0000cafe"}));
  // Let go, it is read afresh (and without a serial it is no incubator).
  EXPECT_EQ(lib.SI_Close(beef), SI_SUCCESS);
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{"dova300-0000cafe"}));
  // Unplugged while held: its tty leaves the folder, and the listing with it.
  sys.Unplug("1-2", "ttyUSB1");
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{}));
  EXPECT_EQ(lib.SI_Close(cafe), SI_SUCCESS);
}

TEST_F(LinuxSiLibrarySysfsTest, ABridgeWhoseTtyTheUserMayNotOpenSaysSo) {
  sys.Plug("1-1", "ttyUSB0", "10c4", "ea61", "DOVA300-0000BEEF");
  // The tty as the kernel leaves it without a udev rule: its owner's only.
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  ASSERT_EQ(chmod(pty.Path().c_str(), dova::testing::DeniedMode()), 0);
  fs::create_symlink(pty.Path(), dev / "ttyUSB0");
  ASSERT_EQ(chmod(tmp.Path().c_str(), 0755), 0);

  LinuxSiLibrary lib((tmp.Path() / "sys").string(), dev.string());
  const int status = dova::testing::RunUnprivileged([&] {
    std::uint32_t n = 0;
    if (lib.SI_GetNumDevices(&n) != SI_SUCCESS || n != 1) return 1;
    SiHandle h = 0;
    return lib.SI_Open(0, &h);
  });
  EXPECT_EQ(status, SI_ACCESS_DENIED);
}

TEST_F(LinuxSiLibrarySysfsTest, UserNamedBridgeIsListedOnce) {
  sys.Plug("1-1", "ttyUSB0", "10c4", "ea61", "DOVA300-0000BEEF");
  std::ofstream(dev / "ttyUSB0").put('\0');

  LinuxSiLibrary lib((tmp.Path() / "sys").string(), dev.string());
  lib.AddUserDevice((dev / "ttyUSB0").string(), "dova300-bench");
  EXPECT_EQ(Serials(lib), (std::vector<std::string>{"dova300-bench"}));
}

}  // namespace
}  // namespace dova::bridge
