// The product and hardware catalogue, and the dump line layout.
#include "image/catalogue.h"

#include <gtest/gtest.h>

#include "image/dump_view.h"

namespace bq {
namespace {

TEST(Catalogue, AcceptanceRules) {
  struct Case {
    uint8_t product;
    uint32_t hardware;
    bool accepted;
  };
  const Case cases[] = {
      {10, 10, true}, {10, 11, false}, {20, 11, true},  {0, 2, true},   {0, 3, false},
      {3, 0, true},   {3, 1, false},   {15, 6, true},   {26, 16, true}, {26, 14, false},
      {28, 0, true},  {28, 31, false}, {28, 32, false}, {0, 33, false}, {27, 2, true},
      {29, 0, false}, {255, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProductAcceptsHardware(c.product, c.hardware), c.accepted)
        << "product " << int{c.product} << " hardware " << c.hardware;
  }
  for (uint32_t hw = 0; hw < 40; ++hw) EXPECT_FALSE(ProductAcceptsHardware(18, hw)) << hw;
  // No set names a hardware number above 16, and none can reach past bit 31.
  for (const auto& row : ProductTable) EXPECT_EQ(row.acceptedHardware >> 17, 0u) << row.displayName;
}

TEST(Catalogue, FlagsAndNames) {
  EXPECT_TRUE(HardwareHiAddress(10));
  EXPECT_TRUE(HardwareHiAddress(11));
  EXPECT_FALSE(HardwareHiAddress(12));
  EXPECT_FALSE(HardwareHiAddress(17));
  EXPECT_TRUE(ProductMemory128K(10));
  EXPECT_TRUE(ProductMemory128K(11));
  EXPECT_FALSE(ProductMemory128K(12));
  EXPECT_FALSE(ProductMemory128K(0xFF));

  EXPECT_EQ(HardwareName(8), "Hard inexistente");
  EXPECT_EQ(HardwareName(9), "Hard inexistente");
  EXPECT_EQ(HardwareName(16).rfind("[hard 16] ", 0), 0u);
  EXPECT_EQ(HardwareName(17), "");
  EXPECT_EQ(ProductFolderPrefix(28), "xxx");
  EXPECT_EQ(ProductFilePrefix(28), "Qualquer");
  EXPECT_EQ(ProductFolderPrefix(27), "Indefinido");
  EXPECT_EQ(ProductDisplayName(29), "");

  const auto names = ProductNameList();
  ASSERT_EQ(names.size(), 29u);
  EXPECT_EQ(names[27], "Indefinido");
  EXPECT_EQ(names[28], "Qualquer");
  for (int code = 0; code < kProductCount; ++code) {
    EXPECT_EQ(ProductFolderPrefix(code).find('_'), std::string::npos) << code;
  }
}

TEST(DumpLine, Layout) {
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>('A' + i);
  bytes[1] = 0x00;  // control bytes show as '.'
  bytes[2] = 0x7F;
  bytes[3] = 0xE9;  // Latin-1 e-acute
  EXPECT_EQ(DumpLine(0x01F800, bytes, false),
            "01F800: 41 00 7F E9 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50   A..\xC3\xA9"
            "EFGHIJKLMNOP");
  EXPECT_EQ(DumpLine(0x0FF0, bytes, true).substr(0, 9), "0FF0: 41 ");

  auto image = std::make_unique<FirmwareImage>();
  image->FillBlank();
  auto flash = FlashDumpLines(*image);
  ASSERT_EQ(flash.size(), 8064u);
  EXPECT_EQ(flash.front().substr(0, 8), "000800: ");
  EXPECT_EQ(flash.back().substr(0, 8), "01FFF0: ");
  auto eeprom = EepromDumpLines(*image);
  ASSERT_EQ(eeprom.size(), 256u);
  EXPECT_EQ(eeprom.back().substr(0, 6), "0FF0: ");
}

}  // namespace
}  // namespace bq
