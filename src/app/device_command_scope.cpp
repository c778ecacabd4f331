#include "app/device_command_scope.h"

#include <chrono>
#include <exception>
#include <thread>

#include "app/commands.h"
#include "serial/boot_port.h"

namespace bq {

PortGuard::PortGuard(Context& ctx) : ctx_(ctx) {
  ctx_.ComPortQuarn.BeginCommandHold();
}

PortGuard::~PortGuard() {
  try {
    CloseBootPort(ctx_.ComPortQuarn);
  } catch (const std::exception&) {
    // The error that ended the command is the one the operator sees.
  }
  ctx_.ComPortQuarn.EndCommandHold();
}

CommandLockGuard::CommandLockGuard(Context& ctx, int settleMs) : ctx_(ctx), settleMs_(settleMs) {
  LockDeviceCommands(ctx_, true);
}

CommandLockGuard::~CommandLockGuard() {
  try {
    LockDeviceCommands(ctx_, false);
  } catch (const std::exception&) {
    // Same as above: keep the first error.
  }
  if (settleMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs_));
}

}  // namespace bq
