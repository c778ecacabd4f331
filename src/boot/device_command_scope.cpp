#include "boot/device_command_scope.h"

#include "serial/boot_port.h"
#include "shell/commands.h"

namespace bq {

DeviceCommandScope::DeviceCommandScope(Context& ctx) : ctx_(ctx) {
  LockDeviceCommands(ctx_, true);
}

DeviceCommandScope::~DeviceCommandScope() {
  try {
    CloseBootPort(ctx_);
  } catch (const std::exception&) {
    // The error that ended the command is the one the operator sees.
  }
  LockDeviceCommands(ctx_, false);
}

}  // namespace bq
