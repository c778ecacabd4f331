// TComPortGPS: settings, the open/close sequence, the asynchronous write, the
// receive notification thread and the self-close of a vanished device.

#include "serial/com_port.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

namespace bq {

namespace {
// Set on a port's event thread, so that a Close asked from there is deferred.
thread_local const void* tlsEventThreadOf = nullptr;
}  // namespace

struct TComPortGPS::Impl {
  std::unique_ptr<SerialBackend> backend;

  mutable std::mutex settingsMutex;
  std::string deviceName;
  uint32_t baudRate = 9600;
  Timeouts timeouts{};
  size_t inputSize = 4096;
  size_t outputSize = 2048;
  bool highPriority = false;
  bool dtrControl = true;
  bool rtsControl = true;
  std::function<void()> rxHandler;

  std::thread eventThread;
  // The device vanished, or Close was asked on the event thread: the window
  // thread finishes the close at its next call.
  std::atomic<bool> closePending{false};

  // The write still under way after WriteString returned.
  std::thread writer;
  Bytes pendingBytes;
  std::atomic<bool> abortWrite{false};
  std::atomic<size_t> pendingLeft{0};
  bool pendingShort = false;
  std::exception_ptr pendingError;

  std::string lastError;
  int lastErrorCode = 0;

  // Bytes a waiting read took from the device beyond what it was asked for;
  // the next reads take them first. Reads come from one thread at a time, the
  // counts and purges may come from the event thread.
  static constexpr size_t kReadAheadSize = 512;
  std::mutex aheadMutex;
  std::array<uint8_t, kReadAheadSize> ahead{};
  size_t aheadBegin = 0;
  size_t aheadEnd = 0;

  size_t TakeAhead(uint8_t* out, size_t count) {
    std::lock_guard lock(aheadMutex);
    const size_t n = std::min(count, aheadEnd - aheadBegin);
    std::copy_n(ahead.data() + aheadBegin, n, out);
    aheadBegin += n;
    return n;
  }

  void KeepAhead(const uint8_t* bytes, size_t count) {
    std::lock_guard lock(aheadMutex);
    std::copy_n(bytes, count, ahead.data());
    aheadBegin = 0;
    aheadEnd = count;
  }

  size_t AheadCount() {
    std::lock_guard lock(aheadMutex);
    return aheadEnd - aheadBegin;
  }

  void DropAhead() {
    std::lock_guard lock(aheadMutex);
    aheadBegin = aheadEnd = 0;
  }

  // Waits for count more bytes of a read that already holds `held`, under the
  // time-outs of the whole read; what else is waiting goes to the read-ahead.
  size_t ReadWaiting(uint8_t* out, size_t count, size_t held) {
    const Timeouts t = CurrentTimeouts();
    if (count > kReadAheadSize) return backend->ReadAhead(out, count, count, held, t);
    std::array<uint8_t, kReadAheadSize> staging;
    const size_t n = backend->ReadAhead(staging.data(), count, staging.size(), held, t);
    const size_t used = std::min(n, count);
    std::copy_n(staging.data(), used, out);
    KeepAhead(staging.data() + used, n - used);
    return used;
  }

  bool OnEventThread() const { return tlsEventThreadOf == this; }

  Timeouts CurrentTimeouts() const {
    std::lock_guard lock(settingsMutex);
    return timeouts;
  }

  void StartEventThread() {
    try {
      eventThread = std::thread([this] { EventLoop(); });
    } catch (const std::system_error&) {
      throw PortError(kThreadText);
    }
  }

  void EventLoop() {
    tlsEventThreadOf = this;
    while (backend->WaitForInput()) {
      std::function<void()> handler;
      {
        std::lock_guard lock(settingsMutex);
        handler = rxHandler;
      }
      if (!handler) continue;
      try {
        handler();
      } catch (...) {
        // The handler reports its own failures; one of them must not end the program.
      }
      if (closePending) break;
    }
    if (backend->DeviceLost()) closePending = true;
  }

  void StopEventThread() {
    if (!eventThread.joinable()) return;
    backend->InterruptWait();
    eventThread.join();
  }

  // Waits for the write WriteString left running; returns its outcome.
  void JoinWriter() {
    if (writer.joinable()) writer.join();
    pendingBytes.clear();
    pendingLeft = 0;
  }

  void AbortWriter() {
    abortWrite = true;
    JoinWriter();
    abortWrite = false;
    pendingShort = false;
    pendingError = nullptr;
  }

  void StartWriter(Bytes rest, const Timeouts& t) {
    pendingBytes = std::move(rest);
    pendingLeft = pendingBytes.size();
    pendingShort = false;
    pendingError = nullptr;
    writer = std::thread([this, t] {
      try {
        size_t done = backend->Write(pendingBytes.data(), pendingBytes.size(), t, abortWrite);
        pendingShort = done < pendingBytes.size() && !abortWrite;
      } catch (...) {
        pendingError = std::current_exception();
      }
      pendingLeft = 0;
    });
  }

  // Throws what the previous write left behind: its error, or "Timeout" when it was short.
  void FinishPreviousWrite() {
    JoinWriter();
    if (auto e = std::exchange(pendingError, nullptr)) std::rethrow_exception(e);
    if (std::exchange(pendingShort, false)) throw PortError(kTimeoutText);
  }

  void CloseNow() {
    DropAhead();
    AbortWriter();
    StopEventThread();
    backend->Close();
    backend->RestorePriority();
    closePending = false;
  }

  void FinishPendingClose() {
    if (closePending && !OnEventThread()) CloseNow();
  }

  bool Open() const { return backend->IsOpen() && !closePending; }

  void RequireOpen() {
    FinishPendingClose();
    if (!Open()) throw PortError(kClosedPortText);
  }

  // After a failed call: a vanished device closes the port.
  void AfterFailure() {
    if (!backend->DeviceLost()) return;
    closePending = true;
    FinishPendingClose();
  }
};

TComPortGPS::TComPortGPS(std::unique_ptr<SerialBackend> backend) : impl_(std::make_unique<Impl>()) {
  impl_->backend = std::move(backend);
}

TComPortGPS::~TComPortGPS() {
  try {
    Close();
  } catch (...) {
  }
}

void TComPortGPS::SetDeviceName(const std::string& name) {
  impl_->FinishPendingClose();
  if (impl_->Open()) throw PortError(kOpenPortText);
  std::lock_guard lock(impl_->settingsMutex);
  impl_->deviceName = name;
}

const std::string& TComPortGPS::DeviceName() const {
  return impl_->deviceName;
}

void TComPortGPS::SetBaudRate(uint32_t rate) {
  {
    std::lock_guard lock(impl_->settingsMutex);
    impl_->baudRate = rate;
  }
  if (impl_->Open()) impl_->backend->SetBaudRate(rate);
}

uint32_t TComPortGPS::BaudRate() const {
  std::lock_guard lock(impl_->settingsMutex);
  return impl_->baudRate;
}

void TComPortGPS::SetTimeouts(const Timeouts& timeouts) {
  std::lock_guard lock(impl_->settingsMutex);
  impl_->timeouts = timeouts;
}

Timeouts TComPortGPS::GetTimeouts() const {
  return impl_->CurrentTimeouts();
}

void TComPortGPS::SetBufferSizes(size_t input, size_t output) {
  {
    std::lock_guard lock(impl_->settingsMutex);
    impl_->inputSize = input;
    impl_->outputSize = output;
  }
  if (impl_->Open()) impl_->backend->SetBufferSizes(input, output);
}

void TComPortGPS::SetHighPriority(bool high) {
  std::lock_guard lock(impl_->settingsMutex);
  impl_->highPriority = high;
}

void TComPortGPS::SetDtrControl(bool enabled) {
  {
    std::lock_guard lock(impl_->settingsMutex);
    impl_->dtrControl = enabled;
  }
  if (impl_->Open()) impl_->backend->SetDtr(enabled);
}

void TComPortGPS::SetRtsControl(bool enabled) {
  {
    std::lock_guard lock(impl_->settingsMutex);
    impl_->rtsControl = enabled;
  }
  if (impl_->Open()) impl_->backend->SetRts(enabled);
}

void TComPortGPS::SetRxCharHandler(std::function<void()> handler) {
  std::lock_guard lock(impl_->settingsMutex);
  impl_->rxHandler = std::move(handler);
}

void TComPortGPS::Open() {
  Impl& p = *impl_;
  p.FinishPendingClose();
  if (p.Open()) return;
  p.lastError.clear();
  p.lastErrorCode = 0;
  if (p.highPriority) p.backend->RaisePriority();
  try {
    p.backend->Open(p.deviceName);
    p.backend->DiscardInput();
    p.DropAhead();
    p.backend->DiscardOutput();
    p.backend->SetBufferSizes(p.inputSize, p.outputSize);
    p.backend->ApplyLineSettings({p.baudRate, p.dtrControl, p.rtsControl});
    // The time-outs are read by every call; nothing to hand to the driver.
    p.StartEventThread();
  } catch (const PortError& e) {
    p.backend->Close();
    p.backend->RestorePriority();
    p.lastError = e.what();
    p.lastErrorCode = e.osCode();
    throw;
  }
}

void TComPortGPS::Close() {
  Impl& p = *impl_;
  if (p.OnEventThread()) {
    // The event thread cannot wait for itself; the window thread finishes the close.
    p.closePending = true;
    p.backend->InterruptWait();
    return;
  }
  if (p.backend->IsOpen()) p.CloseNow();
}

bool TComPortGPS::IsOpen() const {
  return impl_->Open();
}

void TComPortGPS::BeginCommandHold() {
  impl_->backend->SetHold(true);
}

void TComPortGPS::EndCommandHold() {
  impl_->FinishPendingClose();
  impl_->backend->SetHold(false);
}

void TComPortGPS::PurgeInput() {
  ClearInput();
}

void TComPortGPS::PurgeOutput() {
  impl_->FinishPendingClose();
  if (!impl_->Open()) return;
  impl_->AbortWriter();
  impl_->backend->DiscardOutput();
}

void TComPortGPS::ClearInput() {
  impl_->FinishPendingClose();
  impl_->DropAhead();
  if (impl_->Open()) impl_->backend->DiscardInput();
}

void TComPortGPS::ClearOutput() {
  impl_->FinishPendingClose();
  if (impl_->Open()) impl_->backend->DiscardOutput();
}

void TComPortGPS::Flush() {
  impl_->FinishPendingClose();
  if (!impl_->Open()) return;
  impl_->JoinWriter();
  impl_->backend->Drain();
}

size_t TComPortGPS::InputCount() {
  impl_->FinishPendingClose();
  if (!impl_->Open()) throw PortError(std::strerror(EBADF), EBADF);
  return impl_->backend->InputCount() + impl_->AheadCount();
}

size_t TComPortGPS::OutputCount() {
  impl_->FinishPendingClose();
  if (!impl_->Open()) throw PortError(std::strerror(EBADF), EBADF);
  return impl_->backend->OutputCount() + impl_->pendingLeft;
}

size_t TComPortGPS::ReadBytes(uint8_t* buffer, size_t count, bool waitForCompletion) {
  Impl& p = *impl_;
  p.RequireOpen();
  size_t got = p.TakeAhead(buffer, count);
  if (got == count) return got;
  try {
    got += waitForCompletion ? p.ReadWaiting(buffer + got, count - got, got)
                             : p.backend->ReadNow(buffer + got, count - got);
  } catch (const PortError&) {
    p.AfterFailure();
    throw;
  }
  if (waitForCompletion && got < count) throw PortError(kTimeoutText);
  return got;
}

void TComPortGPS::WriteBytes(const uint8_t* buffer, size_t count, bool waitForCompletion) {
  Impl& p = *impl_;
  p.RequireOpen();
  const Timeouts t = p.CurrentTimeouts();
  try {
    p.FinishPreviousWrite();
    // What the driver takes at once; the rest is written while the caller goes on.
    const std::atomic<bool> now{true};
    size_t done = p.backend->Write(buffer, count, t, now);
    if (done == count) return;
    if (waitForCompletion) {
      done += p.backend->Write(buffer + done, count - done, t, p.abortWrite);
      if (done < count) throw PortError(kTimeoutText);
      return;
    }
    p.StartWriter(Bytes(buffer + done, buffer + count), t);
  } catch (const PortError&) {
    p.AfterFailure();
    throw;
  }
}

uint8_t TComPortGPS::ReadByte() {
  uint8_t byte = 0;
  ReadBytes(&byte, 1, true);
  return byte;
}

Bytes TComPortGPS::ReadAvailable() {
  Impl& p = *impl_;
  p.RequireOpen();
  Bytes bytes;
  try {
    bytes.resize(p.AheadCount() + p.backend->InputCount());
    size_t got = p.TakeAhead(bytes.data(), bytes.size());
    while (got < bytes.size()) {
      size_t n = p.backend->ReadNow(bytes.data() + got, bytes.size() - got);
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
  } catch (const PortError&) {
    p.AfterFailure();
    throw;
  }
  return bytes;
}

void TComPortGPS::WriteString(const Bytes& bytes) {
  WriteBytes(bytes.data(), bytes.size(), false);
}

void TComPortGPS::SetDTR() {
  impl_->RequireOpen();
  impl_->backend->SetDtr(true);
}

void TComPortGPS::ClearRTS() {
  impl_->RequireOpen();
  impl_->backend->SetRts(false);
}

// Serial drivers here have nothing to reset; the call still needs an open port.
void TComPortGPS::ResetDevice() {
  impl_->RequireOpen();
}

const std::string& TComPortGPS::LastError() const {
  return impl_->lastError;
}

int TComPortGPS::LastErrorCode() const {
  return impl_->lastErrorCode;
}

}  // namespace bq
