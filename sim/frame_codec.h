#pragma once
// The device's side of the boot frame: 0x0F 0x0F, length, payload, checksum,
// where length + payload + checksum sum to 0 modulo 256.

#include <cstdint>
#include <optional>
#include <vector>

namespace bq::sim {

std::vector<uint8_t> EncodeFrame(const std::vector<uint8_t>& payload);

// Hunts for 0x0F 0x0F in the byte stream and collects one frame at a time;
// bytes outside a frame are skipped, and a frame with a bad checksum is dropped.
class FrameHunter {
 public:
  enum class Event { kNone, kFrame, kBadChecksum };

  Event Feed(uint8_t byte);
  // The payload of the frame just reported by kFrame.
  const std::vector<uint8_t>& Payload() const { return payload_; }
  // Forgets a partial frame and hunts for the sync bytes again.
  void Reset();
  bool Idle() const { return state_ == State::kSync1; }

 private:
  enum class State { kSync1, kSync2, kLength, kBody };
  State state_ = State::kSync1;
  uint8_t length_ = 0;
  uint8_t sum_ = 0;
  std::vector<uint8_t> payload_;
};

}  // namespace bq::sim
