#pragma once
// Reads Intel HEX and KFX firmware files into the memory image.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/firmware_image.h"

namespace bq {

// Upper address words that route data records to the configuration and EEPROM buffers.
inline constexpr uint32_t kConfigUpperWord = 0x30;
inline constexpr uint32_t kEepromUpperWord = 0xF0;
// Data bytes of the product header record (type 6).
inline constexpr size_t kHeaderRecordSize = 16;

// Decodes a product header record; only address field 0 is understood, any
// other leaves the header as it was.
void DecodeHeaderRecord(uint16_t addressField, const std::array<uint8_t, kHeaderRecordSize>& bytes,
                        FirmwareHeader& header);

// Why a load failed.
struct LoadError {
  enum class Kind {
    Open,     // the file could not be opened, or is not a regular file
    Read,     // reading stopped with a system error
    BadLine,  // a malformed line, or a record outside the image
  };
  Kind kind = Kind::Open;
  int osError = 0;      // Open, Read: the system's error (0: not a regular file)
  int lineNumber = 0;   // BadLine: 1-based
  std::string problem;  // BadLine: what is wrong with the line
};

struct LoadResult {
  std::optional<LoadError> error;
  // Product header records whose length was not 16 (their data is ignored).
  int wrongSizeHeaders = 0;

  bool ok() const { return !error; }
};

// Refills the image from the file and fills header from its product header
// record (or, without one, from the identity bytes at 0x0804..0x0806). Only a
// regular file is read. When it cannot be opened, the image and header are left
// untouched; otherwise the image holds what was read up to a failing line.
LoadResult LoadFirmwareFile(const std::string& fileName, FirmwareImage& image,
                            FirmwareHeader& header);

// The same from a file's text already in memory; never fails with Open or Read.
LoadResult LoadFirmwareText(std::string_view text, FirmwareImage& image, FirmwareHeader& header);

// The text of the memory-size flag: "128K" or "64K".
const char* MemorySizeText(bool memory128K);

}  // namespace bq
