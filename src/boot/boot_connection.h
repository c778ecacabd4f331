#pragma once
// Finding the boot loader's baud rate on a port.

#include <cstdint>
#include <optional>
#include <string>

#include "boot/boot_commands.h"

namespace bq {

inline constexpr uint16_t kSlowBootRate = 19200;
inline constexpr uint16_t kFastBootRate = 38400;

struct BaudDetection {
  // Whether a boot-version request was sent at all (the port opened at least once).
  bool probed = false;
  // The rate whose boot-version request was answered, with what it reported.
  std::optional<uint16_t> rate;
  BootVersionInfo version;
  // On success the port is open again at that rate, with the open's own time-outs.
  bool reopened = false;

  bool Found() const { return rate && reopened; }
};

// Asks for the boot version at 38400 baud (19200 first when preferredRate is
// 19200) under the short probe waits, then at the other rate. A port that does
// not open ends the search at once. Shows no message of its own.
BaudDetection DetectBootBaudRate(BootLink link, const std::string& portName,
                                 uint16_t preferredRate);

}  // namespace bq
