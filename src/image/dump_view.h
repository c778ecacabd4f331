#pragma once
// Hexadecimal listings of the memory image, 16 bytes a line:
//   "000800: 0A 0B ... 0F   ........"
// Bytes that are control characters (below 0x20, 0x7F..0x9F) show as '.' in
// the character column; 0xA0..0xFF show as their Latin-1 characters (UTF-8).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/firmware_image.h"

namespace bq {

inline constexpr size_t kDumpBytesPerLine = 16;

// One dump line; the address is written with six hexadecimal digits, or four
// when fourDigitAddress is set (the EEPROM view).
std::string DumpLine(uint32_t address, std::span<const uint8_t, kDumpBytesPerLine> bytes,
                     bool fourDigitAddress);

// The flash from ApplicationStart to 0x1FFFF: 8064 lines.
std::vector<std::string> FlashDumpLines(const FirmwareImage& image);
// The EEPROM from 0 to 0xFFF: 256 lines.
std::vector<std::string> EepromDumpLines(const FirmwareImage& image);
// A flash-sized buffer listed as the flash is, from ApplicationStart to 0x1FFFF.
std::vector<std::string> FlashSizedDumpLines(const std::array<uint8_t, kFlashSize>& buffer);

}  // namespace bq
