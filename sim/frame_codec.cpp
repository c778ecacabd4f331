#include "frame_codec.h"

namespace bq::sim {
namespace {
constexpr uint8_t kSync = 0x0F;
}

std::vector<uint8_t> EncodeFrame(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame;
  frame.reserve(payload.size() + 4);
  const auto length = static_cast<uint8_t>(payload.size());
  frame.push_back(kSync);
  frame.push_back(kSync);
  frame.push_back(length);
  uint8_t sum = length;
  for (uint8_t b : payload) {
    frame.push_back(b);
    sum = static_cast<uint8_t>(sum + b);
  }
  frame.push_back(static_cast<uint8_t>(-sum));
  return frame;
}

void FrameHunter::Reset() {
  state_ = State::kSync1;
  payload_.clear();
}

FrameHunter::Event FrameHunter::Feed(uint8_t byte) {
  switch (state_) {
    case State::kSync1:
      if (byte == kSync) state_ = State::kSync2;
      return Event::kNone;
    case State::kSync2:
      state_ = byte == kSync ? State::kLength : State::kSync1;
      return Event::kNone;
    case State::kLength:
      length_ = byte;
      sum_ = byte;
      payload_.clear();
      state_ = State::kBody;
      return Event::kNone;
    case State::kBody:
      sum_ = static_cast<uint8_t>(sum_ + byte);
      if (payload_.size() < length_) {
        payload_.push_back(byte);
        return Event::kNone;
      }
      state_ = State::kSync1;  // that was the checksum
      return sum_ == 0 ? Event::kFrame : Event::kBadChecksum;
  }
  return Event::kNone;
}

uint8_t LinkCheckByte(const std::vector<uint8_t>& payload) {
  uint8_t check = 0;
  for (uint8_t b : payload) check ^= b;
  return static_cast<uint8_t>(check + 1);
}

std::vector<uint8_t> EncodeLinkFrame(std::string_view prefix, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame;
  frame.reserve(payload.size() + 4);
  frame.push_back(static_cast<uint8_t>(prefix[0]));
  frame.push_back(static_cast<uint8_t>(prefix[1]));
  frame.push_back(static_cast<uint8_t>(payload.size()));
  for (uint8_t b : payload) frame.push_back(b);
  frame.push_back(LinkCheckByte(payload));
  return frame;
}

void LinkFrameHunter::Reset() {
  state_ = State::kFirst;
  payload_.clear();
}

LinkFrameHunter::Event LinkFrameHunter::Feed(uint8_t byte) {
  switch (state_) {
    case State::kFirst:
      if (byte == first_) state_ = State::kSecond;
      return Event::kNone;
    case State::kSecond:
      state_ = byte == second_ ? State::kLength : State::kFirst;
      return Event::kNone;
    case State::kLength:
      if (byte == 0 || byte > kMaxLinkLength) {
        Reset();
        return Event::kNone;
      }
      length_ = byte;
      payload_.clear();
      state_ = State::kPayload;
      return Event::kNone;
    case State::kPayload:
      payload_.push_back(byte);
      if (payload_.size() == length_) state_ = State::kCheck;
      return Event::kNone;
    case State::kCheck:
      state_ = State::kFirst;
      return byte == LinkCheckByte(payload_) ? Event::kFrame : Event::kBadChecksum;
  }
  return Event::kNone;
}

}  // namespace bq::sim
