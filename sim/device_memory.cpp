#include "device_memory.h"

#include <algorithm>

namespace bq::sim {
namespace {

constexpr uint32_t kOldFirmwareSize = 6 * 1024;
constexpr uint32_t kBootDataSize = 16;  // EEPROM cells the boot loader keeps for itself

// A small deterministic generator so every run of a device looks the same.
class Lcg {
 public:
  explicit Lcg(uint32_t salt) : state_(salt * 2654435761u + 1) {}
  uint8_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state_ >> 24);
  }

 private:
  uint32_t state_;
};

void FillBootLoaderArea(DeviceMemory& memory) {
  Lcg code(0xB007);
  std::generate(memory.flash.begin(), memory.flash.begin() + ApplicationStart,
                [&] { return code.Next(); });
}

void FillBootData(DeviceMemory& memory, uint16_t serialNumber) {
  Lcg data(0xEE);
  std::generate(memory.eeprom.begin(), memory.eeprom.begin() + kBootDataSize,
                [&] { return data.Next(); });
  memory.eeprom[0] = static_cast<uint8_t>(serialNumber >> 8);
  memory.eeprom[1] = static_cast<uint8_t>(serialNumber);
}

void FillOldFirmware(DeviceMemory& memory, const SimOptions& options) {
  Lcg code(options.serialNumber ^ (options.firmwareVersion << 8));
  auto* begin = memory.flash.begin() + ApplicationStart;
  std::generate(begin, begin + kOldFirmwareSize, [&] { return code.Next(); });
  memory.flash[kFirmwareVersionAddress] = options.firmwareVersion;
  memory.flash[kFirmwareRevisionAddress] = options.firmwareRevision;
  memory.flash[kFirmwareProductAddress] = options.productCode;
  // Some calibration data of the old firmware after the boot loader's cells.
  Lcg calibration(options.serialNumber);
  std::generate(memory.eeprom.begin() + kBootDataSize, memory.eeprom.begin() + 96,
                [&] { return calibration.Next(); });
  memory.productCode = options.productCode;
}

}  // namespace

DeviceMemory DeviceMemory::Initial(const SimOptions& options) {
  DeviceMemory memory;
  memory.flash.fill(0xFF);
  memory.eeprom.fill(0xFF);
  FillBootLoaderArea(memory);
  FillBootData(memory, options.serialNumber);
  if (options.memory == MemoryContent::kProgrammed) {
    FillOldFirmware(memory, options);
  } else {
    memory.productCode = 0xFF;
  }
  return memory;
}

void DeviceMemory::EraseFlash(uint32_t address, uint32_t count) {
  const uint32_t end = std::min<uint32_t>(address + count, kFlashSize);
  std::fill(flash.begin() + std::min(address, end), flash.begin() + end, 0xFF);
}

bool DeviceMemory::ProgramFlash(uint32_t address, std::span<const uint8_t> data) {
  bool same = true;
  for (size_t i = 0; i < data.size(); ++i) {
    uint8_t& cell = flash[address + i];
    cell = static_cast<uint8_t>(cell & data[i]);
    same = same && cell == data[i];
  }
  return same;
}

void DeviceMemory::WriteEeprom(uint32_t address, std::span<const uint8_t> data) {
  std::copy(data.begin(), data.end(), eeprom.begin() + address);
}

}  // namespace bq::sim
