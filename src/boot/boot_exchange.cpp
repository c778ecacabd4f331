#include "boot/boot_exchange.h"

#include <stdexcept>

namespace bq {

BootRequest::BootRequest(std::initializer_list<uint8_t> head) {
  ClearPayload(payload_);
  for (uint8_t b : head) payload_[length_++] = b;
}

void BootRequest::Append(const uint8_t* data, size_t count) {
  // The length byte of the frame cannot describe more than 255 payload bytes.
  if (length_ + count > 255) {
    throw std::length_error("boot request of " + std::to_string(length_ + count) +
                            " bytes does not fit in one frame (at most 255)");
  }
  for (size_t i = 0; i < count; ++i) payload_[length_++] = data[i];
}

bool ExchangeBootFrame(TComPortGPS& port, const BootRequest& request, BootReply& reply) {
  SendBootFrame(port, request.Length(), request.Payload());
  return ReceiveBootFrame(port, reply.payload, reply.length);
}

}  // namespace bq
