#pragma once
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string>

namespace bq {

// The one kind of failure of the port layer: a text and, for system failures,
// the operating system's error code (0 otherwise).
class PortError : public std::runtime_error {
 public:
  explicit PortError(const std::string& text, int osCode = 0)
      : std::runtime_error(text), osCode_(osCode) {}
  int osCode() const { return osCode_; }

 private:
  int osCode_;
};

// Why a port would not open, as far as the operator can act on it.
enum class PortOpenProblem { None, NoPermission, Busy, Missing, NotSerialPort, Other };

inline PortOpenProblem ClassifyOpenError(int osCode) {
  switch (osCode) {
    case 0:
      return PortOpenProblem::None;
    case EACCES:
    case EPERM:
      return PortOpenProblem::NoPermission;
    case EBUSY:
    case EWOULDBLOCK:
      return PortOpenProblem::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return PortOpenProblem::Missing;
    case ENOTTY:
      return PortOpenProblem::NotSerialPort;
    default:
      return PortOpenProblem::Other;
  }
}

// The same, also looking at what the path names: a file, a folder or a device
// this process may open yet that refuses a serial port's requests (/dev/null)
// is no serial port, whatever error its open gave.
PortOpenProblem ClassifyOpenError(int osCode, const std::string& path);

// Who may open a device file besides its owner: the file's group, and whether
// that group may read and write it.
struct DeviceGroup {
  std::string name;  // the number, when the system has no name for it
  bool mayReadWrite = false;
};

// Nothing when the path cannot be looked at.
std::optional<DeviceGroup> DeviceGroupOf(const std::string& path);

inline constexpr const char* kTimeoutText = "Timeout";
inline constexpr const char* kClosedPortText = "Can't perform this operation on a closed port";
inline constexpr const char* kOpenPortText = "Can't perform this operation on an open port";
inline constexpr const char* kThreadText = "Can't create thread";

}  // namespace bq
