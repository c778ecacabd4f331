#pragma once
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

inline constexpr const char* kTimeoutText = "Timeout";
inline constexpr const char* kClosedPortText = "Can't perform this operation on a closed port";
inline constexpr const char* kOpenPortText = "Can't perform this operation on an open port";
inline constexpr const char* kThreadText = "Can't create thread";

}  // namespace bq
