#pragma once
// What one programming run will touch and in which order, worked out from the
// image, the switches and the boot loader's version before anything is sent.
// The plan carries the bytes it writes and compares; the engine only runs it.

#include <array>
#include <cstdint>
#include <vector>

#include "image/firmware_image.h"
#include "programming/programming_options.h"

namespace bq {

inline constexpr uint32_t kFlashTop64K = 0xFFFF;
inline constexpr uint32_t kFlashTop128K = 0x1FFFF;
inline constexpr uint32_t kEepromTop = 4095;
inline constexpr uint32_t kGranule = 16;
inline constexpr uint32_t kEraseStep = 256;
inline constexpr uint8_t kEraseStepCount = 4;  // 4 x 64 bytes
inline constexpr uint32_t kWriteBlock = 128;
inline constexpr uint8_t kWriteBlockCount = 16;  // 16 x 8 bytes
inline constexpr uint32_t kTailBlock = 8;
inline constexpr int kWriteAttempts = 4;
// EEPROM addresses 0..15 hold the boot loader's own data.
inline constexpr uint32_t kEepromBootGranule = 0;

enum class EraseMode { None, OneStep, Blocks };

enum class FlashWriteCommand {
  WriteVerifyLong,   // newer loader, 24-bit addresses
  WriteVerify,       // newer loader, 16-bit addresses
  WriteThenCompare,  // older loader, read back every block at once
  WriteOnly,         // older loader without read-back while writing
};

// One 128-byte block of the flash write.
struct FlashBlock {
  uint32_t address = 0;
  std::vector<uint8_t> data;
  // False for a blank block under smart write: erased flash already holds it.
  bool send = true;
};

// One read-back of the separate verification, with the bytes it must find.
struct FlashRead {
  uint32_t address = 0;
  std::vector<uint8_t> expected;  // 8-byte units

  uint8_t Units() const { return static_cast<uint8_t>(expected.size() / 8); }
};

struct EepromGranule {
  uint32_t address = 0;
  std::array<uint8_t, kGranule> data{};
};

struct ProgrammingPlan {
  bool newerLoader = false;
  uint32_t flashTop = kFlashTop64K;
  uint32_t end = kFlashTop64K;  // trimmed flash end
  uint32_t e2end = kEepromTop;
  uint32_t eraseEnd = 0;         // E
  uint32_t writeEnd = 0;         // W
  uint32_t verifyEnd = 0;        // end of the separate verification
  uint32_t verifyBlocksEnd = 0;  // end of its 128-byte part; 8-byte reads follow

  EraseMode eraseMode = EraseMode::None;
  std::vector<uint32_t> eraseAddresses;  // 256-byte steps (older loaders)

  bool writeFlash = false;
  FlashWriteCommand writeCommand = FlashWriteCommand::WriteVerify;
  // Blocks in the order they are written: the one at ApplicationStart last, so a
  // run that stops half-way leaves the application unable to start.
  std::vector<FlashBlock> writeBlocks;

  bool separateVerify = false;
  std::vector<FlashRead> verifyReads;

  bool eeprom = false;
  // Granules from 0 to e2end; the boot granule at 0 is reported, never sent.
  std::vector<EepromGranule> eepromGranules;

  bool writeProductCode = false;
  uint8_t productCode = 0;

  // An older loader reaches only 16-bit addresses; set when the image holds data
  // above them that the run would have to leave out.
  bool dataBeyondReach = false;
};

// Highest flash address holding data, rounded up to its 16-byte granule; the
// granule at ApplicationStart is never examined. flashTop when nothing is found.
uint32_t TrimmedFlashEnd(const FirmwareImage& image, uint32_t flashTop);
// Whether the image holds any flash data from ApplicationStart up: without it
// a write would only erase the device's program.
bool HoldsApplication(const FirmwareImage& image);
// Covers the first blank EEPROM granule and the one after it; 4095 when none is blank.
uint32_t TrimmedEepromEnd(const FirmwareImage& image);

ProgrammingPlan PlanProgramming(const FirmwareImage& image, const ProgrammingOptions& options,
                                uint32_t bootLoaderVersion, uint8_t productCode = 0);

// The addresses of a list of blocks, reads or granules, in order.
template <typename Item>
std::vector<uint32_t> AddressesOf(const std::vector<Item>& items) {
  std::vector<uint32_t> addresses;
  addresses.reserve(items.size());
  for (const Item& item : items) addresses.push_back(item.address);
  return addresses;
}

}  // namespace bq
