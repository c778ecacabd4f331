#include "image/hex_writer.h"

#include <algorithm>
#include <cstring>

#include "image/firmware_loader.h"
#include "image/hex_record.h"
#include "shell/safe_file.h"

namespace bq {
HexSegment FlashSegment(const FirmwareImage& image, uint32_t first, uint32_t last) {
  return {first, std::span<const uint8_t>(image.flash).subspan(first, last - first + 1)};
}

HexSegment EepromSegment(const FirmwareImage& image, uint32_t first, uint32_t last) {
  return {kEepromUpperWord << 16 | first,
          std::span<const uint8_t>(image.eeprom).subspan(first, last - first + 1)};
}

std::string IntelHexText(std::span<const HexSegment> segments) {
  std::string out;
  std::optional<uint32_t> page;  // the upper word in force
  for (const HexSegment& segment : segments) {
    size_t done = 0;
    while (done < segment.data.size()) {
      const uint32_t address = segment.address + static_cast<uint32_t>(done);
      if (page != address >> 16) {
        page = address >> 16;
        out += IntelHexLinearAddress(*page) + "\r\n";
      }
      // A record never crosses into the next page.
      const size_t pageLeft = 0x10000 - (address & 0xFFFF);
      const size_t count = std::min({kHexRecordBytes, segment.data.size() - done, pageLeft});
      out += IntelHexRecord(kHexData, static_cast<uint16_t>(address),
                            segment.data.subspan(done, count)) +
             "\r\n";
      done += count;
    }
  }
  out += IntelHexRecord(kHexEnd, 0, {}) + "\r\n";
  return out;
}

std::optional<HexWriteError> WriteIntelHex(const std::string& path,
                                           std::span<const HexSegment> segments) {
  const std::string text = IntelHexText(segments);
  const std::optional<SafeWriteError> failed = WriteFileSafely(path, text);
  if (!failed) return std::nullopt;
  switch (failed->step) {
    case SafeWriteError::Step::Create:
      return HexWriteError{HexWriteError::Kind::Open, failed->osError};
    case SafeWriteError::Step::Write:
      return HexWriteError{HexWriteError::Kind::Write, failed->osError};
    case SafeWriteError::Step::Place:
      break;
  }
  return HexWriteError{HexWriteError::Kind::Place, failed->osError};
}

std::string HexWriteErrorText(const HexWriteError& error) {
  return std::strerror(error.osError);
}

}  // namespace bq
