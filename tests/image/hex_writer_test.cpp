// The Intel HEX writer: what it writes reads back through our own loader, byte
// for byte, and a failed write leaves the destination as it was.
#include "image/hex_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "image/firmware_loader.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

class HexWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("bq_hexw_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(HexWriterTest, FlashAcrossAPageAndEepromReadBack) {
  auto image = std::make_unique<FirmwareImage>();
  image->FillBlank();
  for (uint32_t a = 0xFFF0; a < 0x10025; ++a) image->flash[a] = static_cast<uint8_t>(a * 7);
  for (uint32_t a = 0; a < kEepromSize; ++a) image->eeprom[a] = static_cast<uint8_t>(a ^ 0x5A);
  // An unaligned start and an odd length: records are cut at 32 bytes and at the page.
  const HexSegment segments[] = {FlashSegment(*image, 0xFFF3, 0x10024),
                                 EepromSegment(*image, 0, kEepromSize - 1)};
  const std::string path = (dir_ / "out.hex").string();
  ASSERT_FALSE(WriteIntelHex(path, segments));

  auto back = std::make_unique<FirmwareImage>();
  FirmwareHeader header;
  ASSERT_TRUE(LoadFirmwareFile(path, *back, header).ok());
  for (uint32_t a = 0xFFF3; a <= 0x10024; ++a) ASSERT_EQ(back->flash[a], image->flash[a]) << a;
  EXPECT_EQ(back->flash[0xFFF2], 0xFF);
  EXPECT_EQ(back->eeprom, image->eeprom);

  std::ifstream in(path);
  std::string line;
  size_t longest = 0;
  std::string last;
  while (std::getline(in, line)) {
    longest = std::max(longest, line.size());
    last = line;
  }
  EXPECT_EQ(longest, 1 + 2 * (5 + kHexRecordBytes) + 1);  // ':' ... '\r'
  EXPECT_EQ(last, ":00000001FF\r");
  EXPECT_FALSE(fs::exists(path + ".part"));
}

TEST_F(HexWriterTest, UnwritableFolderGivesTheSystemsReason) {
  auto image = std::make_unique<FirmwareImage>();
  const HexSegment segments[] = {FlashSegment(*image, 0x800, 0x80F)};
  auto error = WriteIntelHex((dir_ / "missing" / "out.hex").string(), segments);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind, HexWriteError::Kind::Open);
  EXPECT_EQ(HexWriteErrorText(*error), "No such file or directory");
}

}  // namespace
}  // namespace bq
