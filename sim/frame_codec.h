#pragma once
// The device's side of its two frame layouts.
//  - Boot frame: 0x0F 0x0F, length, payload, checksum, where length + payload
//    + checksum sum to 0 modulo 256.
//  - Link frame (the accessories' link and the QX frames): two prefix letters,
//    length n (1..39), payload, check byte = XOR of the payload + 1 mod 256.

#include <cstdint>
#include <optional>
#include <string_view>
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

// How a reply goes on the wire.
enum class ReplyForm {
  kBootFrame,  // the boot loader's frame
  kLinkFrame,  // a link frame with the prefix "KE", as every link reply carries
  kText,       // raw bytes, no framing (the QX version text, the bridge's answer)
};

inline constexpr std::string_view kLinkReplyPrefix = "KE";
inline constexpr uint8_t kMaxLinkLength = 39;

uint8_t LinkCheckByte(const std::vector<uint8_t>& payload);
// `prefix` holds exactly two letters.
std::vector<uint8_t> EncodeLinkFrame(std::string_view prefix, const std::vector<uint8_t>& payload);

// Collects link frames that start with one prefix. Like the tool's receiver,
// it does not look again at a byte that broke the prefix, and it drops a
// frame whose length is 0 or above 39.
class LinkFrameHunter {
 public:
  using Event = FrameHunter::Event;

  explicit LinkFrameHunter(std::string_view prefix) : first_(prefix[0]), second_(prefix[1]) {}

  Event Feed(uint8_t byte);
  const std::vector<uint8_t>& Payload() const { return payload_; }
  void Reset();
  bool Idle() const { return state_ == State::kFirst; }

 private:
  enum class State { kFirst, kSecond, kLength, kPayload, kCheck };
  uint8_t first_;
  uint8_t second_;
  State state_ = State::kFirst;
  uint8_t length_ = 0;
  std::vector<uint8_t> payload_;
};

}  // namespace bq::sim
