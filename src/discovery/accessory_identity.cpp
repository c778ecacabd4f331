#include "discovery/accessory_identity.h"

namespace bq {

namespace {
// The reply runs to byte 14; bytes 3-6 and 10-14 carry nothing this program uses.
constexpr size_t kIdentityReplySize = 15;
}  // namespace

std::optional<AccessoryIdentity> ParseAccessoryIdentity(const std::vector<uint8_t>& reply) {
  if (reply.size() < kIdentityReplySize) return std::nullopt;
  AccessoryIdentity id;
  id.serialNumber = static_cast<uint16_t>(reply[1] | (reply[2] << 8));
  id.productCode = reply[7];
  id.version = reply[8];
  id.revision = reply[9];
  return id;
}

}  // namespace bq
