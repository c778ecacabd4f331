#pragma once
// Request payloads of the boot protocol and of the accessories, written out
// byte by byte as a tool sends them, and small helpers that start a device
// for one test and wait for what it does.

#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "frame_codec.h"
#include "line_client.h"
#include "virtual_device.h"

namespace bq::sim::test {

inline uint8_t Hi(uint32_t a) {
  return static_cast<uint8_t>(a >> 8);
}
inline uint8_t Lo(uint32_t a) {
  return static_cast<uint8_t>(a);
}
inline uint8_t Count8(const Bytes& data) {
  return static_cast<uint8_t>(data.size() / 8);
}

inline Bytes Join(Bytes head, const Bytes& tail) {
  head.reserve(head.size() + tail.size());
  for (uint8_t b : tail) head.push_back(b);  // insert() trips GCC 12's array-bounds warning
  return head;
}

inline Bytes ReadVersionRequest() {
  return {0x01, 0xFF, 0xFF, 0xFF};
}
inline Bytes ReadIdentityRequest() {
  return {0x0D, 0xFF, 0xFF, 0xFF};
}
inline Bytes ResetRunRequest() {
  return {0x09, 0xFF, 0xFF, 0xFF};
}
inline Bytes EraseAllRequest() {
  return {0x11, 0x00, 0x00, 0x00, 0x00};
}
inline Bytes EraseBlocksRequest(uint32_t a, uint8_t count) {
  return {0x08, Hi(a), Lo(a), count, 0x00};
}
inline Bytes WriteFlashRequest(uint32_t a, const Bytes& data) {
  return Join({0x05, Hi(a), Lo(a), Count8(data)}, data);
}
inline Bytes WriteVerifyRequest(uint32_t a, const Bytes& data) {
  return Join({0x10, Hi(a), Lo(a), Count8(data)}, data);
}
inline Bytes WriteVerifyLongRequest(uint32_t a, const Bytes& data) {
  return Join({0x14, static_cast<uint8_t>(a >> 16), Hi(a), Lo(a), Count8(data)}, data);
}
inline Bytes CompareFlashRequest(uint32_t a, uint8_t count) {
  return {0x02, Hi(a), Lo(a), count};
}
inline Bytes WriteEepromRequest(uint32_t a, const Bytes& data) {
  return Join({0x06, Hi(a), Lo(a), 0x10}, data);
}
inline Bytes ReadEepromRequest(uint32_t a) {
  return {0x03, Hi(a), Lo(a), 0x10};
}
inline Bytes ProductTypeRequest(uint8_t code, Bytes access = {0x5C, 0x2E, 0x91, 0xB7}) {
  return Join(Join({0x13, 0xFF, 0xFF, code, 0xFF}, access), {0xFF});
}

// The accessory link's two requests; frame them with EncodeLinkFrame and
// the prefix "KE" or "NK".
inline Bytes LinkReadIdentityRequest() {
  return {0x20, 0x00, 0x00, 0x00};
}
inline Bytes LinkEnterBootRequest(Bytes access = {0x3A, 0xC5, 0x0E, 0x97}) {
  return Join({0x24}, access);
}
// The two QX frames, whole.
inline Bytes QxVersionQuery() {
  return EncodeLinkFrame("QX", {0xE7});
}
inline Bytes QxEnterBoot(Bytes access = {0xC7, 0xA5}) {
  return EncodeLinkFrame("QX", Join({0xE5}, access));
}
// The bridge's control runs.
inline Bytes WakeRun() {
  return Bytes(24, 'N');
}
inline Bytes ProbeRun() {
  return Bytes(25, 'P');
}
inline Bytes BootRun() {
  return Bytes(25, 'O');
}

// `count` bytes counting up from `first`.
inline Bytes Ramp(size_t count, uint8_t first = 0) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// Polls `condition` until it holds; false when it still does not after `timeoutMs`.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 500) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    usleep(2000);
  }
  return true;
}

inline std::unique_ptr<VirtualDevice> StartDevice(SimOptions options = {}) {
  auto device = std::make_unique<VirtualDevice>(std::move(options));
  device->Start();
  return device;
}

}  // namespace bq::sim::test
