#include "serial/port_error.h"

namespace bq {

// A Windows port name names no file to look at: the open's error says it all.
PortOpenProblem ClassifyOpenError(int osCode, const std::string& path) {
  (void)path;
  return ClassifyOpenError(osCode);
}

// A COM port has no owning group: access is the system's ACL, and a port held
// elsewhere is reported as busy, never as a permission problem of a group.
std::optional<DeviceGroup> DeviceGroupOf(const std::string&) {
  return std::nullopt;
}

}  // namespace bq
