#include "serial/boot_frame.h"

#include <algorithm>

#include "serial/boot_port.h"

namespace bq {

uint8_t BootChecksum(uint8_t length, const uint8_t* payload) {
  unsigned sum = length;
  for (unsigned i = 0; i < length; ++i) sum += payload[i];
  return static_cast<uint8_t>(-sum);
}

Bytes EncodeBootFrame(uint8_t length, const uint8_t* payload) {
  Bytes frame(size_t{length} + 4);
  frame[0] = kBootSync;
  frame[1] = kBootSync;
  frame[2] = length;
  std::copy(payload, payload + length, frame.begin() + 3);
  frame.back() = BootChecksum(length, payload);
  return frame;
}

void SendBootFrame(TComPortGPS& port, uint8_t length, const PayloadBuffer& payload) {
  port.PurgeInput();  // a late reply to an earlier request must not be taken for this one
  port.WriteString(EncodeBootFrame(length, payload.data()));
}

bool ReceiveBootFrame(TComPortGPS& port, PayloadBuffer& buffer, uint8_t& length) {
  ClearPayload(buffer);
  uint8_t byte = 0;
  for (int i = 0; i < 2; ++i) {
    if (!ReadByteTimed(port, byte) || byte != kBootSync) return false;
  }
  if (!ReadByteTimed(port, length)) return false;
  unsigned sum = length;
  for (unsigned i = 0; i <= length; ++i) {
    if (!ReadByteTimed(port, buffer[i])) return false;
    sum += buffer[i];
  }
  return sum % 256 == 0;
}

}  // namespace bq
