#include "serial/linux/raw_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace bq::rawline {

namespace {

int Get(int fd, termios2& t) {
  return ioctl(fd, TCGETS2, &t) == 0 ? 0 : errno;
}

int Set(int fd, const termios2& t) {
  return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

// Both directions at rate, whatever the rate: BOTHER for output and input alike.
void PutRate(termios2& t, unsigned rate) {
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ospeed = rate;
  t.c_ispeed = rate;
}

}  // namespace

int ApplyRaw8N1(int fd, unsigned rate) {
  termios2 t{};
  if (int e = Get(fd, t)) return e;
  t.c_iflag = 0;  // no parity check, no XON/XOFF, no CR/LF mapping, no stripping
  t.c_oflag = 0;
  t.c_lflag = 0;  // no echo, no line editing, no signals
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  PutRate(t, rate);
  return Set(fd, t);
}

int SetRate(int fd, unsigned rate) {
  termios2 t{};
  if (int e = Get(fd, t)) return e;
  PutRate(t, rate);
  return Set(fd, t);
}

int GetRates(int fd, unsigned* inputRate, unsigned* outputRate) {
  termios2 t{};
  if (int e = Get(fd, t)) return e;
  *inputRate = t.c_ispeed;
  *outputRate = t.c_ospeed;
  return 0;
}

}  // namespace bq::rawline
