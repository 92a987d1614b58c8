#include "platform/serial/linux/custom_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace dova::serial_linux {

int SetCustomBaud(int fd, unsigned baud) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) < 0) return errno;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &tio) < 0) return errno;
  return 0;
}

}  // namespace dova::serial_linux
