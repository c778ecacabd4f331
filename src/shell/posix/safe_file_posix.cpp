#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shell/posix/write_all.h"
#include "shell/safe_file.h"

namespace bq {

namespace {

using posix::WriteAll;

// Gives the complete temporary file its final name; the system's error, or 0.
int Place(const std::string& temporary, const std::string& path, ReplaceMode mode) {
  if (mode == ReplaceMode::Replace) {
    return ::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
  }
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without that rename: a hard link fails just as well on a taken name.
  if (::link(temporary.c_str(), path.c_str()) != 0) return errno;
  ::unlink(temporary.c_str());
  return 0;
}

// Makes a rename in the folder of path durable.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::optional<SafeWriteError> WriteFileSafely(const std::string& path, std::string_view data,
                                              ReplaceMode mode) {
  // O_EXCL with O_NOFOLLOW: a name someone placed there, a link above all,
  // is never opened; another random name is tried instead.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = RandomTemporaryName(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return SafeWriteError{SafeWriteError::Step::Create, errno};

  // A replaced file keeps its permissions.
  struct stat old {};
  if (mode == ReplaceMode::Replace && ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  }
  int err = WriteAll(fd, data);
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    ::unlink(temporary.c_str());
    return SafeWriteError{SafeWriteError::Step::Write, err};
  }
  if (err = Place(temporary, path, mode); err != 0) {
    ::unlink(temporary.c_str());
    return SafeWriteError{SafeWriteError::Step::Place, err};
  }
  SyncFolderOf(path);
  return std::nullopt;
}

}  // namespace bq
