#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

namespace dova {

// The termios speed constant for a standard baud rate; none for a rate termios has no
// constant for.
std::optional<speed_t> StandardTtySpeed(std::uint32_t baud);

}  // namespace dova
