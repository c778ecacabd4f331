#pragma once
// The boot protocol's frame: 0x0F 0x0F, length L, L payload bytes, checksum K
// with (L + sum(payload) + K) mod 256 == 0.

#include <array>
#include <cstdint>

#include "serial/com_port.h"

namespace bq {

inline constexpr uint8_t kBootSync = 0x0F;
inline constexpr size_t kPayloadBufferSize = 1000;
using PayloadBuffer = std::array<uint8_t, kPayloadBufferSize>;

inline void ClearPayload(PayloadBuffer& buffer) {
  buffer.fill(0);
}

uint8_t BootChecksum(uint8_t length, const uint8_t* payload);
// The whole frame as it goes on the wire.
Bytes EncodeBootFrame(uint8_t length, const uint8_t* payload);

// Purges the input, then starts writing the frame; does not wait for it to leave.
void SendBootFrame(TComPortGPS& port, uint8_t length, const PayloadBuffer& payload);
// Reads one frame byte by byte under the port's current time-outs.
// length is stored as soon as it is read, even when a later step fails.
bool ReceiveBootFrame(TComPortGPS& port, PayloadBuffer& buffer, uint8_t& length);

}  // namespace bq
