#pragma once
// Writing Intel HEX records for test files.

#include <cstdint>
#include <string>
#include <vector>

namespace bq::test {

// One record, ':' to checksum, without a line end; upper-case digits.
inline std::string HexRecord(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset),
                                type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<uint8_t>(-sum));
  static const char* digits = "0123456789ABCDEF";
  std::string line = ":";
  for (uint8_t b : bytes) {
    line += digits[b >> 4];
    line += digits[b & 15];
  }
  return line;
}

}  // namespace bq::test
