#pragma once
#include <cstdint>

namespace bq {

// Read and write time-outs of one port call, in milliseconds.
struct Timeouts {
  uint32_t readInterval = 50;     // longest pause between two received bytes
  uint32_t readMultiplier = 100;  // per requested byte
  uint32_t readConstant = 1000;   // once per read
  uint32_t writeMultiplier = 0;   // per byte written (0 with writeConstant 0: no limit)
  uint32_t writeConstant = 0;     // once per write

  friend bool operator==(const Timeouts&, const Timeouts&) = default;
};

// The open's default set: one byte waits at most 1100 ms.
inline constexpr Timeouts kOpenTimeouts{50, 100, 1000, 0, 0};
// Probing for a device: one byte waits at most 110 ms.
inline constexpr Timeouts ProbeTimeouts{5, 10, 100, 0, 0};
// After a one-step erase: one byte waits at most 11 s.
inline constexpr Timeouts kLongEraseTimeouts{500, 1000, 10000, 0, 0};

}  // namespace bq
