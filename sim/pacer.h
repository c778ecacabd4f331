#pragma once
// One timeline for the line at its real speed. Bytes cross it one at a time,
// 10 bits each (start, 8 data, stop), in either direction but never both at
// once: a request and its reply share the wire as on a half-duplex exchange.
// Every time on it is virtual, so how late the device thread wakes up never
// adds to the next byte's time.

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace bq::sim {

class Pacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Pacer(uint32_t rate) : perByte_(PerByte(rate)) {}

  // The line changes speed (an accessory restarting into its boot loader);
  // bytes already on the timeline keep their times.
  void SetRate(uint32_t rate) { perByte_ = PerByte(rate); }

  // The virtual arrival of a received byte the device read at `readTime`: one
  // character time after the line became free, or after the read, if later.
  Clock::time_point Arrive(Clock::time_point readTime) {
    free_ = std::max(free_, readTime) + perByte_;
    return free_;
  }

  // Sends `bytes` starting no sooner than `earliest` and not while the line is
  // still busy; returns when the last of them has left, which is when a reply
  // written all at once should appear on the other end.
  Clock::time_point Send(size_t bytes, Clock::time_point earliest) {
    free_ = std::max(free_, earliest) + WireTime(bytes);
    return free_;
  }

  // How long `bytes` take on the wire.
  Clock::duration WireTime(size_t bytes) const { return perByte_ * static_cast<int64_t>(bytes); }

 private:
  static std::chrono::nanoseconds PerByte(uint32_t rate) {
    return std::chrono::nanoseconds(10'000'000'000LL / std::max<uint32_t>(rate, 1));
  }

  std::chrono::nanoseconds perByte_;
  Clock::time_point free_{};  // when the last byte, either way, has crossed
};

}  // namespace bq::sim
