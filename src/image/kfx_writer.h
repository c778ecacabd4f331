#pragma once
// Writes a memory image and its product header as a KFX file: Intel HEX
// records that the firmware loader reads back into the same image.

#include <optional>
#include <string>
#include <vector>

#include "image/firmware_image.h"

namespace bq {

// Data bytes in one written data record.
inline constexpr size_t kKfxBytesPerRecord = 32;

// The file's lines without line ends: the product header record, the image's
// non-blank flash, configuration and EEPROM data (32-byte records that are not
// all 0xFF, each area after its extended linear address record), the end record.
std::vector<std::string> KfxRecords(const FirmwareImage& image, const FirmwareHeader& header);

// Why a file was not written.
struct KfxWriteError {
  enum class Kind {
    Exists,  // a file of that name is there already; it is left as it was
    Create,  // the file could not be created in its folder
    Write,   // writing or completing it failed (disk full, file too large)
  };
  Kind kind = Kind::Create;
  int osError = 0;  // the system's error
};

// Writes the records to path with CR LF line ends. The file appears under its
// name only when complete, and never replaces an existing file.
std::optional<KfxWriteError> WriteKfxFile(const std::string& path, const FirmwareImage& image,
                                          const FirmwareHeader& header);

}  // namespace bq
