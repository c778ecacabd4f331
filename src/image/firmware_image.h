#pragma once
// The memory image of a device, filled completely by every firmware load, and
// the identity that a firmware file carries.

#include <array>
#include <cstdint>

namespace bq {

// First application address; everything below belongs to the boot loader.
inline constexpr uint32_t ApplicationStart = 0x0800;

inline constexpr uint32_t kFlashSize = 0x20000;
inline constexpr uint32_t kEepromSize = 4096;
inline constexpr uint32_t kConfigSize = 32;

// Where a file without a product header keeps its own identity.
inline constexpr uint32_t kFirmwareVersionAddress = 0x0804;
inline constexpr uint32_t kFirmwareRevisionAddress = 0x0805;
inline constexpr uint32_t kFirmwareProductAddress = 0x0806;

struct FirmwareImage {
  std::array<uint8_t, kFlashSize> flash{};
  std::array<uint8_t, kEepromSize> eeprom{};
  std::array<uint8_t, kConfigSize> config{};

  void FillBlank() {
    flash.fill(0xFF);
    eeprom.fill(0xFF);
    config.fill(0xFF);
  }
};

struct FirmwareHeader {
  uint16_t serialNumber = 0;
  uint8_t version = 0;
  uint8_t revision = 0;
  uint8_t productCode = 0;
  bool memory128K = false;
};

}  // namespace bq
