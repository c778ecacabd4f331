#pragma once
// Names of the per-serial-number firmware files and of the block folders that
// hold the files of 100 consecutive serial numbers:
//   P_0_99_v1_5/P_V1_05_NS000036.kfx

#include <cstdint>
#include <optional>
#include <string>

#include "image/firmware_image.h"

namespace bq {

inline constexpr int64_t kSerialsPerBlock = 100;
// The largest serial number a product header record can carry.
inline constexpr int64_t kMaxHeaderSerial = 0xFFFF;

// "<folder prefix>_<first>_<last>_v<version>_<revision>"; the numbers in plain
// decimal, the version and revision texts as given.
std::string BlockFolderName(uint32_t productCode, int64_t first, int64_t last,
                            const std::string& versionText, const std::string& revisionText);

// The first serial number of the block of 100 that holds serial: 150 -> 100.
int64_t BlockStartOf(int64_t serial);

// "<file prefix>_V<version>_<revision, 2 digits>_NS<serial, 6 digits>", the
// name of the firmware written into one device (without an extension).
std::string SerialFirmwareName(const FirmwareHeader& header);
// The same with ".kfx": the file of one serial number in its block folder.
std::string SerialKfxFileName(const FirmwareHeader& header);

// The file of serial beside lastFile: the name up to its first "NS" gets the
// serial number (six digits) and ".kfx", and the range between the first "_"
// and the first "_v" of its folder's name becomes that serial's block:
//   /fw/P_0_99_v1_5/P_V1_05_NS000036.kfx, 150 -> /fw/P_100_199_v1_5/P_V1_05_NS000150.kfx
// Empty when the file name holds no "NS". A folder name without a range keeps
// its folder.
std::optional<std::string> FileForSerial(const std::string& lastFile, int32_t serial);

}  // namespace bq
