#pragma once
// The compiled-in catalogue of products and hardware boards: which hardware
// accepts the firmware of which product, their names, and memory flags.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bq {

inline constexpr int kProductCount = 29;
inline constexpr int kHardwareCount = 17;
// The entry shown for an unknown product code.
inline constexpr uint8_t kProductUndefined = 27;

// One product. Bit n of acceptedHardware allows hardware number n.
struct TRegProdutoDefine {
  const char* displayName;
  const char* filePrefix;
  const char* folderPrefix;  // never holds "_": folder names are split at it
  uint32_t acceptedHardware;
};

extern const std::array<TRegProdutoDefine, kProductCount> ProductTable;
extern const std::array<const char*, kHardwareCount> HardwareNameTable;
// Hardware whose program flash is written up to 0x1FFFF instead of 0xFFFF.
extern const std::array<bool, kHardwareCount> HardwareHiAddressTable;
// Products with 128K of memory (only shown, never used to program).
extern const std::array<bool, kProductCount> ProductMemory128KTable;

// The 29 display names in product-code order.
std::vector<std::string> ProductNameList();

// False for hardware above 31; otherwise the product's bit for that hardware.
// An unknown product accepts nothing.
bool ProductAcceptsHardware(uint8_t productCode, uint32_t hardware);

// Lookups by code; an unknown code gives "" or false.
std::string ProductDisplayName(uint32_t productCode);
std::string ProductFilePrefix(uint32_t productCode);
std::string ProductFolderPrefix(uint32_t productCode);
std::string HardwareName(uint32_t hardware);
bool HardwareHiAddress(uint32_t hardware);
bool ProductMemory128K(uint32_t productCode);

}  // namespace bq
