#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/bridge/si_library.h"

namespace dova::bridge {

// The bridge driver library of this platform: the incubators' USB bridges, plus the serial
// devices named on the command line as PATH[=SERIAL] (a pseudo-terminal, an RS-232 adapter).
// Null, with `error` naming the argument, when a device argument holds no path.
std::unique_ptr<SiLibrary> CreateBridgeLibrary(const std::vector<std::string>& devices,
                                               std::string& error);

}  // namespace dova::bridge
