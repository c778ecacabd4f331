#include "pty.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "line_rate.h"
#include "virtual_device.h"

namespace bq::sim {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw SimError(what + ": " + std::strerror(errno));
}

// Held while a link is pointed or removed, so that a device taking the link
// over and one letting it go never interleave between reading the link and
// removing it. Several devices may share the folder, so the lock is on it.
class LinkFolderLock {
 public:
  explicit LinkFolderLock(const std::string& link) {
    std::string folder = std::filesystem::path(link).parent_path();
    if (folder.empty()) folder = ".";
    fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0) flock(fd_, LOCK_EX);  // no lock to be had: carry on unguarded
  }
  ~LinkFolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  LinkFolderLock(const LinkFolderLock&) = delete;
  LinkFolderLock& operator=(const LinkFolderLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

void Pty::Open(uint32_t rate) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    const int saved = errno;
    Close();
    errno = saved;
    Fail("preparing the pseudo-terminal");
  }
  slavePath_ = name;
  ownSlave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ownSlave_ < 0) {
    const int saved = errno;
    Close();
    errno = saved;
    Fail("opening " + std::string(name));
  }
  termios tio{};
  tcgetattr(ownSlave_, &tio);
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tcsetattr(ownSlave_, TCSANOW, &tio);
  SetLineRate(ownSlave_, rate);
  // Replies are written without blocking so that Stop and Unplug never wait on
  // a tool that does not read.
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

void Pty::Close() {
  if (master_ >= 0) close(master_);
  if (ownSlave_ >= 0) close(ownSlave_);
  master_ = -1;
  ownSlave_ = -1;
  slavePath_.clear();
}

void PointLink(const std::string& link, const std::string& target) {
  LinkFolderLock lock(link);
  const std::string temporary = link + ".tmp" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) Fail("creating link " + temporary);
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    const int saved = errno;
    unlink(temporary.c_str());
    errno = saved;
    Fail("moving link to " + link);
  }
}

void RemoveLink(const std::string& link, const std::string& target) {
  LinkFolderLock lock(link);
  std::error_code error;
  if (std::filesystem::read_symlink(link, error) == target && !error) unlink(link.c_str());
}

}  // namespace bq::sim
