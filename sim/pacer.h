#pragma once
// A timeline of the line at its real speed: a byte cannot arrive sooner than
// one character time (10 bits: start, 8 data, stop) after the byte before it.

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace bq::sim {

class Pacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Pacer(uint32_t rate)
      : perByte_(std::chrono::nanoseconds(10'000'000'000LL / std::max<uint32_t>(rate, 1))) {}

  // The virtual arrival of a byte the device read at `readTime`.
  Clock::time_point Arrive(Clock::time_point readTime) {
    last_ = std::max(last_, readTime) + perByte_;
    return last_;
  }
  // How long `bytes` take on the wire.
  Clock::duration WireTime(size_t bytes) const { return perByte_ * static_cast<int64_t>(bytes); }

 private:
  std::chrono::nanoseconds perByte_;
  Clock::time_point last_{};
};

}  // namespace bq::sim
