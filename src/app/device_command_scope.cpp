#include "app/device_command_scope.h"

#include <chrono>
#include <exception>
#include <thread>

#include "app/commands.h"
#include "serial/boot_port.h"

namespace bq {

PortGuard::PortGuard(Station& st) : st_(st) {
  st_.ComPortQuarn.BeginCommandHold();
}

PortGuard::~PortGuard() {
  try {
    CloseBootPort(st_.ComPortQuarn);
  } catch (const std::exception&) {
    // The error that ended the command is the one the operator sees.
  }
  st_.ComPortQuarn.EndCommandHold();
}

CommandLockGuard::CommandLockGuard(Station& st, int settleMs) : st_(st), settleMs_(settleMs) {
  LockDeviceCommands(st_, true);
}

CommandLockGuard::~CommandLockGuard() {
  try {
    LockDeviceCommands(st_, false);
  } catch (const std::exception&) {
    // Same as above: keep the first error.
  }
  if (settleMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs_));
}

}  // namespace bq
