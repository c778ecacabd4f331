#pragma once
// Keeping a serial port to this program while it is open: the terminal's
// exclusive mode and an advisory lock. Used by the POSIX serial back end.

namespace bq::posix {

// Takes the port open on fd for this program alone. Returns 0, or the system's
// error (EBUSY when another program holds it).
int LockPort(int fd);

}  // namespace bq::posix
