#pragma once
// The link's receive state machine: finds "KE" frames in a byte stream, one byte
// at a time, and hands back each payload whose check byte is right. Not
// thread-safe; its owner serialises the calls.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace bq {

class LinkReceiver {
 public:
  using Clock = std::chrono::steady_clock;

  // A longer pause between two bytes of a frame drops the part received so far.
  static constexpr std::chrono::milliseconds kMaxByteGap{30};
  static constexpr size_t kBufferSize = 40;

  enum class State : uint8_t { WaitK, WaitE, Length, Payload, Check };

  // Takes one byte that arrived at `now`; returns the payload it completes.
  std::optional<std::vector<uint8_t>> FeedByte(uint8_t byte, Clock::time_point now);
  // Back to waiting for 'K'; the part of a frame received so far is dropped.
  void Reset();
  State CurrentState() const { return state_; }

 private:
  void Accept(State next, Clock::time_point now);
  std::optional<std::vector<uint8_t>> CheckFrame(uint8_t checkByte);

  std::array<uint8_t, kBufferSize> buffer_{};
  State state_ = State::WaitK;
  uint8_t expectedLength_ = 0;
  uint8_t count_ = 0;
  bool timerRunning_ = false;
  Clock::time_point lastByteTime_{};
};

}  // namespace bq
