#pragma once
// Reading the device's memory back without writing anything: comparing it with
// a firmware file, and copying it out.

#include <cstdint>
#include <optional>
#include <string>

#include "image/firmware_image.h"

namespace bq {

class Station;

// Flash below 64 KiB is all a 16-bit read-back address reaches.
inline constexpr uint32_t kReadableFlashTop = 0xFFFF;

enum class MemoryRunResult {
  Ok,            // verify: everything compared matches; read: everything was read
  Differs,       // verify only: firstDifference says where
  FileFailed,    // the file did not load (the loader has told the operator why)
  BeyondReach,   // the file holds flash above kReadableFlashTop
  NoBootLoader,  // the port opened, no boot loader answered
  ReadFailed,    // a block's read-back went unanswered or came back wrong every time
  Cancelled,
};

struct VerifyOutcome {
  MemoryRunResult result = MemoryRunResult::NoBootLoader;
  // Flash addresses as they are, EEPROM ones under the loader's EEPROM word (0xF0xxxx).
  std::optional<uint32_t> firstDifference;
  // ReadFailed: the block that got no good reply after its retries.
  std::optional<uint32_t> failedAddress;
  uint32_t flashEnd = 0;        // last flash address compared (or that would be)
  bool eepromCompared = false;  // the EEPROM switch was on
};

// Loads the file, finds the boot loader's rate, compares its trimmed flash from
// ApplicationStart and, with options.writeEeprom, its EEPROM above the boot
// loader's granule. Writes nothing; the port is closed on the way out. Every
// block read is asked again after a bad or missing reply, and a difference is
// read again before it counts.
VerifyOutcome VerifyAttachedDevice(Station& st, const std::string& fileName);

struct ReadOutcome {
  MemoryRunResult result = MemoryRunResult::NoBootLoader;
  // ReadFailed: the block (flash, or EEPROM under 0xF0xxxx) that got no good
  // reply after its retries.
  std::optional<uint32_t> failedAddress;
};

// Reads flash first..last (inclusive, at most kReadableFlashTop) and, with
// eeprom, the whole EEPROM into `into`; everything else there is left blank.
// Each block is asked again after a bad or missing reply.
ReadOutcome ReadAttachedMemory(Station& st, uint32_t first, uint32_t last, bool eeprom,
                               FirmwareImage& into);

}  // namespace bq
