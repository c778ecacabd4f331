#pragma once
// Turns the reason a port would not open into advice for the operator; the
// command line and the window give the same words.

#include <optional>
#include <string>

#include "serial/com_port.h"
#include "serial/port_error.h"

namespace bq {

// What to do when the port refused this user: join the port's group when that
// group may use it, else give the port to a group (dialout stays as it always read).
std::string PermissionAdvice(const std::optional<DeviceGroup>& group);

// Empty when the port's last open did not fail.
std::string PortFailureHint(const TComPortGPS& port, const std::string& portName);

}  // namespace bq
