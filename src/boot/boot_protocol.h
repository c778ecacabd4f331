#pragma once
// Command and reply codes of the boot loader's protocol, shared by the client
// and the virtual device.

#include <cstdint>

namespace bq::boot {

enum Command : uint8_t {
  kReadBootVersion = 1,
  kCompareFlash = 2,
  kReadEeprom = 3,
  kWriteFlash = 5,
  kWriteEeprom = 6,
  kEraseBlocks = 8,
  kResetRun = 9,
  kReadIdentity = 13,
  kWriteVerifyFlash = 16,
  kEraseAll = 17,
  kWriteProductType = 19,
  kWriteVerifyFlashLong = 20,
};

enum Reply : uint8_t {
  kReplyVersion = 0x01,
  kReplyCompareFlash = 0x32,  // '2'
  kReplyWriteFlash = 0x31,    // '1'
  kReplyWriteEeprom = 0x33,   // '3'
  kReplyReadEeprom = 0x34,    // '4'
  kReplyEraseBlocks = 0x30,   // "00"
  kReplyIdentity = 0x38,      // '8'
  kReplyWriteVerify = 0x40,
  kReplyEraseAll = 0x41,         // "AA"
  kReplyProductType = 0x43,      // 'C'
  kReplyWriteVerifyLong = 0x44,  // 'D'
  kReplyVerifyMismatch = 0xA0,   // read-back after a write differed
};

// Access code of the product-code write, payload bytes 5..8.
inline constexpr uint8_t kProductTypeAccessCode[4] = {0x5C, 0x2E, 0x91, 0xB7};

}  // namespace bq::boot
