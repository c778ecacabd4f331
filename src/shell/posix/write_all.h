#pragma once
// Writing a whole buffer to a POSIX file descriptor, for the shell's platform files.

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

namespace bq::posix {

// Writes all of data at fd's position, again after an interrupted write;
// 0, or the system's error.
inline int WriteAll(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace bq::posix
