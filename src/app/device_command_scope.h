#pragma once
// Guards that give back the port and the device command buttons however an
// operator command ends, a port error included.

#include "app/context.h"
#include "app/station.h"

namespace bq {

// Keeps the port ours for the whole command, across the closes and reopenings
// it makes, and closes it when the command ends. A failure there is dropped:
// the error that ended the command is the one the operator sees.
class PortGuard {
 public:
  explicit PortGuard(Station& st);
  ~PortGuard();
  PortGuard(const PortGuard&) = delete;
  PortGuard& operator=(const PortGuard&) = delete;

 private:
  Station& st_;
};

// Holds the device command lock; on release the buttons come back, then the
// line gets settleMs to settle.
class CommandLockGuard {
 public:
  CommandLockGuard(Station& st, int settleMs);
  ~CommandLockGuard();
  CommandLockGuard(const CommandLockGuard&) = delete;
  CommandLockGuard& operator=(const CommandLockGuard&) = delete;

 private:
  Station& st_;
  int settleMs_;
};

// Puts the settings' baud rate back to `saved` when a command ends, a port
// error included.
class BaudRateRestore {
 public:
  BaudRateRestore(Station& st, uint16_t saved) : st_(st), saved_(saved) {}
  ~BaudRateRestore() { st_.baudRate = saved_; }
  BaudRateRestore(const BaudRateRestore&) = delete;
  BaudRateRestore& operator=(const BaudRateRestore&) = delete;

 private:
  Station& st_;
  const uint16_t saved_;
};

// The lock for one whole command: on the way out the port is closed first,
// then the buttons come back.
class DeviceCommandScope {
 public:
  explicit DeviceCommandScope(Station& st) : lock_(st, 0), port_(st) {}

 private:
  CommandLockGuard lock_;
  PortGuard port_;
};

}  // namespace bq
