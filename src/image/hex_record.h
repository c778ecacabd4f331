#pragma once
// One Intel HEX record line, as every file this program writes spells it.

#include <cstdint>
#include <span>
#include <string>

namespace bq {

enum HexRecordType : uint8_t {
  kHexData = 0,
  kHexEnd = 1,
  kHexLinearAddress = 4,
  kHexProductHeader = 6,
};

// ":" count, offset, type, data and checksum in upper-case hex, without a line end.
std::string IntelHexRecord(uint8_t type, uint16_t offset, std::span<const uint8_t> data);
// The extended linear address record that puts upperWord in force.
std::string IntelHexLinearAddress(uint32_t upperWord);

}  // namespace bq
