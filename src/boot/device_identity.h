#pragma once
// What a device's boot loader reports about the device.

#include <cstdint>

namespace bq {

// Boot loaders from this version on (shown 2.02) know the newer commands.
inline constexpr uint32_t kNewerLoaderVersion = 514;

struct DeviceIdentity {
  uint16_t serialNumber = 0;
  uint8_t firmwareVersion = 0;
  uint8_t firmwareRevision = 0;
  uint8_t productCode = 0;
  // major * 256 + minor; 0 when not read or when the last read failed.
  uint32_t bootLoaderVersion = 0;
  // 0 after a short version reply, when not read, or when the last read failed.
  uint32_t hardwareVersion = 0;

  bool IsBlank() const { return HasNoApplication() && productCode == 255; }
  // Version 255.255 is erased application flash: an erase, or a write that was
  // cancelled, unplugged or failed, leaves it so while the product code stays.
  bool HasNoApplication() const { return firmwareVersion == 255 && firmwareRevision == 255; }
};

}  // namespace bq
