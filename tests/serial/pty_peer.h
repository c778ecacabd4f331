#pragma once
// The far end of a pseudo-terminal, standing in for the device on the cable.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "serial/com_port.h"

namespace bq::test {

class PtyPeer {
 public:
  PtyPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) < 0 || ::unlockpt(master_) < 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0)
      throw std::runtime_error("no pseudo-terminal");
    slaveName_ = name;  // the port under test opens it by name
  }
  ~PtyPeer() { Unplug(); }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& SlaveName() const { return slaveName_; }
  int Master() const { return master_; }

  void Write(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) throw std::runtime_error("write to the pseudo-terminal failed");
      done += static_cast<size_t>(n);
    }
  }

  // Reads until count bytes came or nothing arrives for quietMs.
  Bytes Read(size_t count, int quietMs = 500) {
    Bytes bytes;
    while (bytes.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0) break;
      uint8_t chunk[4096];
      ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
      if (n <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

  // The cable is pulled: the port sees a hang-up.
  void Unplug() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slaveName_;
};

// Milliseconds taken by f.
template <typename F>
double ElapsedMs(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace bq::test
