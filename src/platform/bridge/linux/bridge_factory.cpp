#include "platform/bridge/bridge_factory.h"

#include "platform/bridge/linux/linux_library.h"

namespace dova::bridge {

std::unique_ptr<SiLibrary> CreateBridgeLibrary(const std::vector<std::string>& devices,
                                               std::string& error) {
  auto library = std::make_unique<LinuxSiLibrary>();
  for (const std::string& argument : devices) {
    const auto device = ParseDeviceArgument(argument);
    if (!device) {
      error = "bad --device " + argument;
      return nullptr;
    }
    library->AddUserDevice(device->path, device->serial);
  }
  return library;
}

}  // namespace dova::bridge
