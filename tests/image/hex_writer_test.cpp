// The Intel HEX writer: what it writes reads back through our own loader, byte
// for byte, and a failed write leaves the destination as it was.
#include "image/hex_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

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
  // Nothing but the file itself is left in its folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(HexWriterTest, UnwritableFolderGivesTheSystemsReason) {
  auto image = std::make_unique<FirmwareImage>();
  const HexSegment segments[] = {FlashSegment(*image, 0x800, 0x80F)};
  auto error = WriteIntelHex((dir_ / "missing" / "out.hex").string(), segments);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind, HexWriteError::Kind::Open);
  EXPECT_EQ(HexWriteErrorText(*error), "No such file or directory");
}

// A name planted where the writer might put its temporary file is never
// written through: the file it leads to keeps its bytes.
TEST_F(HexWriterTest, APlantedLinkBesideTheDestinationIsNotFollowed) {
  auto image = std::make_unique<FirmwareImage>();
  image->FillBlank();
  const HexSegment segments[] = {FlashSegment(*image, 0x800, 0x83F)};
  const fs::path victim = dir_ / "victim.txt";
  std::ofstream(victim, std::ios::binary) << "keep me";
  const std::string path = (dir_ / "out.hex").string();
  fs::create_symlink(victim, path + ".part");

  ASSERT_FALSE(WriteIntelHex(path, segments));
  std::ifstream in(victim, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
  EXPECT_TRUE(fs::is_symlink(path + ".part"));
  EXPECT_FALSE(fs::is_symlink(path));
}

// Two reads into the same file at once: each write succeeds and the file ends
// up as one of them, whole, never a mix of both.
TEST_F(HexWriterTest, ConcurrentWritersNeverMixTheirFiles) {
  auto a = std::make_unique<FirmwareImage>();
  auto b = std::make_unique<FirmwareImage>();
  for (uint32_t at = 0; at < kFlashSize; ++at) {
    a->flash[at] = 0x11;
    b->flash[at] = 0x22;
  }
  // Different lengths: a shared temporary file would show one's tail after the other.
  const HexSegment aSegments[] = {FlashSegment(*a, 0x800, 0xFFFF)};
  const HexSegment bSegments[] = {FlashSegment(*b, 0x800, 0x7FFF)};
  const std::string aText = IntelHexText(aSegments);
  const std::string bText = IntelHexText(bSegments);
  const std::string path = (dir_ / "out.hex").string();
  for (int round = 0; round < 40; ++round) {
    std::optional<HexWriteError> aError, bError;
    std::thread other([&] { bError = WriteIntelHex(path, bSegments); });
    aError = WriteIntelHex(path, aSegments);
    other.join();
    EXPECT_FALSE(aError) << "round " << round << ": " << HexWriteErrorText(*aError);
    EXPECT_FALSE(bError) << "round " << round << ": " << HexWriteErrorText(*bError);
    std::ifstream in(path, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    ASSERT_TRUE(text == aText || text == bText)
        << "round " << round << ": a mix of " << text.size() << " bytes";
  }
}

}  // namespace
}  // namespace bq
