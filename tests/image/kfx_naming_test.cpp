// Names of block folders and per-serial-number files, and the KFX records
// written for one device read back by the loader.
#include "image/kfx_naming.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image/firmware_loader.h"
#include "image/kfx_writer.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

TEST(KfxNaming, BlockFolderAndFileNames) {
  EXPECT_EQ(BlockFolderName(0, 0, 99, "1", "5"), "P00_0_99_v1_5");
  EXPECT_EQ(BlockFolderName(22, 400, 499, "12", "07"), "P22_400_499_v12_07");
  FirmwareHeader h{36, 1, 5, 0, false};
  EXPECT_EQ(SerialKfxFileName(h), "P00_V1_05_NS000036.kfx");
  h = {65535, 10, 123, 22, false};
  EXPECT_EQ(SerialFirmwareName(h), "P22_V10_123_NS065535");
}

TEST(KfxNaming, FileForSerialMovesToTheSerialsBlock) {
  struct Case {
    std::string last;
    int32_t serial;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"/fw/P_0_99_v1_5/P_V1_05_NS000036.kfx", 150, "/fw/P_100_199_v1_5/P_V1_05_NS000150.kfx"},
      {"/fw/P_100_199_v1_5/P_V1_05_NS000150.kfx", 36, "/fw/P_0_99_v1_5/P_V1_05_NS000036.kfx"},
      {"/fw/P_0_99_v1_5/P_V1_05_NS000036.kfx", 99, "/fw/P_0_99_v1_5/P_V1_05_NS000099.kfx"},
      // Only the file's own folder changes, not an ancestor of the same name.
      {"/P_0_99_v1_5/P_0_99_v1_5/x_NS1.hex", 1234, "/P_0_99_v1_5/P_1200_1299_v1_5/x_NS001234.kfx"},
      // A folder name without a range keeps its folder.
      {"/fw/lote/P_V1_05_NS000036.kfx", 150, "/fw/lote/P_V1_05_NS000150.kfx"},
      {"P_V1_05_NS7.kfx", 8, "P_V1_05_NS000008.kfx"},
      // Only the file's name is searched for "NS".
      {"/NSfw/P_0_99_v1_5/firmware.kfx", 1, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last + " " + std::to_string(c.serial));
    EXPECT_EQ(FileForSerial(c.last, c.serial), c.expected);
  }
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/bq_kfx_XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(KfxWriter, WrittenFileLoadsBackAsTheSameImage) {
  auto source = std::make_unique<FirmwareImage>();
  source->FillBlank();
  source->flash[0x0000] = 0x01;  // boot area
  for (uint32_t a = 0x0800; a < 0x0845; ++a) source->flash[a] = static_cast<uint8_t>(a);
  source->flash[0x1FFFF] = 0x00;  // upper 64K, last byte
  source->eeprom[0xFFF] = 0x41;
  source->config[31] = 0x33;
  const FirmwareHeader header{36, 1, 5, 22, false};

  TempDir dir;
  const std::string path = dir.path() + "/" + SerialKfxFileName(header);
  ASSERT_EQ(WriteKfxFile(path, *source, header), std::nullopt);

  auto loaded = std::make_unique<FirmwareImage>();
  FirmwareHeader read;
  LoadResult result = LoadFirmwareFile(path, *loaded, read);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.wrongSizeHeaders, 0);
  EXPECT_TRUE(loaded->flash == source->flash);
  EXPECT_TRUE(loaded->eeprom == source->eeprom);
  EXPECT_TRUE(loaded->config == source->config);
  EXPECT_EQ(read.serialNumber, 36);
  EXPECT_EQ(read.version, 1);
  EXPECT_EQ(read.revision, 5);
  EXPECT_EQ(read.productCode, 22);

  // A second write never replaces the file, and leaves nothing else behind.
  const auto size = fs::file_size(path);
  FirmwareHeader other = header;
  other.version = 9;
  auto again = WriteKfxFile(path, *source, other);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->kind, KfxWriteError::Kind::Exists);
  EXPECT_EQ(fs::file_size(path), size);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(KfxWriter, RecordsKeepTo32BytesAndNameEachUpperWord) {
  auto image = std::make_unique<FirmwareImage>();
  image->FillBlank();
  for (uint32_t a = 0x0800; a < 0x0841; ++a) image->flash[a] = 0;  // 65 bytes: three records
  image->flash[0x10000] = 0;
  image->eeprom[0] = 0;
  const std::vector<std::string> expected = {
      ":10000006" + std::string(32, '0') + "EA",  // header of product 0, NS 0
      ":020000040000FA",
      ":20080000" + std::string(64, '0') + "D8",
      ":20082000" + std::string(64, '0') + "B8",
      ":20084000" + std::string(2, '0') + std::string(62, 'F') + "B7",
      ":020000040001F9",
      ":20000000" + std::string(2, '0') + std::string(62, 'F') + "FF",
      ":0200000400F00A",
      ":20000000" + std::string(2, '0') + std::string(62, 'F') + "FF",
      ":00000001FF",
  };
  EXPECT_EQ(KfxRecords(*image, FirmwareHeader{}), expected);
}

TEST(KfxWriter, MissingFolderIsACreateErrorWithTheSystemsReason) {
  auto image = std::make_unique<FirmwareImage>();
  auto error = WriteKfxFile("/nonexistent-folder/x.kfx", *image, FirmwareHeader{});
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind, KfxWriteError::Kind::Create);
  EXPECT_EQ(error->osError, ENOENT);
}

}  // namespace
}  // namespace bq
