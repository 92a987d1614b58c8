#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "platform/serial/linux/sysfs_port_map.h"
#include "support/unprivileged.h"

namespace dova {
namespace {

namespace fs = std::filesystem;

// A sysfs tree as the kernel lays it out for USB serial adapters: the tty's device link
// points at the port below the USB interface, whose parent is the USB device.
class SysfsTree {
 public:
  SysfsTree() : root_(dir_.path().toStdString()) { fs::create_directories(root_ / "class/tty"); }

  void AddUsbTty(const std::string& tty, const std::string& usb, const std::string& vid,
                 const std::string& pid, const std::string& serial) {
    const fs::path device = root_ / "devices/usb1" / usb;
    const fs::path port = device / (usb + ":1.0") / tty;
    fs::create_directories(port);
    Write(device / "idVendor", vid);
    Write(device / "idProduct", pid);
    if (!serial.empty()) Write(device / "serial", serial);
    fs::create_directories(root_ / "class/tty" / tty);
    fs::create_directory_symlink(port, root_ / "class/tty" / tty / "device");
  }
  void AddVirtualTty(const std::string& tty) { fs::create_directories(root_ / "class/tty" / tty); }
  std::string Root() const { return root_.string(); }

 private:
  static void Write(const fs::path& file, const std::string& value) {
    std::ofstream(file) << value << "\n";
  }
  QTemporaryDir dir_;
  fs::path root_;
};

TEST(SysfsSerialPortMapTest, ListsSerialDriverBridgesOnlyInNaturalOrder) {
  SysfsTree tree;
  tree.AddUsbTty("ttyUSB10", "1-4", "10c4", "ea60", "0010");
  tree.AddUsbTty("ttyUSB2", "1-1", "10c4", "ea60", "VCP0002");
  tree.AddUsbTty("ttyUSB3", "1-2", "10c4", "ea61", "dova300-1");  // already converted
  tree.AddUsbTty("ttyUSB4", "1-3", "0403", "6001", "FT1234");     // another maker's adapter
  tree.AddUsbTty("ttyUSB5", "1-5", "10c4", "ea60", "");           // no serial: cannot be told apart
  tree.AddVirtualTty("tty0");
  // Only the USB serial drivers' ports are looked at (the bridge's driver names them so).
  tree.AddUsbTty("ttyS0", "1-6", "10c4", "ea60", "VCP0006");

  SysfsSerialPortMap map(tree.Root(), "/dev");
  const auto ports = map.BridgePorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].DevicePath, "/dev/ttyUSB2");
  EXPECT_EQ(ports[0].InstanceName, "VCP0002");
  EXPECT_EQ(ports[1].DevicePath, "/dev/ttyUSB10");
  EXPECT_EQ(ports[1].InstanceName, "0010");
}

TEST(SysfsSerialPortMapTest, APortTheProgramMayNotOpenIsListedAsSuch) {
  SysfsTree tree;
  tree.AddUsbTty("ttyUSB0", "1-1", "10c4", "ea60", "VCP0001");
  tree.AddUsbTty("ttyUSB1", "1-2", "10c4", "ea60", "VCP0002");
  // The device nodes: one left to its owner alone (no udev rule), one open to everybody.
  const fs::path dev = fs::path(tree.Root()) / "dev";
  fs::create_directories(dev);
  std::ofstream(dev / "ttyUSB0").put('\n');
  std::ofstream(dev / "ttyUSB1").put('\n');
  ASSERT_EQ(chmod((dev / "ttyUSB0").c_str(), testing::DeniedMode()), 0);
  ASSERT_EQ(chmod((dev / "ttyUSB1").c_str(), 0666), 0);
  // The check runs in a child that cannot override permissions; the tree must be
  // reachable for it.
  ASSERT_EQ(chmod(tree.Root().c_str(), 0755), 0);
  SysfsSerialPortMap map(tree.Root(), dev.string());
  const int seen = testing::RunUnprivileged([&] {
    const auto ports = map.BridgePorts();
    if (ports.size() != 2) return 1;
    return (ports[0].AccessDenied ? 2 : 0) + (ports[1].AccessDenied ? 4 : 0) + 10;
  });
  EXPECT_EQ(seen, 10 + 2);
}

TEST(SysfsSerialPortMapTest, AMissingTreeListsNothing) {
  SysfsSerialPortMap map("/nonexistent-sysfs-root");
  EXPECT_TRUE(map.BridgePorts().empty());
}

TEST(SysfsSerialPortMapTest, NaturalOrderComparesNumbersByValue) {
  EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
  EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
  EXPECT_TRUE(NaturalLess("ttyACM9", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("ttyUSB1", "ttyUSB1a"));
  EXPECT_FALSE(NaturalLess("ttyUSB1", "ttyUSB1"));
}

}  // namespace
}  // namespace dova
