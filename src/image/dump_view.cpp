#include "image/dump_view.h"

#include "shell/utilities.h"

namespace bq {

namespace {

// The character column's form of one byte.
std::string DumpChar(uint8_t b) {
  if (b < 0x20 || (b >= 0x7F && b < 0xA0)) return ".";
  if (b < 0x80) return std::string(1, static_cast<char>(b));
  // Latin-1 upper half as UTF-8: two bytes.
  return std::string{static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F))};
}

template <size_t N>
std::vector<std::string> DumpRange(const std::array<uint8_t, N>& buffer, uint32_t from,
                                   bool fourDigitAddress) {
  std::vector<std::string> lines;
  lines.reserve((N - from) / kDumpBytesPerLine);
  for (uint32_t a = from; a + kDumpBytesPerLine <= N; a += kDumpBytesPerLine) {
    lines.push_back(DumpLine(
        a, std::span<const uint8_t, kDumpBytesPerLine>(buffer.data() + a, kDumpBytesPerLine),
        fourDigitAddress));
  }
  return lines;
}

}  // namespace

std::string DumpLine(uint32_t address, std::span<const uint8_t, kDumpBytesPerLine> bytes,
                     bool fourDigitAddress) {
  std::string line = fourDigitAddress ? HexByte(static_cast<uint8_t>(address >> 8)) +
                                            HexByte(static_cast<uint8_t>(address))
                                      : HexAddress24(address);
  line += ": ";
  for (uint8_t b : bytes) line += HexByte(b) + " ";
  line += "  ";
  for (uint8_t b : bytes) line += DumpChar(b);
  return line;
}

std::vector<std::string> FlashDumpLines(const FirmwareImage& image) {
  return FlashSizedDumpLines(image.flash);
}

std::vector<std::string> FlashSizedDumpLines(const std::array<uint8_t, kFlashSize>& buffer) {
  return DumpRange(buffer, ApplicationStart, false);
}

std::vector<std::string> EepromDumpLines(const FirmwareImage& image) {
  return DumpRange(image.eeprom, 0, true);
}

}  // namespace bq
