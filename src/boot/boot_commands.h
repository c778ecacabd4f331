#pragma once
// One operation per boot-loader command. Each sends one request frame and checks
// the one reply: a missing or broken reply fails silently, a complete reply of the
// wrong length or code shows the command's message and fails.

#include <array>
#include <cstdint>
#include <string>

#include "boot/device_identity.h"

namespace bq {

struct Context;

bool EraseAll(Context& ctx);  // leaves the long erase time-outs in force
bool EraseBlocks(Context& ctx, uint16_t address, uint8_t count);
bool WriteProductType(Context& ctx, uint8_t productCode);
bool ReadBootVersion(Context& ctx);  // sets ctx.identity.bootLoaderVersion/hardwareVersion
bool ReadDeviceIdentity(Context& ctx, DeviceIdentity& identity);
bool WriteEepromBlock(Context& ctx, uint16_t address);
bool WriteVerifyFlashLong(Context& ctx, uint32_t address, uint8_t count);
bool WriteVerifyFlash(Context& ctx, uint16_t address, uint8_t count);
bool WriteFlash(Context& ctx, uint16_t address, uint8_t count);
bool ReadEepromBlock(Context& ctx, uint16_t address, std::array<uint8_t, 16>& data);
bool CompareEepromBlock(Context& ctx, uint16_t address);
bool CompareFlash(Context& ctx, uint16_t address, uint8_t count);
void ResetRun(Context& ctx);  // no reply awaited

std::string FormatBootVersion(uint32_t version);  // 514 -> "2.02"
void ShowDeviceIdentity(Context& ctx, const DeviceIdentity& identity);
void ClearDeviceIdentity(Context& ctx);

}  // namespace bq
