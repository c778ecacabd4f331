#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shell/file_system.h"

namespace bq {

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

SmallFileRead ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string* data) {
  using Status = SmallFileRead::Status;
  // O_NONBLOCK: a FIFO without a writer or a terminal does not hold the open;
  // O_NOCTTY: a terminal never becomes the program's controlling one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {errno == ENOENT ? Status::Missing : Status::Failed, errno};
  auto done = [fd](SmallFileRead result) {
    ::close(fd);
    return result;
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return done({Status::Failed, errno});
  if (!S_ISREG(st.st_mode)) return done({Status::NotRegular, 0});
  if (static_cast<unsigned long long>(st.st_size) > maxBytes) return done({Status::TooLarge, 0});
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done({Status::Failed, errno});
    if (n == 0) break;
    // A file that grows while it is read stops at the limit too.
    if (text.size() + static_cast<size_t>(n) > maxBytes) return done({Status::TooLarge, 0});
    text.append(buffer, static_cast<size_t>(n));
  }
  *data += text;
  return done({Status::Ok, 0});
}

}  // namespace bq
