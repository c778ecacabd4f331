#pragma once
// The device's program flash and EEPROM with the behaviour of real parts:
// erased flash reads 0xFF and programming can only clear bits.

#include <array>
#include <cstdint>
#include <span>

#include "image/firmware_image.h"
#include "sim_options.h"

namespace bq::sim {

struct DeviceMemory {
  std::array<uint8_t, kFlashSize> flash{};
  std::array<uint8_t, kEepromSize> eeprom{};
  uint8_t productCode = 0xFF;  // kept by the boot loader apart from flash

  // Power-up contents chosen by the options (boot loader area included).
  static DeviceMemory Initial(const SimOptions& options);

  // Sets [address, address + count) to 0xFF.
  void EraseFlash(uint32_t address, uint32_t count);
  // Programs `data` at `address` (new = old AND data); true when the cells now
  // read back exactly as `data` (false when they held cleared bits already).
  bool ProgramFlash(uint32_t address, std::span<const uint8_t> data);
  void WriteEeprom(uint32_t address, std::span<const uint8_t> data);
};

}  // namespace bq::sim
