// Kept apart: <asm/termbits.h> clashes with <termios.h>.
#include "line_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace bq::sim {

uint32_t ReadLineRate(int fd) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
  return tio.c_ospeed;
}

bool SetLineRate(int fd, uint32_t rate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = rate;
  tio.c_ospeed = rate;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace bq::sim
