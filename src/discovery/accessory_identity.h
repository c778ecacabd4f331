#pragma once
// What an accessory tells about itself in its ReadIdentity reply.

#include <cstdint>
#include <optional>
#include <vector>

namespace bq {

struct AccessoryIdentity {
  uint16_t serialNumber = 0;  // factory serial number
  uint8_t productCode = 0;    // index into the product-name list
  uint8_t version = 0;
  uint8_t revision = 0;

  friend bool operator==(const AccessoryIdentity&, const AccessoryIdentity&) = default;
};

// Reads the fields from a ReadIdentity reply payload (reply code first). Empty
// when the payload is too short to hold every byte of the reply's layout.
std::optional<AccessoryIdentity> ParseAccessoryIdentity(const std::vector<uint8_t>& reply);

}  // namespace bq
