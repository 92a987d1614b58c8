#pragma once

#include <memory>

#include "platform/manufacturing/cp210x_library.h"

namespace dova::manufacturing {

// The bridge manufacturing library of this platform, over the USB bus of this computer.
std::unique_ptr<CP210xLibrary> CreateManufacturingLibrary();

}  // namespace dova::manufacturing
