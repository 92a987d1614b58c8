#pragma once

namespace dova::serial_linux {

// Sets a rate that has no Bxxx constant (14400, 56000, 128000, 256000, a user rate) on an
// open tty. Returns 0 or an errno value. Kept apart: its kernel header clashes with
// <termios.h>.
int SetCustomBaud(int fd, unsigned baud);

}  // namespace dova::serial_linux
