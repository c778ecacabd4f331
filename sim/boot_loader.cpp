#include "boot_loader.h"

#include <algorithm>

#include "boot/boot_protocol.h"

namespace bq::sim {
namespace {

using Payload = std::vector<uint8_t>;

constexpr uint16_t kNewerLoader = 0x0202;  // first version with commands 16, 17, 19, 20
constexpr uint32_t kEepromBlock = 16;
constexpr uint32_t kEepromBootCells = 16;
constexpr uint32_t kEraseUnit = 64;
constexpr uint32_t kFlashUnit = 8;
constexpr uint32_t kMaxFlashCount = 31;

uint32_t Address16(const Payload& p) {
  return (uint32_t{p[1]} << 8) | p[2];
}
uint32_t Address24(const Payload& p) {
  return (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Layout of the three flash writes: where the address ends and the count sits.
struct FlashWriteLayout {
  uint32_t address;
  uint32_t count;
  size_t dataOffset;
};

std::optional<FlashWriteLayout> ParseFlashWrite(const Payload& p) {
  const bool wide = p[0] == boot::kWriteVerifyFlashLong;
  const size_t countAt = wide ? 4 : 3;
  if (p.size() <= countAt) return std::nullopt;
  const uint32_t count = p[countAt];
  if (count == 0 || count > kMaxFlashCount || p.size() != countAt + 1 + count * kFlashUnit) {
    return std::nullopt;
  }
  return FlashWriteLayout{wide ? Address24(p) : Address16(p), count, countAt + 1};
}

bool IsFlashWrite(uint8_t command) {
  return command == boot::kWriteFlash || command == boot::kWriteVerifyFlash ||
         command == boot::kWriteVerifyFlashLong;
}

uint8_t WriteOkCode(uint8_t command) {
  switch (command) {
    case boot::kWriteVerifyFlash:
      return boot::kReplyWriteVerify;
    case boot::kWriteVerifyFlashLong:
      return boot::kReplyWriteVerifyLong;
    default:
      return boot::kReplyWriteFlash;
  }
}

const Payload kRefusal{kRefused};

}  // namespace

BootLoader::BootLoader(const SimOptions& options, DeviceMemory& memory)
    : options_(options), memory_(memory) {}

bool BootLoader::KnowsCommand(uint8_t command) const {
  switch (command) {
    case boot::kReadBootVersion:
    case boot::kCompareFlash:
    case boot::kReadEeprom:
    case boot::kWriteFlash:
    case boot::kWriteEeprom:
    case boot::kEraseBlocks:
    case boot::kResetRun:
    case boot::kReadIdentity:
      return true;
    case boot::kWriteVerifyFlash:
    case boot::kEraseAll:
    case boot::kWriteProductType:
    case boot::kWriteVerifyFlashLong:
      return options_.bootLoaderVersion >= kNewerLoader;
    default:
      return false;
  }
}

std::optional<uint32_t> BootLoader::FlashWriteAddress(const Payload& p) const {
  if (p.empty() || !IsFlashWrite(p[0]) || !KnowsCommand(p[0])) return std::nullopt;
  const auto layout = ParseFlashWrite(p);
  if (!layout) return std::nullopt;
  return layout->address;
}

CommandResult BootLoader::Execute(const Payload& p, WriteFault fault) {
  if (p.empty() || !KnowsCommand(p[0])) return {};
  switch (p[0]) {
    case boot::kResetRun:
      return {std::nullopt, true};
    case boot::kReadBootVersion:
      return {ReadVersion(p)};
    case boot::kReadIdentity:
      return {ReadIdentity(p)};
    case boot::kEraseAll:
      return {EraseAll(p)};
    case boot::kEraseBlocks:
      return {EraseBlocks(p)};
    case boot::kWriteProductType:
      return {WriteProductType(p)};
    case boot::kCompareFlash:
      return {CompareFlash(p)};
    case boot::kWriteEeprom:
      return {WriteEeprom(p, fault)};
    case boot::kReadEeprom:
      return {ReadEeprom(p)};
    default:
      return {WriteFlash(p, fault)};
  }
}

BootLoader::Reply BootLoader::ReadVersion(const Payload& p) const {
  if (p.size() != 4) return kRefusal;
  Reply reply{boot::kReplyVersion, static_cast<uint8_t>(options_.bootLoaderVersion >> 8),
              static_cast<uint8_t>(options_.bootLoaderVersion)};
  if (options_.longVersionReply) {
    reply.insert(reply.end(), {options_.hardwareVersion, 0x00, 0x00});
  }
  return reply;
}

BootLoader::Reply BootLoader::ReadIdentity(const Payload& p) const {
  if (p.size() != 4) return kRefusal;
  return {boot::kReplyIdentity,
          static_cast<uint8_t>(options_.serialNumber >> 8),
          static_cast<uint8_t>(options_.serialNumber),
          memory_.flash[kFirmwareVersionAddress],
          memory_.flash[kFirmwareRevisionAddress],
          memory_.productCode,
          0x00};
}

BootLoader::Reply BootLoader::EraseAll(const Payload& p) {
  if (p.size() != 5) return kRefusal;
  memory_.EraseFlash(ApplicationStart, kFlashSize - ApplicationStart);
  return {boot::kReplyEraseAll, boot::kReplyEraseAll};
}

BootLoader::Reply BootLoader::EraseBlocks(const Payload& p) {
  if (p.size() != 5 || p[3] == 0) return kRefusal;
  // Flash erases whole 64-byte pages: an unaligned address takes its page along.
  const uint32_t start = Address16(p) / kEraseUnit * kEraseUnit;
  const uint32_t size = p[3] * kEraseUnit;
  if (start < ApplicationStart || start + size > kFlashSize) return kRefusal;
  memory_.EraseFlash(start, size);
  return {boot::kReplyEraseBlocks, boot::kReplyEraseBlocks};
}

BootLoader::Reply BootLoader::WriteProductType(const Payload& p) {
  if (p.size() != 10 ||
      !std::equal(p.begin() + 5, p.begin() + 9, std::begin(boot::kProductTypeAccessCode))) {
    return kRefusal;
  }
  memory_.productCode = p[3];
  return {boot::kReplyProductType};
}

BootLoader::Reply BootLoader::WriteFlash(const Payload& p, WriteFault fault) {
  const auto layout = ParseFlashWrite(p);
  if (!layout) return kRefusal;
  const uint32_t size = layout->count * kFlashUnit;
  if (layout->address < ApplicationStart || layout->address + size > kFlashSize) {
    return kRefusal;
  }
  if (fault == WriteFault::kFail) return {boot::kReplyVerifyMismatch};
  const std::span<const uint8_t> data(p.data() + layout->dataOffset, size);
  bool same = memory_.ProgramFlash(layout->address, data);
  if (fault == WriteFault::kCorrupt) {
    memory_.flash[layout->address] ^= 0x01;
    same = false;
  }
  // Only the write-and-verify commands read back; a plain write always says '1'.
  if (!same && p[0] != boot::kWriteFlash) return {boot::kReplyVerifyMismatch};
  return {WriteOkCode(p[0])};
}

BootLoader::Reply BootLoader::CompareFlash(const Payload& p) const {
  if (p.size() != 4 || p[3] == 0 || p[3] > kMaxFlashCount) return kRefusal;
  const uint32_t address = Address16(p);
  const uint32_t size = p[3] * kFlashUnit;
  if (address + size > kFlashSize) return kRefusal;
  Reply reply{boot::kReplyCompareFlash};
  reply.insert(reply.end(), memory_.flash.begin() + address,
               memory_.flash.begin() + address + size);
  return reply;
}

BootLoader::Reply BootLoader::WriteEeprom(const Payload& p, WriteFault fault) {
  if (p.size() != 4 + kEepromBlock || p[3] != kEepromBlock) return kRefusal;
  const uint32_t address = Address16(p);
  if (address < kEepromBootCells || address + kEepromBlock > kEepromSize) return kRefusal;
  if (fault == WriteFault::kFail) return {boot::kReplyVerifyMismatch};
  memory_.WriteEeprom(address, std::span<const uint8_t>(p.data() + 4, kEepromBlock));
  return {boot::kReplyWriteEeprom};
}

BootLoader::Reply BootLoader::ReadEeprom(const Payload& p) const {
  if (p.size() != 4 || p[3] != kEepromBlock) return kRefusal;
  const uint32_t address = Address16(p);
  if (address + kEepromBlock > kEepromSize) return kRefusal;
  Reply reply{boot::kReplyReadEeprom};
  reply.insert(reply.end(), memory_.eeprom.begin() + address,
               memory_.eeprom.begin() + address + kEepromBlock);
  return reply;
}

}  // namespace bq::sim
