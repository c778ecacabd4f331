#include "discovery/link_receiver.h"

#include "discovery/link_frame.h"

namespace bq {

std::optional<std::vector<uint8_t>> LinkReceiver::FeedByte(uint8_t byte, Clock::time_point now) {
  if (timerRunning_ && now - lastByteTime_ > kMaxByteGap) Reset();
  switch (state_) {
    case State::WaitK:
      if (byte == 'K') Accept(State::WaitE, now);
      return std::nullopt;
    case State::WaitE:
      // A second 'K' is not taken as a new start: the stream must show "KE" afresh.
      if (byte == 'E') {
        Accept(State::Length, now);
      } else {
        Reset();
      }
      return std::nullopt;
    case State::Length:
      // Zero would never reach the check byte; 40 and more would overrun the buffer.
      if (byte == 0 || byte > kMaxLinkPayload) {
        Reset();
        return std::nullopt;
      }
      expectedLength_ = byte;
      Accept(State::Payload, now);
      return std::nullopt;
    case State::Payload:
      buffer_[count_++] = byte;
      Accept(count_ == expectedLength_ ? State::Check : State::Payload, now);
      return std::nullopt;
    case State::Check:
      return CheckFrame(byte);
  }
  Reset();
  return std::nullopt;
}

void LinkReceiver::Reset() {
  state_ = State::WaitK;
  count_ = 0;
  timerRunning_ = false;
}

void LinkReceiver::Accept(State next, Clock::time_point now) {
  state_ = next;
  timerRunning_ = true;
  lastByteTime_ = now;
}

std::optional<std::vector<uint8_t>> LinkReceiver::CheckFrame(uint8_t checkByte) {
  std::optional<std::vector<uint8_t>> payload;
  if (checkByte == LinkCheckByte(buffer_.data(), expectedLength_))
    payload.emplace(buffer_.begin(), buffer_.begin() + expectedLength_);
  Reset();
  return payload;
}

}  // namespace bq
