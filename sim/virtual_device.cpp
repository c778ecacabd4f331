#include "virtual_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <future>
#include <optional>
#include <thread>

#include "boot_loader.h"
#include "device_memory.h"
#include "fault_plan.h"
#include "frame_codec.h"
#include "line_rate.h"
#include "pacer.h"
#include "pty.h"

namespace bq::sim {
namespace {

using Clock = std::chrono::steady_clock;

// A pause longer than this inside a frame makes the loader hunt for a new one,
// so a request cut short does not swallow the next.
constexpr auto kInterByteGap = std::chrono::milliseconds(100);
// Safeguard when the line reports a hang-up although the device holds a slave
// of its own: wait this long for the line to come back instead of spinning.
constexpr int kHangupWaitMs = 10;
// Long sleeps go in slices of this, so Stop is never held up by a slow reply.
constexpr auto kSleepSlice = std::chrono::milliseconds(10);
// Timer slack for a pacing device thread: wake-ups within a few microseconds
// of the byte times instead of the default 50.
constexpr unsigned long kPacingTimerSlackNs = 1000;

timespec ToMonotonic(Clock::time_point t) {
  // steady_clock reads CLOCK_MONOTONIC on Linux.
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch());
  return {static_cast<time_t>(ns.count() / 1'000'000'000),
          static_cast<long>(ns.count() % 1'000'000'000)};
}

}  // namespace

struct VirtualDevice::Impl {
  explicit Impl(SimOptions opts)
      : options(std::move(opts)),
        memory(DeviceMemory::Initial(options)),
        loader(options, memory),
        faults(options.faults),
        pacer(options.baudRate) {}

  // --- state that callers read, under `mutex` ---
  const SimOptions options;
  mutable std::mutex mutex;
  mutable std::condition_variable requestsChanged;
  DeviceMemory memory;
  BootLoader loader;
  FaultPlan faults;
  std::vector<Request> requests;
  SimStats stats;
  bool inBootMode = true;
  bool plugged = false;
  std::string slavePath;
  std::function<void(const Request&)> observer;

  // --- the device thread's own state ---
  Pty pty;
  FrameHunter hunter;
  Pacer pacer;
  Clock::time_point lastByte{};
  std::optional<Clock::time_point> replugAt;

  // --- control ---
  int wakeFd = -1;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::mutex commandMutex;
  std::deque<std::packaged_task<void()>> commands;

  void Plug();
  void Unplug();
  void Loop();
  void RunCommands();
  void Wake();
  void DrainWake();
  void WaitWhileUnplugged();
  void WaitForLine();
  void ReadLine();
  bool HandleFrame(const std::vector<uint8_t>& payload, Clock::time_point readTime,
                   Clock::time_point arrival);
  void SendReply(std::vector<uint8_t> frame, Clock::time_point arrival);
  bool SleepUntil(Clock::time_point deadline);
  void WriteAll(const std::vector<uint8_t>& frame);
  void Post(std::function<void()> action);
};

// ---------------------------------------------------------------- plugging

void VirtualDevice::Impl::Plug() {
  pty.Open(options.baudRate);
  if (!options.linkPath.empty()) {
    try {
      PointLink(options.linkPath, pty.SlavePath());
    } catch (...) {
      pty.Close();
      throw;
    }
  }
  hunter.Reset();
  replugAt.reset();
  std::lock_guard lock(mutex);
  plugged = true;
  inBootMode = true;
  slavePath = pty.SlavePath();
}

void VirtualDevice::Impl::Unplug() {
  if (!pty.IsOpen()) return;
  // Record the state first: by the time the tool sees the hang-up, the
  // device already reads as unplugged and the link is gone.
  {
    std::lock_guard lock(mutex);
    plugged = false;
    slavePath.clear();
    ++stats.unplugs;
  }
  if (!options.linkPath.empty()) RemoveLink(options.linkPath);
  replugAt.reset();
  pty.Close();
}

// ---------------------------------------------------------------- thread

void VirtualDevice::Impl::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] auto written = write(wakeFd, &one, sizeof one);
}

void VirtualDevice::Impl::DrainWake() {
  uint64_t count = 0;
  [[maybe_unused]] auto got = read(wakeFd, &count, sizeof count);
}

void VirtualDevice::Impl::Post(std::function<void()> action) {
  if (!thread.joinable() || std::this_thread::get_id() == thread.get_id()) {
    action();
    return;
  }
  std::packaged_task<void()> task(std::move(action));
  auto done = task.get_future();
  {
    std::lock_guard lock(commandMutex);
    commands.push_back(std::move(task));
  }
  Wake();
  done.get();  // rethrows what the action threw
}

void VirtualDevice::Impl::RunCommands() {
  for (;;) {
    std::packaged_task<void()> task;
    {
      std::lock_guard lock(commandMutex);
      if (commands.empty()) return;
      task = std::move(commands.front());
      commands.pop_front();
    }
    task();
  }
}

void VirtualDevice::Impl::Loop() {
  if (options.pacing) prctl(PR_SET_TIMERSLACK, kPacingTimerSlackNs);
  while (!stopping) {
    RunCommands();
    if (stopping) break;
    if (!pty.IsOpen()) {
      WaitWhileUnplugged();
      continue;
    }
    pollfd fds[2] = {{pty.Master(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;  // EINTR
    if (fds[1].revents & POLLIN) DrainWake();
    if (fds[0].revents & POLLIN) {
      ReadLine();
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      WaitForLine();
    }
  }
  RunCommands();  // nobody stays waiting on a command posted during Stop
}

void VirtualDevice::Impl::WaitWhileUnplugged() {
  int timeoutMs = -1;
  if (replugAt) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*replugAt - Clock::now()).count();
    if (left <= 0) {
      try {
        Plug();
      } catch (const SimError&) {
        replugAt.reset();  // no pseudo-terminal to be had: stay unplugged
      }
      return;
    }
    timeoutMs = static_cast<int>(left) + 1;
  }
  pollfd wake{wakeFd, POLLIN, 0};
  if (poll(&wake, 1, timeoutMs) > 0) DrainWake();
}

void VirtualDevice::Impl::WaitForLine() {
  pollfd wake{wakeFd, POLLIN, 0};
  if (poll(&wake, 1, kHangupWaitMs) > 0) DrainWake();
}

// ---------------------------------------------------------------- receiving

void VirtualDevice::Impl::ReadLine() {
  uint8_t buffer[512];
  const ssize_t n = read(pty.Master(), buffer, sizeof buffer);
  if (n <= 0) {
    if (n == 0 || errno == EIO) WaitForLine();
    return;
  }
  const Clock::time_point now = Clock::now();
  const bool rightRate = ReadLineRate(pty.Master()) == options.baudRate;
  bool booting = false;
  {
    std::lock_guard lock(mutex);
    stats.bytesReceived += static_cast<uint64_t>(n);
    booting = inBootMode;
    if (!booting) stats.ignoredOutsideBoot += static_cast<uint64_t>(n);
    if (booting && !rightRate) stats.bytesWrongRate += static_cast<uint64_t>(n);
  }
  if (!booting || !rightRate) {
    // The application does not speak this protocol, and bytes at another rate
    // are noise on a real line.
    hunter.Reset();
    return;
  }
  if (!hunter.Idle() && now - lastByte > kInterByteGap) hunter.Reset();
  lastByte = now;
  for (ssize_t i = 0; i < n; ++i) {
    const Clock::time_point arrival = pacer.Arrive(now);
    switch (hunter.Feed(buffer[i])) {
      case FrameHunter::Event::kFrame:
        if (!HandleFrame(hunter.Payload(), now, arrival)) return;
        break;
      case FrameHunter::Event::kBadChecksum: {
        std::lock_guard lock(mutex);
        ++stats.badChecksums;
        break;
      }
      case FrameHunter::Event::kNone:
        break;
    }
  }
}

// Returns false when the device stopped listening (unplugged, reset, stopping).
bool VirtualDevice::Impl::HandleFrame(const std::vector<uint8_t>& payload,
                                      Clock::time_point readTime, Clock::time_point arrival) {
  Request request;
  FaultDecision decision;
  std::optional<std::vector<uint8_t>> reply;
  std::function<void(const Request&)> notify;
  bool listening = true;
  {
    std::lock_guard lock(mutex);
    request.index = requests.size();
    request.command = payload.empty() ? 0 : payload[0];
    request.payload = payload;
    request.time = readTime;
    decision = faults.Decide(request.index, loader.FlashWriteAddress(payload));
    if (decision.unplug) {
      request.outcome = RequestOutcome::kUnplugged;
    } else {
      CommandResult result = loader.Execute(payload, decision.write);
      reply = std::move(result.reply);
      if (result.leaveBootMode) inBootMode = false;
      listening = inBootMode;
      if (reply) request.reply = *reply;
      request.outcome = !reply          ? RequestOutcome::kSilent
                        : decision.drop ? RequestOutcome::kDropped
                                        : RequestOutcome::kAnswered;
    }
    requests.push_back(request);
    notify = observer;
  }
  requestsChanged.notify_all();
  if (notify) notify(request);
  if (decision.unplug) {
    Unplug();
    if (decision.replugAfterMs >= 0) {
      replugAt = Clock::now() + std::chrono::milliseconds(decision.replugAfterMs);
    }
    return false;
  }
  if (reply && !decision.drop) {
    std::vector<uint8_t> frame = EncodeFrame(*reply);
    MangleReply(decision, frame);
    SendReply(std::move(frame), arrival);
  }
  return listening && !stopping;
}

// ---------------------------------------------------------------- replying

// Sleeps to an absolute time on the monotonic clock, so the wake-up's own
// lateness never carries over to the next deadline. False when stopping.
bool VirtualDevice::Impl::SleepUntil(Clock::time_point deadline) {
  while (!stopping) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return true;
    const timespec until = ToMonotonic(std::min(deadline, now + kSleepSlice));
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);  // EINTR: go round
  }
  return false;
}

// `arrival` is the virtual arrival of the request's last byte. Paced, the
// reply leaves the device once the think time has passed and the line is
// free, and reaches the tool when its last byte would on a cable: the device
// sleeps once, to that moment, and hands over the whole frame.
void VirtualDevice::Impl::SendReply(std::vector<uint8_t> frame, Clock::time_point arrival) {
  const auto thinkTime = std::chrono::milliseconds(std::max(options.replyDelayMs, 0));
  const Clock::time_point due =
      options.pacing ? pacer.Send(frame.size(), arrival + thinkTime) : Clock::now() + thinkTime;
  if (due > Clock::now() && !SleepUntil(due)) return;
  WriteAll(frame);
  std::lock_guard lock(mutex);
  ++stats.repliesSent;
}

void VirtualDevice::Impl::WriteAll(const std::vector<uint8_t>& frame) {
  size_t sent = 0;
  while (sent < frame.size() && !stopping) {
    const ssize_t n = write(pty.Master(), frame.data() + sent, frame.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      // Nobody has read the line for kilobytes: a cable does not hold bytes
      // back, so the rest of the reply is lost.
      return;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // the line is gone; the reply is lost as on a real cable
    }
  }
}

// ---------------------------------------------------------------- public API

VirtualDevice::VirtualDevice(SimOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

VirtualDevice::~VirtualDevice() {
  Stop();
}

void VirtualDevice::Start() {
  if (impl_->thread.joinable()) throw SimError("virtual device already started");
  impl_->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl_->wakeFd < 0) throw SimError(std::string("eventfd: ") + std::strerror(errno));
  try {
    impl_->Plug();
  } catch (...) {
    close(impl_->wakeFd);
    impl_->wakeFd = -1;
    throw;
  }
  impl_->stopping = false;
  impl_->thread = std::thread([this] { impl_->Loop(); });
}

void VirtualDevice::Stop() {
  if (!impl_->thread.joinable()) return;
  impl_->stopping = true;
  impl_->Wake();
  impl_->thread.join();
  impl_->Unplug();
  close(impl_->wakeFd);
  impl_->wakeFd = -1;
}

std::string VirtualDevice::PortPath() const {
  if (!impl_->options.linkPath.empty()) return impl_->options.linkPath;
  return SlavePath();
}

std::string VirtualDevice::SlavePath() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->slavePath;
}

std::vector<uint8_t> VirtualDevice::Flash() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->memory.flash.begin(), impl_->memory.flash.end()};
}

std::vector<uint8_t> VirtualDevice::Eeprom() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->memory.eeprom.begin(), impl_->memory.eeprom.end()};
}

void VirtualDevice::LoadFlash(uint32_t address, const std::vector<uint8_t>& bytes) {
  if (address > kFlashSize || bytes.size() > kFlashSize - address) {
    throw std::out_of_range("flash load beyond the end of program flash");
  }
  std::lock_guard lock(impl_->mutex);
  std::copy(bytes.begin(), bytes.end(), impl_->memory.flash.begin() + address);
}

uint8_t VirtualDevice::ProductCode() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->memory.productCode;
}

DeviceIdentityView VirtualDevice::Identity() const {
  std::lock_guard lock(impl_->mutex);
  const auto& memory = impl_->memory;
  return {impl_->options.serialNumber, memory.flash[kFirmwareVersionAddress],
          memory.flash[kFirmwareRevisionAddress], memory.productCode};
}

uint16_t VirtualDevice::BootLoaderVersion() const {
  return impl_->options.bootLoaderVersion;
}
uint32_t VirtualDevice::BaudRate() const {
  return impl_->options.baudRate;
}

std::vector<Request> VirtualDevice::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

bool VirtualDevice::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->requestsChanged.wait_for(lock, timeout,
                                         [&] { return impl_->requests.size() >= count; });
}

SimStats VirtualDevice::Stats() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->stats;
}

bool VirtualDevice::InBootMode() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->inBootMode;
}

void VirtualDevice::EnterBootMode() {
  std::lock_guard lock(impl_->mutex);
  impl_->inBootMode = true;
}

void VirtualDevice::Unplug() {
  impl_->Post([this] { impl_->Unplug(); });
}

void VirtualDevice::Replug() {
  impl_->Post([this] {
    if (!impl_->pty.IsOpen()) impl_->Plug();
  });
}

bool VirtualDevice::Plugged() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->plugged;
}

void VirtualDevice::SetRequestObserver(std::function<void(const Request&)> observer) {
  std::lock_guard lock(impl_->mutex);
  impl_->observer = std::move(observer);
}

}  // namespace bq::sim
