// Feeds the accessory link's receiver bytes with arbitrary pauses between them.
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "discovery/link_frame.h"
#include "discovery/link_receiver.h"

// The input is pairs: the pause before a byte (in milliseconds), then the byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bq::LinkReceiver receiver;
  auto now = bq::LinkReceiver::Clock::time_point{} + std::chrono::hours(1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    now += std::chrono::milliseconds(data[i]);
    auto payload = receiver.FeedByte(data[i + 1], now);
    if (!payload) continue;
    // A payload handed back is never empty, fits the buffer and carries a right check byte.
    if (payload->empty() || payload->size() > bq::LinkReceiver::kBufferSize) __builtin_trap();
    if (bq::LinkCheckByte(payload->data(), payload->size()) != data[i + 1]) __builtin_trap();
    if (receiver.CurrentState() != bq::LinkReceiver::State::WaitK) __builtin_trap();
  }
  return 0;
}
