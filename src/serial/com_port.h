#pragma once
// TComPortGPS: the program's serial port object. The operations and their
// time-out semantics are the same on every platform; what differs per OS lives
// behind SerialBackend.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/port_error.h"
#include "serial/timeouts.h"

namespace bq {

using Bytes = std::vector<uint8_t>;

// Per-OS access to one serial device. Every call that fails throws PortError
// carrying the OS error text and code. Reads, the input watch and the writes may
// run on different threads at once; opening and closing never overlap them.
class SerialBackend {
 public:
  virtual ~SerialBackend() = default;

  struct LineSettings {
    uint32_t baudRate = 9600;
    bool dtrEnabled = true;
    bool rtsEnabled = true;
  };

  // Opens the device for this program alone; nothing is configured yet.
  virtual void Open(const std::string& deviceName) = 0;
  // 8N1, raw, no flow control, the rate, and DTR/RTS as their controls say.
  virtual void ApplyLineSettings(const LineSettings& line) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual void SetBaudRate(uint32_t rate) = 0;
  virtual void SetBufferSizes(size_t input, size_t output) = 0;

  virtual void DiscardInput() = 0;
  virtual void DiscardOutput() = 0;
  virtual void Drain() = 0;
  virtual size_t InputCount() = 0;
  virtual size_t OutputCount() = 0;

  // Reads up to count bytes under the time-outs; returns how many came.
  virtual size_t Read(uint8_t* buffer, size_t count, const Timeouts& timeouts) = 0;
  // Read with read-ahead: waits under the time-outs exactly as Read would for a
  // request of held + count bytes whose first held bytes were there at the
  // call's start, and returns once count bytes came or a time-out ends it. Each
  // read from the device takes whatever is waiting, up to capacity (>= count)
  // bytes in all, so it may return more than count.
  virtual size_t ReadAhead(uint8_t* buffer, size_t count, size_t capacity, size_t held,
                           const Timeouts& timeouts) {
    (void)capacity;
    (void)held;
    return Read(buffer, count, timeouts);
  }
  // Reads what is there at once, up to count bytes; never waits.
  virtual size_t ReadNow(uint8_t* buffer, size_t count) = 0;
  // Hands count bytes to the driver; returns how many were accepted within the
  // write time-outs. Once abort is true it stops instead of waiting for room, so
  // a call with abort already set hands over only what fits at once.
  virtual size_t Write(const uint8_t* buffer, size_t count, const Timeouts& timeouts,
                       const std::atomic<bool>& abort) = 0;

  virtual void SetDtr(bool high) = 0;
  virtual void SetRts(bool high) = 0;

  // Blocks until bytes arrive or Interrupt is called; never consumes bytes.
  // Returns false when the device is gone or the wait was interrupted.
  virtual bool WaitForInput() = 0;
  virtual void InterruptWait() = 0;
  // True once the device has disappeared (hang-up, EIO).
  virtual bool DeviceLost() const = 0;

  virtual void RaisePriority() = 0;
  virtual void RestorePriority() = 0;

  // While hold is on, a Close keeps the device claimed for this program, so
  // that no other program takes it before the next Open.
  virtual void SetHold(bool hold) { (void)hold; }
};

std::unique_ptr<SerialBackend> MakeDefaultSerialBackend();

class TComPortGPS {
 public:
  explicit TComPortGPS(std::unique_ptr<SerialBackend> backend = MakeDefaultSerialBackend());
  ~TComPortGPS();
  TComPortGPS(const TComPortGPS&) = delete;
  TComPortGPS& operator=(const TComPortGPS&) = delete;

  // Settings: stored while closed, applied at once while open where possible.
  void SetDeviceName(const std::string& name);  // PortError on an open port
  const std::string& DeviceName() const;
  void SetBaudRate(uint32_t rate);
  uint32_t BaudRate() const;
  void SetTimeouts(const Timeouts& timeouts);
  Timeouts GetTimeouts() const;
  void SetBufferSizes(size_t input, size_t output);
  void SetHighPriority(bool high);
  void SetDtrControl(bool enabled);
  void SetRtsControl(bool enabled);
  // Called on the port's own event thread each time bytes arrive.
  void SetRxCharHandler(std::function<void()> handler);

  void Open();
  void Close();
  bool IsOpen() const;
  // A command hold keeps the device ours from its first open until the hold
  // ends, across the closes and reopenings of the command: another program
  // (or port object) asking for it meanwhile is refused as busy.
  void BeginCommandHold();
  void EndCommandHold();

  void PurgeInput();
  void PurgeOutput();
  void ClearInput();
  void ClearOutput();
  void Flush();
  size_t InputCount();
  size_t OutputCount();

  size_t ReadBytes(uint8_t* buffer, size_t count, bool waitForCompletion);
  void WriteBytes(const uint8_t* buffer, size_t count, bool waitForCompletion);
  uint8_t ReadByte();
  Bytes ReadAvailable();
  void WriteString(const Bytes& bytes);

  void SetDTR();
  void ClearRTS();
  void ResetDevice();

  // The OS reason of the last failed Open ("Permission denied", busy, ...); empty after a good
  // open.
  const std::string& LastError() const;
  // The OS error code of that failure (errno on POSIX); 0 when none.
  int LastErrorCode() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace bq
