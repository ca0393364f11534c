#include "bacnet/datalink/serial_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int serial_speed_set(int fd, uint32_t baud_rate)
{
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) != 0)
    return errno;
  settings.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = baud_rate;
  settings.c_ospeed = baud_rate;
  return ioctl(fd, TCSETS2, &settings) == 0 ? 0 : errno;
}

int serial_speed_get(int fd, uint32_t* baud_rate)
{
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) != 0)
    return errno;
  *baud_rate = settings.c_ospeed;
  return 0;
}
