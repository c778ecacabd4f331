// The serial back end over a Win32 communications handle, opened overlapped so
// that a read, the input watch and a write can each wait on their own thread.
// The port's time-out sets are worked out here as on POSIX systems: each wait
// for the next byte is one ReadFile whose COMMTIMEOUTS give the time left, and
// writes take the set's write time-outs one to one.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "serial/com_port.h"
#include "serial/windows/comm_settings.h"
#include "shell/windows/win32_text.h"

namespace bq {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using win32::Handle;

[[noreturn]] void ThrowWin32(DWORD error) {
  throw PortError(win32::PortErrorText(error), win32::ErrnoFromWin32(error));
}

// An event for one overlapped call at a time, made once per thread's use.
class Overlapped {
 public:
  Overlapped() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!event_.valid()) ThrowWin32(::GetLastError());
  }
  OVERLAPPED* Fresh() {
    ov_ = OVERLAPPED{};
    ov_.hEvent = event_.get();
    ::ResetEvent(event_.get());
    return &ov_;
  }
  HANDLE Event() const { return event_.get(); }
  OVERLAPPED* get() { return &ov_; }

 private:
  Handle event_;
  OVERLAPPED ov_{};
};

DWORD MillisecondsUntil(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return MAXDWORD;
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return static_cast<DWORD>(std::min<long long>(left, MAXDWORD - 1));
}

class WindowsSerialBackend : public SerialBackend {
 public:
  WindowsSerialBackend() : wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~WindowsSerialBackend() override {
    Close();
    ReleaseHold();
  }

  void Open(const std::string& deviceName) override {
    if (ReopenHeld(deviceName)) return;
    ReleaseHold();
    // No sharing: the port is this program's alone while it is open, and a
    // port another program holds fails the open.
    Handle port(::CreateFileW(win32::CommDeviceName(deviceName).c_str(),
                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr));
    if (!port.valid()) {
      const DWORD error = ::GetLastError();
      throw PortError(win32::PortErrorText(error), win32::OpenErrno(error));
    }
    port_ = std::move(port);
    lost_ = false;
    heldName_ = deviceName;
    timeouts_ = COMMTIMEOUTS{};
    timeoutsSet_ = false;
    applied_.reset();
    readsChecked_ = false;
    pollReads_ = false;
    if (holdWanted_) TakeHold();
  }

  void SetHold(bool hold) override {
    holdWanted_ = hold;
    if (!hold) {
      ReleaseHold();
    } else if (port_.valid()) {
      TakeHold();
    }
  }

  void ApplyLineSettings(const LineSettings& line) override {
    DCB dcb = PresentDcb();
    win32::ApplyLineToDcb(line, dcb);
    if (!::SetCommState(port_.get(), &dcb)) {
      const DWORD error = ::GetLastError();
      if (!win32::NoModemLines(error)) Fail(error);
      // A port without modem lines takes the DCB without them.
      dcb.fDtrControl = DTR_CONTROL_DISABLE;
      dcb.fRtsControl = RTS_CONTROL_DISABLE;
      if (!::SetCommState(port_.get(), &dcb)) Fail(::GetLastError());
    }
    CheckRate(dcb.BaudRate);
    applied_ = dcb;
    SetDtr(line.dtrEnabled);
    SetRts(line.rtsEnabled);
  }

  void Close() override {
    InterruptWait();
    port_.Reset();
  }

  bool IsOpen() const override { return port_.valid(); }

  void SetBaudRate(uint32_t rate) override {
    DCB dcb = PresentDcb();
    dcb.BaudRate = rate;
    if (!::SetCommState(port_.get(), &dcb)) Fail(::GetLastError());
    CheckRate(rate);
    applied_ = dcb;
  }

  void SetBufferSizes(size_t input, size_t output) override {
    // The driver may keep its own sizes; a refusal changes nothing.
    ::SetupComm(port_.get(), static_cast<DWORD>(input), static_cast<DWORD>(output));
  }

  void DiscardInput() override {
    if (::PurgeComm(port_.get(), PURGE_RXCLEAR)) return;
    const DWORD error = ::GetLastError();
    if (!win32::NoModemLines(error)) Fail(error);
    // A driver without the purge (Wine on a pseudo-terminal): what is waiting
    // is read and dropped instead.
    uint8_t dropped[256];
    while (ReadNow(dropped, sizeof dropped) > 0) {
    }
  }
  void DiscardOutput() override {
    if (::PurgeComm(port_.get(), PURGE_TXCLEAR)) return;
    // Without the purge the bytes already handed over go out all the same.
    const DWORD error = ::GetLastError();
    if (!win32::NoModemLines(error)) Fail(error);
  }
  void Drain() override {
    if (!::FlushFileBuffers(port_.get())) Fail(::GetLastError());
  }

  size_t InputCount() override { return Status().cbInQue; }
  size_t OutputCount() override { return Status().cbOutQue; }

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
      Clock::time_point until = totalLimit ? deadline : Clock::time_point::max();
      if (held + got > 0 && t.readInterval != 0)
        until = std::min(until, lastArrival + milliseconds(t.readInterval));
      // What is there at once, or the first byte that comes before until.
      const size_t n = ReadWaiting(buffer + got, capacity - got, MillisecondsUntil(until));
      if (n > 0) {
        got += n;
        lastArrival = Clock::now();
        continue;
      }
      if (until != Clock::time_point::max() && Clock::now() >= until) break;
    }
    return got;
  }

  size_t ReadNow(uint8_t* buffer, size_t count) override { return ReadWaiting(buffer, count, 0); }

  size_t Write(const uint8_t* buffer, size_t count, const Timeouts& t,
               const std::atomic<bool>& abort) override {
    {
      std::lock_guard lock(timeoutsMutex_);
      COMMTIMEOUTS wanted = timeouts_;
      win32::ApplyWriteTimeouts(t, wanted);
      SetTimeouts(wanted);
    }
    Overlapped& ov = writeOv_.value_or_make();
    DWORD done = 0;
    if (!::WriteFile(port_.get(), buffer, static_cast<DWORD>(count), nullptr, ov.Fresh())) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) Fail(error);
      // Short slices, so that an abort is seen soon; an abort cancels what is
      // not handed over yet.
      while (::WaitForSingleObject(ov.Event(), 20) == WAIT_TIMEOUT) {
        if (abort) {
          ::CancelIoEx(port_.get(), ov.get());
          break;
        }
      }
    }
    if (!::GetOverlappedResult(port_.get(), ov.get(), &done, TRUE)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_OPERATION_ABORTED && !win32::TimedOut(error)) Fail(error);
    }
    return done;
  }

  void SetDtr(bool high) override { ModemLine(high ? SETDTR : CLRDTR); }
  void SetRts(bool high) override { ModemLine(high ? SETRTS : CLRRTS); }

  bool WaitForInput() override {
    if (!port_.valid()) return false;
    if (!pollInput_ && WaitCommEventForInput()) return true;
    if (!pollInput_) return false;
    // From here on the port is polled; a driver that refused the wait has
    // the mask still set.
    ::SetCommMask(port_.get(), 0);
    return PollForInput();
  }

  void InterruptWait() override {
    if (wake_.valid()) ::SetEvent(wake_.get());
  }

  bool DeviceLost() const override { return lost_; }

  void RaisePriority() override {
    const DWORD current = ::GetPriorityClass(::GetCurrentProcess());
    if (current == 0) return;
    // A refusal leaves the port working all the same.
    if (::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS)) savedPriority_ = current;
  }

  void RestorePriority() override {
    if (savedPriority_) ::SetPriorityClass(::GetCurrentProcess(), *savedPriority_);
    savedPriority_.reset();
  }

 private:
  // An Overlapped made on first use (its event costs a handle).
  struct LazyOverlapped {
    std::optional<Overlapped> ov;
    Overlapped& value_or_make() {
      if (!ov) ov.emplace();
      return *ov;
    }
  };

  void TakeHold() {
    if (hold_.valid() || !port_.valid()) return;
    HANDLE copy = nullptr;
    if (::DuplicateHandle(::GetCurrentProcess(), port_.get(), ::GetCurrentProcess(), &copy, 0,
                          FALSE, DUPLICATE_SAME_ACCESS)) {
      hold_ = Handle(copy);
    }
  }

  void ReleaseHold() { hold_.Reset(); }

  // Takes the held port again; false when there is no hold on that port or it
  // is gone meanwhile (then it is opened afresh by name).
  bool ReopenHeld(const std::string& deviceName) {
    if (!hold_.valid() || deviceName != heldName_) return false;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(hold_.get(), &errors, &status)) return false;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), hold_.get(), ::GetCurrentProcess(), &copy, 0,
                           FALSE, DUPLICATE_SAME_ACCESS)) {
      ThrowWin32(::GetLastError());
    }
    port_ = Handle(copy);
    lost_ = false;
    timeoutsSet_ = false;
    applied_.reset();
    return true;
  }

  // The port's DCB as the driver has it. A driver that cannot report it (Wine
  // on a pseudo-terminal left at a rate it has no name for) gets the DCB set
  // last, or one built whole; SetCommState then decides.
  DCB PresentDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(port_.get(), &dcb)) return dcb;
    const DWORD error = ::GetLastError();
    if (!win32::StateUnreadable(error)) Fail(error);
    if (applied_) return *applied_;
    static std::once_flag told;
    TellOnce(told, "The serial driver cannot report the port's settings (" +
                       win32::PortErrorText(error) + "): they are set whole.");
    return win32::FreshDcb();
  }

  // A driver may take a rate it cannot run and set another: that is an error.
  // When the driver cannot report the rate, SetCommState's word stands.
  void CheckRate(DWORD wanted) {
    DCB taken{};
    taken.DCBlength = sizeof taken;
    if (!::GetCommState(port_.get(), &taken)) return;
    const std::string problem = win32::RateProblem(wanted, taken.BaudRate);
    if (!problem.empty()) throw PortError(problem, EINVAL);
  }

  // A driver difference the port works around is said once per program.
  static void TellOnce(std::once_flag& told, const std::string& text) {
    std::call_once(told, [&text] { std::fprintf(stderr, "%s\n", text.c_str()); });
  }

  COMSTAT Status() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port_.get(), &errors, &status)) Fail(::GetLastError());
    return status;
  }

  // Sets the handle's time-outs when they differ from the last ones; the
  // caller holds timeoutsMutex_.
  void SetTimeouts(const COMMTIMEOUTS& wanted) {
    const bool same = timeoutsSet_ && wanted.ReadIntervalTimeout == timeouts_.ReadIntervalTimeout &&
                      wanted.ReadTotalTimeoutMultiplier == timeouts_.ReadTotalTimeoutMultiplier &&
                      wanted.ReadTotalTimeoutConstant == timeouts_.ReadTotalTimeoutConstant &&
                      wanted.WriteTotalTimeoutMultiplier == timeouts_.WriteTotalTimeoutMultiplier &&
                      wanted.WriteTotalTimeoutConstant == timeouts_.WriteTotalTimeoutConstant;
    if (same) return;
    COMMTIMEOUTS copy = wanted;
    if (!::SetCommTimeouts(port_.get(), &copy)) Fail(::GetLastError());
    timeouts_ = wanted;
    timeoutsSet_ = true;
  }

  // One ReadFile: what has arrived, or else the first bytes within waitMs. It
  // may also return nothing sooner; its callers then wait on.
  size_t ReadWaiting(uint8_t* buffer, size_t count, DWORD waitMs) {
    if (count == 0) return 0;
    if (pollReads_) return ReadPolled(buffer, count, waitMs);
    // The first read on a port checks that the driver ends a waiting read at
    // its time-outs: Wine on a pseudo-terminal keeps "the first bytes within
    // waitMs" pending until the whole count has come. The check waits 1 ms.
    const bool check = !readsChecked_;
    if (check) waitMs = 1;
    SetReadTimeouts(win32::ReadTimeouts(waitMs));
    Overlapped& ov = readOv_.value_or_make();
    DWORD got = 0;
    if (!::ReadFile(port_.get(), buffer, static_cast<DWORD>(count), nullptr, ov.Fresh())) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) Fail(error);
      if (check && ::WaitForSingleObject(ov.Event(), kReadCheckMs) == WAIT_TIMEOUT) {
        // What came meanwhile stays in the buffer of the cancelled read.
        ::CancelIoEx(port_.get(), ov.get());
        ::GetOverlappedResult(port_.get(), ov.get(), &got, TRUE);
        pollReads_ = true;
        static std::once_flag told;
        TellOnce(told,
                 "The serial driver does not end reads at their time-outs: the port is polled.");
        return got;
      }
    }
    if (!::GetOverlappedResult(port_.get(), ov.get(), &got, TRUE)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_OPERATION_ABORTED && !win32::TimedOut(error)) Fail(error);
    }
    // A read that got its whole count shows nothing: the next read checks.
    if (got < count) readsChecked_ = true;
    return got;
  }

  // Reads without the driver's read time-outs: what the input queue holds is
  // read at once, and an empty queue is looked at every few milliseconds.
  size_t ReadPolled(uint8_t* buffer, size_t count, DWORD waitMs) {
    const auto deadline =
        waitMs == MAXDWORD ? Clock::time_point::max() : Clock::now() + milliseconds(waitMs);
    for (;;) {
      const DWORD waiting = Status().cbInQue;
      if (waiting > 0) return ReadQueued(buffer, std::min<size_t>(count, waiting));
      if (waitMs == 0 || Clock::now() >= deadline) return 0;
      ::Sleep(kReadPollMs);
    }
  }

  // Reads bytes the input queue already holds: the read returns at once.
  size_t ReadQueued(uint8_t* buffer, size_t count) {
    SetReadTimeouts(win32::ReadTimeouts(0));
    Overlapped& ov = readOv_.value_or_make();
    DWORD got = 0;
    if (!::ReadFile(port_.get(), buffer, static_cast<DWORD>(count), nullptr, ov.Fresh())) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) Fail(error);
    }
    if (!::GetOverlappedResult(port_.get(), ov.get(), &got, TRUE)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_OPERATION_ABORTED && !win32::TimedOut(error)) Fail(error);
    }
    return got;
  }

  void SetReadTimeouts(COMMTIMEOUTS wanted) {
    std::lock_guard lock(timeoutsMutex_);
    wanted.WriteTotalTimeoutMultiplier = timeouts_.WriteTotalTimeoutMultiplier;
    wanted.WriteTotalTimeoutConstant = timeouts_.WriteTotalTimeoutConstant;
    SetTimeouts(wanted);
  }

  void ModemLine(DWORD function) {
    if (::EscapeCommFunction(port_.get(), function)) return;
    const DWORD error = ::GetLastError();
    if (!win32::NoModemLines(error)) Fail(error);
    static std::once_flag told;
    TellOnce(told, "The serial driver has no modem lines (" + win32::PortErrorText(error) +
                       "): DTR and RTS are not driven.");
  }

  // The driver's notification of a received byte; false when interrupted, the
  // device is gone, or the driver has no such notification (pollInput_ is set).
  bool WaitCommEventForInput() {
    if (!::SetCommMask(port_.get(), EV_RXCHAR)) return NoEvents(::GetLastError());
    Overlapped& ov = eventOv_.value_or_make();
    for (;;) {
      DWORD mask = 0;
      if (!::WaitCommEvent(port_.get(), &mask, ov.Fresh())) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return NoEvents(error);
        const HANDLE waits[2] = {ov.Event(), wake_.get()};
        DWORD ignored = 0;
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
          // Interrupted: clearing the mask ends the pending wait.
          ::SetCommMask(port_.get(), 0);
          ::GetOverlappedResult(port_.get(), ov.get(), &ignored, TRUE);
          return false;
        }
        if (!::GetOverlappedResult(port_.get(), ov.get(), &ignored, FALSE)) {
          // Only an interrupt, handled above, ends this wait on purpose: a
          // wait the driver ends by itself means it gives no notification
          // (Wine on a pseudo-terminal cancels it on each wake-up).
          const DWORD error = ::GetLastError();
          if (win32::EventWaitEndedByDriver(error)) return NoEvents(error, true);
          return GoneOrFalse(error);
        }
      }
      if ((mask & EV_RXCHAR) != 0) return true;
      // A wait ended by a change of the mask elsewhere: wait again.
    }
  }

  bool NoEvents(DWORD error, bool refused = false) {
    if (win32::DeviceGone(error)) {
      lost_ = true;
      return false;
    }
    if (!refused && !win32::NoCommEvents(error)) return false;
    pollInput_ = true;
    static std::once_flag told;
    TellOnce(told, "The serial driver gives no receive notification (" +
                       win32::PortErrorText(error) + "): the port is polled.");
    return false;
  }

  // Without the notification: the input queue is looked at every few
  // milliseconds, and growth in it counts as an arrival.
  bool PollForInput() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port_.get(), &errors, &status)) return GoneOrFalse(::GetLastError());
    DWORD seen = status.cbInQue;
    for (;;) {
      if (::WaitForSingleObject(wake_.get(), kPollMs) == WAIT_OBJECT_0) return false;
      if (!port_.valid()) return false;
      if (!::ClearCommError(port_.get(), &errors, &status)) return GoneOrFalse(::GetLastError());
      if (status.cbInQue > seen) return true;
      seen = status.cbInQue;
    }
  }

  bool GoneOrFalse(DWORD error) {
    if (win32::DeviceGone(error)) lost_ = true;
    return false;
  }

  [[noreturn]] void Fail(DWORD error) {
    if (win32::DeviceGone(error)) lost_ = true;
    ThrowWin32(error);
  }

  static constexpr DWORD kPollMs = 5;
  static constexpr DWORD kReadPollMs = 2;
  // Far above what any driver takes to end a read of 1 ms.
  static constexpr DWORD kReadCheckMs = 300;

  Handle port_;
  Handle hold_;
  Handle wake_;
  bool holdWanted_ = false;
  std::string heldName_;
  std::atomic<bool> lost_{false};
  std::atomic<bool> pollInput_{false};
  std::optional<DWORD> savedPriority_;
  std::mutex timeoutsMutex_;
  COMMTIMEOUTS timeouts_{};
  bool timeoutsSet_ = false;
  std::optional<DCB> applied_;
  bool readsChecked_ = false;
  bool pollReads_ = false;
  LazyOverlapped readOv_;
  LazyOverlapped writeOv_;
  LazyOverlapped eventOv_;
};

}  // namespace

std::unique_ptr<SerialBackend> MakeDefaultSerialBackend() {
  return std::make_unique<WindowsSerialBackend>();
}

}  // namespace bq
