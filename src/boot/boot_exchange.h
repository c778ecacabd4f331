#pragma once
// The request/reply step shared by every boot command.

#include <cstdint>
#include <initializer_list>

#include "serial/boot_frame.h"

namespace bq {

// A request payload under construction, in a cleared payload buffer.
class BootRequest {
 public:
  BootRequest(std::initializer_list<uint8_t> head);
  void Append(const uint8_t* data, size_t count);
  uint8_t Length() const { return static_cast<uint8_t>(length_); }
  const PayloadBuffer& Payload() const { return payload_; }

 private:
  PayloadBuffer payload_{};
  size_t length_ = 0;
};

struct BootReply {
  PayloadBuffer payload{};
  uint8_t length = 0;

  uint8_t Code() const { return payload[0]; }
  bool Is(uint8_t expectedLength, uint8_t expectedCode) const {
    return length == expectedLength && Code() == expectedCode;
  }
};

// Sends the request and receives one reply under the port's current time-outs.
// False when no complete frame with a good checksum came. Port errors propagate.
bool ExchangeBootFrame(TComPortGPS& port, const BootRequest& request, BootReply& reply);

}  // namespace bq
