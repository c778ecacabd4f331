#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "shell/file_system.h"
#include "shell/posix/write_all.h"
#include "shell/safe_file.h"

namespace bq {

namespace {

using posix::WriteAll;

FileAppend CreateThenWrite(const std::string& path, std::string_view data) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return {false, errno};
  int err = WriteAll(fd, data);
  if (::close(fd) != 0 && err == 0) err = errno;
  return {true, err};
}

// A new file that appears with all of its data at once: written under a name
// of its own, then linked to path, which fails if path exists. A writer that
// appends to path meanwhile therefore never gets in before the data.
FileAppend CreateWithData(const std::string& path, std::string_view data) {
  const std::string temporary = RandomTemporaryName(path);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return {false, errno};
  int err = WriteAll(fd, data);
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::link(temporary.c_str(), path.c_str()) != 0) {
    const int linkError = errno;
    ::unlink(temporary.c_str());
    // A file system without hard links gets the plain exclusive create.
    return linkError == EEXIST ? FileAppend{false, EEXIST} : CreateThenWrite(path, data);
  }
  ::unlink(temporary.c_str());
  // Created, though perhaps not written: the caller says the write failed.
  return {true, err};
}

}  // namespace

FileAppend AppendToFile(const std::string& path, std::string_view data, FileOpening opening) {
  if (opening == FileOpening::CreateNew) return CreateWithData(path, data);
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return {false, errno};
  int err = WriteAll(fd, data);
  if (::close(fd) != 0 && err == 0) err = errno;
  return {true, err};
}

namespace {

class PosixFileReader : public FileReader {
 public:
  explicit PosixFileReader(int fd) : fd_(fd) {}
  ~PosixFileReader() override { ::close(fd_); }
  PosixFileReader(const PosixFileReader&) = delete;
  PosixFileReader& operator=(const PosixFileReader&) = delete;

  std::ptrdiff_t Read(char* buffer, std::size_t size, int* error) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) *error = errno;
      return n;
    }
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<FileReader> OpenRegularFileForReading(const std::string& path, int* error) {
  // O_NONBLOCK keeps a FIFO without a writer from blocking the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? EISDIR : 0;
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return std::make_unique<PosixFileReader>(fd);
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

namespace {

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

}  // namespace

bool MakeUniqueFolder(std::string& pattern) {
  if (::mkdtemp(pattern.data()) == nullptr) return false;
  // mkdtemp makes it private; the folder it stands for would not be.
  ::chmod(pattern.c_str(), 0777 & ~CurrentUmask());
  return true;
}

bool RenameFolderNoReplace(const std::string& from, const std::string& to) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
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
