#pragma once
// Writes memory ranges as an Intel HEX file that LoadFirmwareFile reads back:
// data records of at most 32 bytes, an extended linear address record before
// each 64 KiB page, and the end record.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/firmware_image.h"

namespace bq {

inline constexpr size_t kHexRecordBytes = 32;

// Bytes placed at an address of the file's address space: flash addresses as they
// are, EEPROM under kEepromUpperWord (see EepromSegment).
struct HexSegment {
  uint32_t address = 0;
  std::span<const uint8_t> data;
};

// Why a write failed. The destination is replaced only after the whole file was
// written, so a failure leaves whatever was there before.
struct HexWriteError {
  enum class Kind {
    Open,   // the temporary file beside the destination could not be created
    Write,  // writing, flushing or closing it failed
    Place,  // it could not be renamed over the destination
  };
  Kind kind = Kind::Open;
  int osError = 0;
};

// The flash from first to last (inclusive) of the image.
HexSegment FlashSegment(const FirmwareImage& image, uint32_t first, uint32_t last);
// The EEPROM from first to last (inclusive), in the loader's EEPROM address space.
HexSegment EepromSegment(const FirmwareImage& image, uint32_t first, uint32_t last);

// The file's text: one line per record, each ending in CR LF.
std::string IntelHexText(std::span<const HexSegment> segments);
std::optional<HexWriteError> WriteIntelHex(const std::string& path,
                                           std::span<const HexSegment> segments);
// The system's words for the error, e.g. "No space left on device".
std::string HexWriteErrorText(const HexWriteError& error);

}  // namespace bq
