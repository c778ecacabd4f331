#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "serial/posix/port_lock.h"

namespace bq::posix {

int LockPort(int fd) {
  // TIOCEXCL keeps other users out; pseudo-terminals and some adapters
  // without modem lines refuse it, and are locked all the same.
  if (::ioctl(fd, TIOCEXCL) < 0 && errno != ENOTTY && errno != EINVAL) return errno;
  // The lock also stops a second program run as root.
  if (::flock(fd, LOCK_EX | LOCK_NB) < 0) return errno == EWOULDBLOCK ? EBUSY : errno;
  return 0;
}

}  // namespace bq::posix
