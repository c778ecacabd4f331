#pragma once
// One operation per boot-loader command. Each sends one request frame and checks
// the one reply: a missing or broken reply fails silently, a complete reply of the
// wrong length or code shows the command's message and fails.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "boot/boot_link.h"
#include "boot/device_identity.h"

namespace bq {

inline constexpr size_t kEepromBlockSize = 16;
// Flash counts are in 8-byte units; 31 units is the most one frame can carry.
inline constexpr size_t kFlashUnit = 8;
inline constexpr size_t kMaxFlashUnits = 31;

// What the boot-version command reports.
struct BootVersionInfo {
  uint32_t bootLoaderVersion = 0;  // major * 256 + minor
  uint32_t hardwareVersion = 0;    // 0 after the short reply
};

using EepromBlock = std::span<const uint8_t, kEepromBlockSize>;

bool EraseAll(BootLink link);  // leaves the long erase time-outs in force
bool EraseBlocks(BootLink link, uint16_t address, uint8_t count);
bool WriteProductType(BootLink link, uint8_t productCode);
std::optional<BootVersionInfo> ReadBootVersion(BootLink link);
// Serial number, firmware version and revision, product code.
std::optional<DeviceIdentity> ReadDeviceIdentity(BootLink link);
bool WriteEepromBlock(BootLink link, uint16_t address, EepromBlock data);
// The flash writes send data.size() bytes: a whole number of 8-byte units, at
// most 31 of them.
bool WriteVerifyFlashLong(BootLink link, uint32_t address, std::span<const uint8_t> data);
bool WriteVerifyFlash(BootLink link, uint16_t address, std::span<const uint8_t> data);
bool WriteFlash(BootLink link, uint16_t address, std::span<const uint8_t> data);
std::optional<std::array<uint8_t, kEepromBlockSize>> ReadEepromBlock(BootLink link,
                                                                     uint16_t address);
bool CompareEepromBlock(BootLink link, uint16_t address, EepromBlock expected);
// Reads expected.size() bytes back and compares them.
bool CompareFlash(BootLink link, uint16_t address, std::span<const uint8_t> expected);
// The same read-back handing over the units * 8 bytes found (units 1..31).
std::optional<std::vector<uint8_t>> ReadFlash(BootLink link, uint16_t address, uint8_t units);
void ResetRun(BootLink link);  // no reply awaited

std::string FormatBootVersion(uint32_t version);  // 514 -> "2.02"

}  // namespace bq
