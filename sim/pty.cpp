#include "pty.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "line_rate.h"
#include "virtual_device.h"

namespace bq::sim {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw SimError(what + ": " + std::strerror(errno));
}

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

void RemoveLink(const std::string& link) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(link.c_str());
}

}  // namespace bq::sim
