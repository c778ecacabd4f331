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

// What the device does about one request, whoever carried it out.
struct Answer {
  std::optional<std::vector<uint8_t>> reply;
  ReplyForm form = ReplyForm::kBootFrame;
  bool entersBoot = false;
  bool leavesBoot = false;
};

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
        accessory(MakeAccessory(options, memory)),
        faults(options.faults),
        pacer(options.baudRate) {}

  // --- state that callers read, under `mutex` ---
  const SimOptions options;
  mutable std::mutex mutex;
  mutable std::condition_variable requestsChanged;
  DeviceMemory memory;
  BootLoader loader;
  std::unique_ptr<Accessory> accessory;  // null: only the boot loader listens
  FaultPlan faults;
  std::vector<Request> requests;
  SimStats stats;
  bool inBootMode = false;
  bool plugged = false;
  std::string slavePath;
  std::function<void(const Request&)> observer;

  // --- the device thread's own state ---
  Pty pty;
  FrameHunter hunter;
  Pacer pacer;
  bool listeningInBoot = false;  // the mode the receivers and the pacer are set up for
  Clock::time_point lastByte{};
  std::optional<Clock::time_point> replugAt;

  // --- control ---
  int wakeFd = -1;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::mutex commandMutex;
  std::deque<std::packaged_task<void()>> commands;

  bool PowersUpInBoot() const;
  void Plug(bool bootMode);
  void Unplug();
  void Loop();
  void RunCommands();
  void Wake();
  void DrainWake();
  void WaitWhileUnplugged();
  void WaitForLine();
  void ReadLine();
  uint32_t ListenRate(bool booting) const;
  void FollowMode(bool booting);
  void ResetReceivers();
  bool ReceiversIdle() const;
  void FeedLoader(const uint8_t* bytes, size_t count, Clock::time_point now);
  void FeedAccessory(const uint8_t* bytes, size_t count, Clock::time_point now);
  void CountBadCheck();
  bool HandleRequest(RequestKind kind, const std::vector<uint8_t>& payload,
                     Clock::time_point readTime, Clock::time_point arrival);
  Answer Carry(RequestKind kind, const std::vector<uint8_t>& payload, WriteFault fault);
  void SendReply(std::vector<uint8_t> frame, Clock::time_point arrival, int extraThinkMs);
  bool SleepUntil(Clock::time_point deadline);
  void WriteAll(const std::vector<uint8_t>& frame);
  void Post(std::function<void()> action);
};

// ---------------------------------------------------------------- plugging

// An accessory starts its application, unless it is blank and has none to
// start; a plain device sits in its boot loader.
bool VirtualDevice::Impl::PowersUpInBoot() const {
  return !accessory || options.memory == MemoryContent::kBlank;
}

void VirtualDevice::Impl::Plug(bool bootMode) {
  pty.Open(bootMode ? options.baudRate : accessory->LineRate());
  if (!options.linkPath.empty()) {
    try {
      PointLink(options.linkPath, pty.SlavePath());
    } catch (...) {
      pty.Close();
      throw;
    }
  }
  ResetReceivers();
  listeningInBoot = bootMode;
  pacer.SetRate(ListenRate(bootMode));
  replugAt.reset();
  {
    std::lock_guard lock(mutex);
    plugged = true;
    inBootMode = bootMode;
    slavePath = pty.SlavePath();
  }
  requestsChanged.notify_all();
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
  if (!options.linkPath.empty()) RemoveLink(options.linkPath, pty.SlavePath());
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
        Plug(true);
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
  const uint32_t lineRate = ReadLineRate(pty.Master());
  bool booting = false;
  {
    std::lock_guard lock(mutex);
    booting = inBootMode;
  }
  FollowMode(booting);
  const uint32_t listenRate = ListenRate(booting);
  {
    std::lock_guard lock(mutex);
    stats.bytesReceived += static_cast<uint64_t>(n);
    if (listenRate == 0) stats.ignoredOutsideBoot += static_cast<uint64_t>(n);
    if (listenRate != 0 && lineRate != listenRate) stats.bytesWrongRate += static_cast<uint64_t>(n);
  }
  if (listenRate == 0 || lineRate != listenRate) {
    // Nobody listens, or the bytes came at another rate: noise on a real line.
    ResetReceivers();
    return;
  }
  if (!ReceiversIdle() && now - lastByte > kInterByteGap) ResetReceivers();
  lastByte = now;
  if (booting) {
    FeedLoader(buffer, static_cast<size_t>(n), now);
  } else {
    FeedAccessory(buffer, static_cast<size_t>(n), now);
  }
}

// The rate whoever runs listens at; 0 when nobody listens (the application
// of a plain device).
uint32_t VirtualDevice::Impl::ListenRate(bool booting) const {
  if (booting) return options.baudRate;
  return accessory ? accessory->LineRate() : 0;
}

// After a restart (a boot entry, a reset, the boot button) the line belongs
// to another program: no partial request carries over, and bytes take the
// new rate's time.
void VirtualDevice::Impl::FollowMode(bool booting) {
  if (booting == listeningInBoot) return;
  listeningInBoot = booting;
  ResetReceivers();
  if (const uint32_t rate = ListenRate(booting)) pacer.SetRate(rate);
}

void VirtualDevice::Impl::ResetReceivers() {
  hunter.Reset();
  if (accessory) accessory->ResetReceiver();
}

bool VirtualDevice::Impl::ReceiversIdle() const {
  return hunter.Idle() && (!accessory || accessory->ReceiverIdle());
}

void VirtualDevice::Impl::CountBadCheck() {
  std::lock_guard lock(mutex);
  ++stats.badChecksums;
}

void VirtualDevice::Impl::FeedLoader(const uint8_t* bytes, size_t count, Clock::time_point now) {
  for (size_t i = 0; i < count; ++i) {
    const Clock::time_point arrival = pacer.Arrive(now);
    switch (hunter.Feed(bytes[i])) {
      case FrameHunter::Event::kFrame:
        if (!HandleRequest(RequestKind::kBootFrame, hunter.Payload(), now, arrival)) return;
        break;
      case FrameHunter::Event::kBadChecksum:
        CountBadCheck();
        break;
      case FrameHunter::Event::kNone:
        break;
    }
  }
}

void VirtualDevice::Impl::FeedAccessory(const uint8_t* bytes, size_t count, Clock::time_point now) {
  for (size_t i = 0; i < count; ++i) {
    const Clock::time_point arrival = pacer.Arrive(now);
    switch (accessory->Feed(bytes[i])) {
      case Accessory::Event::kRequest: {
        const AccessoryRequest& request = accessory->Request();
        if (!HandleRequest(request.kind, request.payload, now, arrival)) return;
        break;
      }
      case Accessory::Event::kBadCheck:
        CountBadCheck();
        break;
      case Accessory::Event::kNone:
        break;
    }
  }
}

// Carries a request out under `mutex`: the boot loader's, or the accessory
// application's.
Answer VirtualDevice::Impl::Carry(RequestKind kind, const std::vector<uint8_t>& payload,
                                  WriteFault fault) {
  if (kind != RequestKind::kBootFrame) {
    AccessoryAnswer answer = accessory->Answer({kind, payload});
    return {std::move(answer.reply), answer.form, answer.entersBoot, false};
  }
  CommandResult result = loader.Execute(payload, fault);
  return {std::move(result.reply), ReplyForm::kBootFrame, false, result.leaveBootMode};
}

// Returns false when the device stopped listening to the rest of what it read
// (unplugged, restarted into another program, stopping).
bool VirtualDevice::Impl::HandleRequest(RequestKind kind, const std::vector<uint8_t>& payload,
                                        Clock::time_point readTime, Clock::time_point arrival) {
  Request request;
  request.kind = kind;
  request.command = payload.empty() ? 0 : payload[0];
  request.payload = payload;
  request.time = readTime;
  FaultDecision decision;
  Answer answer;
  std::function<void(const Request&)> notify;
  bool flashWrite = false;
  {
    std::lock_guard lock(mutex);
    request.index = requests.size();
    const auto writeAddress =
        kind == RequestKind::kBootFrame ? loader.FlashWriteAddress(payload) : std::nullopt;
    flashWrite = writeAddress.has_value();
    decision = faults.Decide(request.index, writeAddress);
    if (!decision.unplug) answer = Carry(kind, payload, decision.write);
    if (answer.entersBoot) inBootMode = true;
    if (answer.leavesBoot) inBootMode = false;
    if (answer.reply) request.reply = *answer.reply;
    request.entersBoot = answer.entersBoot;
    request.outcome = decision.unplug ? RequestOutcome::kUnplugged
                      : !answer.reply ? RequestOutcome::kSilent
                      : decision.drop ? RequestOutcome::kDropped
                                      : RequestOutcome::kAnswered;
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
  if (answer.reply && !decision.drop) {
    SendReply(WireReply(decision, answer.form, std::move(*answer.reply)), arrival,
              flashWrite ? options.writeDelayMs : 0);
  }
  return !answer.entersBoot && !answer.leavesBoot && !stopping;
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
void VirtualDevice::Impl::SendReply(std::vector<uint8_t> frame, Clock::time_point arrival,
                                    int extraThinkMs) {
  const auto thinkTime =
      std::chrono::milliseconds(std::max(options.replyDelayMs, 0) + std::max(extraThinkMs, 0));
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
    impl_->Plug(impl_->PowersUpInBoot());
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

bool VirtualDevice::WaitForBootMode(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->requestsChanged.wait_for(lock, timeout, [&] { return impl_->inBootMode; });
}

void VirtualDevice::EnterBootMode() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->inBootMode = true;
  }
  impl_->requestsChanged.notify_all();
}

void VirtualDevice::Unplug() {
  impl_->Post([this] { impl_->Unplug(); });
}

void VirtualDevice::Replug() {
  impl_->Post([this] {
    if (!impl_->pty.IsOpen()) impl_->Plug(true);
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
