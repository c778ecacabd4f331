// The serial backend over POSIX descriptors: non-blocking reads awaited with
// ppoll for exactly the remaining time, an edge-triggered epoll for the receive
// notification, exclusivity through TIOCEXCL and an advisory lock.

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "serial/com_port.h"
#include "serial/linux/raw_line.h"
#include "serial/posix/port_lock.h"

namespace bq {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

[[noreturn]] void ThrowOs(int code) {
  throw PortError(std::strerror(code), code);
}

void CheckOs(int result) {
  if (result < 0) ThrowOs(errno);
}

// Pseudo-terminals and some adapters have no modem lines; the same code must run on them.
bool NoModemLines(int code) {
  return code == ENOTTY || code == EINVAL;
}

// Milliseconds from now until deadline, clipped at 0.
timespec Remaining(Clock::time_point deadline) {
  auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

class PosixSerialBackend : public SerialBackend {
 public:
  ~PosixSerialBackend() override {
    Close();
    ReleaseHold();
  }

  void Open(const std::string& deviceName) override {
    if (ReopenHeld(deviceName)) return;
    ReleaseHold();
    int fd = ::open(deviceName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) ThrowOs(errno);
    fd_ = fd;
    lost_ = false;
    try {
      if (int err = posix::LockPort(fd_); err != 0) ThrowOs(err);
      OpenWatch();
      heldName_ = deviceName;
      if (holdWanted_) TakeHold();
    } catch (...) {
      Close();
      throw;
    }
  }

  // While held, the open device stays ours between a Close and the next Open:
  // a second descriptor keeps the lock and the exclusive mode, and the next
  // Open of the same device takes that descriptor again.
  void SetHold(bool hold) override {
    holdWanted_ = hold;
    if (!hold) {
      ReleaseHold();
    } else if (fd_ >= 0) {
      TakeHold();
    }
  }

  void ApplyLineSettings(const LineSettings& line) override {
    if (int e = rawline::ApplyRaw8N1(fd_, line.baudRate)) ThrowOs(e);
    SetDtr(line.dtrEnabled);
    SetRts(line.rtsEnabled);
  }

  void Close() override {
    if (epoll_ >= 0) ::close(epoll_);
    if (wake_ >= 0) ::close(wake_);
    // Closing the last descriptor of the device releases the lock and the exclusive mode.
    if (fd_ >= 0) ::close(fd_);
    epoll_ = wake_ = fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  void SetBaudRate(uint32_t rate) override {
    if (int e = rawline::SetRate(fd_, rate)) ThrowOs(e);
  }

  // The kernel sizes its tty buffers itself; 4 KiB in either direction holds
  // more than a whole frame, which is all the sizes are asked for.
  void SetBufferSizes(size_t, size_t) override {}

  void DiscardInput() override { CheckOs(::tcflush(fd_, TCIFLUSH)); }
  void DiscardOutput() override { CheckOs(::tcflush(fd_, TCOFLUSH)); }
  void Drain() override { CheckOs(::tcdrain(fd_)); }

  size_t InputCount() override { return QueueCount(FIONREAD); }
  size_t OutputCount() override { return QueueCount(TIOCOUTQ); }

  size_t Read(uint8_t* buffer, size_t count, const Timeouts& t) override {
    return ReadAhead(buffer, count, count, 0, t);
  }

  size_t ReadAhead(uint8_t* buffer, size_t count, size_t capacity, size_t held,
                   const Timeouts& t) override {
    const auto start = Clock::now();
    const bool totalLimit = t.readMultiplier != 0 || t.readConstant != 0;
    const auto deadline =
        start + milliseconds(uint64_t{t.readMultiplier} * (held + count) + t.readConstant);
    Clock::time_point lastArrival = start;
    size_t got = 0;
    while (got < count) {
      size_t n = ReadNow(buffer + got, capacity - got);
      if (n > 0) {
        got += n;
        lastArrival = Clock::now();
        continue;
      }
      Clock::time_point until = totalLimit ? deadline : Clock::time_point::max();
      if (held + got > 0 && t.readInterval != 0)
        until = std::min(until, lastArrival + milliseconds(t.readInterval));
      if (until != Clock::time_point::max() && Clock::now() >= until) break;
      WaitReadable(until);
    }
    return got;
  }

  size_t ReadNow(uint8_t* buffer, size_t count) override {
    for (;;) {
      ssize_t n = ::read(fd_, buffer, count);
      if (n > 0) return static_cast<size_t>(n);
      if (n == 0) Lost(EIO);  // the other end is gone for good
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      if (errno == EIO || errno == ENXIO || errno == ENODEV) Lost(errno);
      ThrowOs(errno);
    }
  }

  size_t Write(const uint8_t* buffer, size_t count, const Timeouts& t,
               const std::atomic<bool>& abort) override {
    const bool limited = t.writeMultiplier != 0 || t.writeConstant != 0;
    const auto deadline =
        limited ? Clock::now() + milliseconds(uint64_t{t.writeMultiplier} * count + t.writeConstant)
                : Clock::time_point::max();
    size_t done = 0;
    while (done < count) {
      ssize_t n = ::write(fd_, buffer + done, count - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        if (errno == EIO || errno == ENXIO || errno == ENODEV) Lost(errno);
        ThrowOs(errno);
      }
      if (abort || Clock::now() >= deadline) break;
      // Short slices so that an abort is seen soon.
      WaitWritable(std::min(deadline, Clock::now() + milliseconds(20)));
    }
    return done;
  }

  void SetDtr(bool high) override { ModemLine(TIOCM_DTR, high); }
  void SetRts(bool high) override { ModemLine(TIOCM_RTS, high); }

  bool WaitForInput() override {
    epoll_event events[2];
    for (;;) {
      int n = ::epoll_wait(epoll_, events, 2, -1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      bool arrived = false;
      for (int i = 0; i < n; ++i) {
        if (events[i].data.fd == wake_) return false;
        if (events[i].events & (EPOLLHUP | EPOLLERR)) {
          lost_ = true;
          return false;
        }
        if (events[i].events & EPOLLIN) arrived = true;
      }
      if (arrived) return true;
    }
  }

  void InterruptWait() override {
    uint64_t one = 1;
    if (wake_ >= 0 && ::write(wake_, &one, sizeof one) < 0) {
      // The counter is far from full; nothing else can make this fail.
    }
  }

  bool DeviceLost() const override { return lost_; }

  void RaisePriority() override {
    errno = 0;
    int current = ::getpriority(PRIO_PROCESS, 0);
    if (errno != 0) return;
    savedNice_ = current;
    // An unprivileged user may be refused; the port works all the same.
    if (::setpriority(PRIO_PROCESS, 0, std::min(current, -10)) < 0) savedNice_.reset();
  }

  void RestorePriority() override {
    if (savedNice_) ::setpriority(PRIO_PROCESS, 0, *savedNice_);
    savedNice_.reset();
  }

 private:
  void TakeHold() {
    if (holdFd_ < 0) holdFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  }

  void ReleaseHold() {
    if (holdFd_ >= 0) ::close(holdFd_);
    holdFd_ = -1;
  }

  // Opens the held device again; false when there is no hold on that device or
  // the device hung up meanwhile (then it is opened afresh by name).
  bool ReopenHeld(const std::string& deviceName) {
    if (holdFd_ < 0 || deviceName != heldName_) return false;
    pollfd p{holdFd_, 0, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
    fd_ = ::fcntl(holdFd_, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) ThrowOs(errno);
    lost_ = false;
    try {
      OpenWatch();
    } catch (...) {
      Close();
      throw;
    }
    return true;
  }

  // One edge-triggered watch on the device: one wake-up per arrival, bytes left alone.
  void OpenWatch() {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    CheckOs(epoll_);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    CheckOs(wake_);
    epoll_event device{};
    device.events = EPOLLIN | EPOLLET;
    device.data.fd = fd_;
    CheckOs(::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd_, &device));
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = wake_;
    CheckOs(::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &wake));
  }

  size_t QueueCount(unsigned long request) {
    int n = 0;
    CheckOs(::ioctl(fd_, request, &n));
    return static_cast<size_t>(std::max(n, 0));
  }

  void ModemLine(int line, bool high) {
    if (::ioctl(fd_, high ? TIOCMBIS : TIOCMBIC, &line) < 0 && !NoModemLines(errno)) ThrowOs(errno);
  }

  // Waits for input or a hang-up until deadline; a hang-up with nothing left to read is a loss.
  void WaitReadable(Clock::time_point deadline) {
    pollfd p{fd_, POLLIN, 0};
    timespec left = Remaining(deadline);
    int r = ::ppoll(&p, 1, deadline == Clock::time_point::max() ? nullptr : &left, nullptr);
    if (r < 0 && errno != EINTR) ThrowOs(errno);
    if (r > 0 && !(p.revents & POLLIN) && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) Lost(EIO);
  }

  void WaitWritable(Clock::time_point deadline) {
    pollfd p{fd_, POLLOUT, 0};
    timespec left = Remaining(deadline);
    int r = ::ppoll(&p, 1, &left, nullptr);
    if (r < 0 && errno != EINTR) ThrowOs(errno);
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) Lost(EIO);
  }

  [[noreturn]] void Lost(int code) {
    lost_ = true;
    ThrowOs(code);
  }

  int fd_ = -1;
  int holdFd_ = -1;
  bool holdWanted_ = false;
  std::string heldName_;
  int epoll_ = -1;
  int wake_ = -1;
  std::atomic<bool> lost_{false};
  std::optional<int> savedNice_;
};

}  // namespace

std::unique_ptr<SerialBackend> MakeDefaultSerialBackend() {
  return std::make_unique<PosixSerialBackend>();
}

}  // namespace bq
