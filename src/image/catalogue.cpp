#include "image/catalogue.h"

namespace bq {

namespace {
constexpr uint32_t Hw(int n) {
  return uint32_t{1} << n;
}
}  // namespace

// Model names are neutral placeholders; the accepted sets are those of the boards.
const std::array<TRegProdutoDefine, kProductCount> ProductTable = {{
    {"Produto 00", "P00", "P00", Hw(0) | Hw(1) | Hw(2)},
    {"Produto 01", "P01", "P01", Hw(0) | Hw(1) | Hw(2)},
    {"Produto 02", "P02", "P02", Hw(0) | Hw(1) | Hw(2)},
    {"Produto 03", "P03", "P03", Hw(0)},
    {"Produto 04", "P04", "P04", Hw(1) | Hw(2)},
    {"Produto 05", "P05", "P05", Hw(0) | Hw(1) | Hw(2)},
    {"Produto 06", "P06", "P06", Hw(2)},
    {"Produto 07", "P07", "P07", Hw(2)},
    {"Produto 08", "P08", "P08", Hw(2)},
    {"Produto 09", "P09", "P09", Hw(1) | Hw(2)},
    {"Produto 10", "P10", "P10", Hw(10)},
    {"Produto 11", "P11", "P11", Hw(10)},
    {"Produto 12", "P12", "P12", Hw(0) | Hw(1) | Hw(2)},
    {"Produto 13", "P13", "P13", Hw(1) | Hw(2)},
    {"Produto 14", "P14", "P14", Hw(1) | Hw(2)},
    {"Produto 15", "P15", "P15", Hw(3) | Hw(6)},
    {"Produto 16", "P16", "P16", Hw(4) | Hw(6)},
    {"Produto 17", "P17", "P17", Hw(5)},
    {"Produto 18", "P18", "P18", 0},
    {"Produto 19", "P19", "P19", Hw(3) | Hw(4) | Hw(5)},
    {"Produto 20", "P20", "P20", Hw(11)},
    {"Produto 21", "P21", "P21", Hw(6)},
    {"Produto 22", "P22", "P22", Hw(12) | Hw(13)},
    {"Produto 23", "P23", "P23", Hw(13)},
    {"Produto 24", "P24", "P24", Hw(14)},
    {"Produto 25", "P25", "P25", Hw(15)},
    {"Produto 26", "P26", "P26", Hw(12) | Hw(13) | Hw(16)},
    {"Indefinido", "Indefinido", "Indefinido", Hw(0) | Hw(1) | Hw(2)},
    {"Qualquer", "Qualquer", "xxx", Hw(0) | Hw(1) | Hw(2)},
}};

const std::array<const char*, kHardwareCount> HardwareNameTable = {{
    "[hard 00] Placa 00",
    "[hard 01] Placa 01",
    "[hard 02] Placa 02",
    "[hard 03] Placa 03",
    "[hard 04] Placa 04",
    "[hard 05] Placa 05",
    "[hard 06] Placa 06",
    "[hard 07] Hard reservado",
    "Hard inexistente",
    "Hard inexistente",
    "[hard 10] Placa 10",
    "[hard 11] Placa 11",
    "[hard 12] Placa 12",
    "[hard 13] Placa 13",
    "[hard 14] Placa 14",
    "[hard 15] Placa 15",
    "[hard 16] Placa 16",
}};

const std::array<bool, kHardwareCount> HardwareHiAddressTable = {
    false, false, false, false, false, false, false, false, false,
    false, true,  true,  false, false, false, false, false};

const std::array<bool, kProductCount> ProductMemory128KTable = {
    false, false, false, false, false, false, false, false, false, false,
    true,  true,  false, false, false, false, false, false, false, false,
    false, false, false, false, false, false, false, false, false};

std::vector<std::string> ProductNameList() {
  std::vector<std::string> names;
  names.reserve(ProductTable.size());
  for (const auto& row : ProductTable) names.emplace_back(row.displayName);
  return names;
}

bool ProductAcceptsHardware(uint8_t productCode, uint32_t hardware) {
  if (hardware > 31 || productCode >= ProductTable.size()) return false;
  return (ProductTable[productCode].acceptedHardware >> hardware) & 1u;
}

std::string ProductDisplayName(uint32_t productCode) {
  return productCode < ProductTable.size() ? ProductTable[productCode].displayName : "";
}

std::string ProductFilePrefix(uint32_t productCode) {
  return productCode < ProductTable.size() ? ProductTable[productCode].filePrefix : "";
}

std::string ProductFolderPrefix(uint32_t productCode) {
  return productCode < ProductTable.size() ? ProductTable[productCode].folderPrefix : "";
}

std::string HardwareName(uint32_t hardware) {
  return hardware < HardwareNameTable.size() ? HardwareNameTable[hardware] : "";
}

bool HardwareHiAddress(uint32_t hardware) {
  return hardware < HardwareHiAddressTable.size() && HardwareHiAddressTable[hardware];
}

bool ProductMemory128K(uint32_t productCode) {
  return productCode < ProductMemory128KTable.size() && ProductMemory128KTable[productCode];
}

}  // namespace bq
