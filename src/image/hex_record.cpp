#include "image/hex_record.h"

namespace bq {

std::string IntelHexRecord(uint8_t type, uint16_t offset, std::span<const uint8_t> data) {
  static const char* digits = "0123456789ABCDEF";
  std::string line = ":";
  uint8_t sum = 0;
  auto put = [&](uint8_t b) {
    line += digits[b >> 4];
    line += digits[b & 15];
    sum = static_cast<uint8_t>(sum + b);
  };
  put(static_cast<uint8_t>(data.size()));
  put(static_cast<uint8_t>(offset >> 8));
  put(static_cast<uint8_t>(offset));
  put(type);
  for (uint8_t b : data) put(b);
  put(static_cast<uint8_t>(-sum));
  return line;
}

std::string IntelHexLinearAddress(uint32_t upperWord) {
  const uint8_t word[2] = {static_cast<uint8_t>(upperWord >> 8), static_cast<uint8_t>(upperWord)};
  return IntelHexRecord(kHexLinearAddress, 0, word);
}

}  // namespace bq
