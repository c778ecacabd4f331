#include "image/kfx_writer.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <span>
#include <system_error>

#include "image/firmware_loader.h"
#include "image/hex_record.h"
#include "shell/safe_file.h"

namespace bq {

namespace {

// The byte layout the loader's DecodeHeaderRecord reads.
std::string HeaderRecord(const FirmwareHeader& header) {
  std::array<uint8_t, kHeaderRecordSize> bytes{};
  bytes[0] = header.productCode;
  bytes[1] = static_cast<uint8_t>(header.serialNumber);
  bytes[2] = header.version;
  bytes[8] = header.revision;
  bytes[13] = static_cast<uint8_t>(header.serialNumber >> 8);
  return IntelHexRecord(kHexProductHeader, 0, bytes);
}

// Non-blank records of one area that starts at address (upper word, offset) 0
// of upperBase, each 64K of it after its own extended linear address record.
void AddArea(std::vector<std::string>& lines, std::span<const uint8_t> area, uint32_t upperBase) {
  std::optional<uint32_t> upperWritten;
  for (size_t at = 0; at < area.size(); at += kKfxBytesPerRecord) {
    auto chunk = area.subspan(at, std::min(kKfxBytesPerRecord, area.size() - at));
    if (std::all_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b == 0xFF; })) continue;
    const uint32_t upper = upperBase + static_cast<uint32_t>(at >> 16);
    if (upperWritten != upper) lines.push_back(IntelHexLinearAddress(upper));
    upperWritten = upper;
    lines.push_back(IntelHexRecord(kHexData, static_cast<uint16_t>(at), chunk));
  }
}

}  // namespace

std::vector<std::string> KfxRecords(const FirmwareImage& image, const FirmwareHeader& header) {
  std::vector<std::string> lines{HeaderRecord(header)};
  AddArea(lines, image.flash, 0);
  AddArea(lines, image.config, kConfigUpperWord);
  AddArea(lines, image.eeprom, kEepromUpperWord);
  lines.push_back(IntelHexRecord(kHexEnd, 0, {}));
  return lines;
}

std::optional<KfxWriteError> WriteKfxFile(const std::string& path, const FirmwareImage& image,
                                          const FirmwareHeader& header) {
  // A name that is taken is refused before the work; the rename that never
  // replaces refuses one taken in the meantime.
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::status(path, ec))) {
    return KfxWriteError{KfxWriteError::Kind::Exists, EEXIST};
  }
  std::string text;
  for (const auto& line : KfxRecords(image, header)) text += line + "\r\n";
  const std::optional<SafeWriteError> failed =
      WriteFileSafely(path, text, ReplaceMode::KeepExisting);
  if (!failed) return std::nullopt;
  if (failed->step == SafeWriteError::Step::Create) {
    return KfxWriteError{KfxWriteError::Kind::Create, failed->osError};
  }
  return KfxWriteError{
      failed->osError == EEXIST ? KfxWriteError::Kind::Exists : KfxWriteError::Kind::Write,
      failed->osError};
}

}  // namespace bq
