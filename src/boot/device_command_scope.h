#pragma once
// Holds the device command lock for one operator command. However the command
// ends, a port error included, the port is closed and the buttons come back.

#include "shell/context.h"

namespace bq {

class DeviceCommandScope {
 public:
  explicit DeviceCommandScope(Context& ctx);
  // Closes the port if still open (a failure there is dropped: the command already
  // ended) and unlocks.
  ~DeviceCommandScope();
  DeviceCommandScope(const DeviceCommandScope&) = delete;
  DeviceCommandScope& operator=(const DeviceCommandScope&) = delete;

 private:
  Context& ctx_;
};

}  // namespace bq
