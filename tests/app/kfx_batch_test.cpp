// "Gera Varios KFX" and its page: block folders beside the source file, one
// KFX file per serial number, refusals and failures block by block.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/context.h"
#include "app/handlers/kfx_batch_handlers.h"
#include "app/kfx_generation.h"
#include "hex_record.h"
#include "image/firmware_loader.h"
#include "recording_operator.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

// Product 0 ("P00"), version 1, revision 5, a few bytes of flash.
const std::string kSource = test::HexRecord(0, 0x0804, {1, 5, 0}) + "\r\n" +
                            test::HexRecord(0, 0x0810, {0xAA, 0xBB}) + "\r\n" +
                            test::HexRecord(1, 0, {}) + "\r\n";

class KfxBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_batch_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    source_ = dir_ + "/fonte.hex";
    std::ofstream(source_, std::ios::binary) << kSource;
    ui.SetField(Field::edNomeArquivoHex2Kfx, source_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  KfxBatchOutcome Run(const std::string& first, const std::string& end) {
    ui.SetField(Field::edNomeArquivoHex2Kfx, source_);
    ui.SetField(Field::edNSInicial, first);
    ui.SetField(Field::edNSFinal, end);
    return botGeraVariosKFXClick(ctx, ui);
  }
  std::string Block(const std::string& name) const { return dir_ + "/" + name + "/"; }
  size_t FilesIn(const std::string& folder) const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  }

  test::RecordingOperator ui;
  Context ctx{ui, AppPaths{}};
  std::string dir_, source_;
};

TEST_F(KfxBatch, RangesMakeTheirBlocksOfFiles) {
  struct Case {
    std::string first, end;
    std::vector<std::string> blocks;
  };
  const Case cases[] = {
      {"0", "0", {}},
      {"0", "150", {"P00_0_99_v1_5", "P00_100_199_v1_5"}},
      {"1000", "1001", {"P00_1000_1099_v1_5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first + ".." + c.end);
    ui.Clear();
    KfxBatchOutcome out = Run(c.first, c.end);
    std::vector<std::string> folders;
    for (const auto& b : c.blocks) folders.push_back(Block(b));
    EXPECT_TRUE(out.ok());
    EXPECT_EQ(out.folders, folders);
    EXPECT_EQ(ui.MemoLines(Memo::listGeracaoVariosKFX), folders);
    EXPECT_EQ(out.files, static_cast<int>(100 * folders.size()));
    for (const auto& f : folders) EXPECT_EQ(FilesIn(f), 100u);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Arquivos gerados"});
    EXPECT_TRUE(ui.Errors().empty());
  }
  EXPECT_TRUE(fs::exists(Block("P00_0_99_v1_5") + "P00_V1_05_NS000036.kfx"));
  EXPECT_TRUE(fs::exists(Block("P00_100_199_v1_5") + "P00_V1_05_NS000150.kfx"));
  EXPECT_EQ(ui.FieldText(Field::edPasta), "P00_1000_1099_v1_5");
  EXPECT_EQ(ui.FieldText(Field::edPastaCompleta), Block("P00_1000_1099_v1_5"));
  EXPECT_EQ(ui.FieldText(Field::edNsHex2Kfx), "1099");
  EXPECT_EQ(ui.FieldText(Field::edNomeGerando), "Gerando 1099");

  // Each file is the source image with its own serial number.
  auto image = std::make_unique<FirmwareImage>();
  FirmwareHeader header;
  ASSERT_TRUE(
      LoadFirmwareFile(Block("P00_1000_1099_v1_5") + "P00_V1_05_NS001042.kfx", *image, header)
          .ok());
  EXPECT_EQ(header.serialNumber, 1042);
  EXPECT_TRUE(image->flash == ctx.image->flash);
}

TEST_F(KfxBatch, NextHundredThenOneBlock) {
  ui.SetField(Field::edNSInicial, "300");
  ui.SetField(Field::edNSFinal, "7");
  botProx100Click(ui);
  EXPECT_EQ(ui.FieldText(Field::edNSInicial), "400");
  EXPECT_EQ(ui.FieldText(Field::edNSFinal), "499");
  KfxBatchOutcome out = botGeraVariosKFXClick(ctx, ui);
  EXPECT_EQ(out.folders, std::vector<std::string>{Block("P00_400_499_v1_5")});
}

TEST_F(KfxBatch, SecondRunRefusesEveryBlockAndKeepsTheFiles) {
  ASSERT_TRUE(Run("0", "150").ok());
  const std::string kept = Block("P00_0_99_v1_5") + "P00_V1_05_NS000036.kfx";
  std::ofstream(kept, std::ios::binary) << "operator's own";
  ui.Clear();
  KfxBatchOutcome out = Run("0", "150");
  EXPECT_FALSE(out.ok());
  EXPECT_EQ(out.files, 0);
  EXPECT_EQ(out.failed.size(), 2u);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>(2, "Pasta não pode ser criada!"));
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Arquivos gerados"});
  EXPECT_EQ(fs::file_size(kept), 14u);
}

TEST_F(KfxBatch, WriteFailureEndsOnlyItsBlock) {
  // From serial 5 on, files may not grow past 100 bytes, until the next block starts.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  ui.onProcessMessages = [&] {
    rlimit limit = saved;
    if (ui.FieldText(Field::edNsHex2Kfx) == "5") limit.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  };
  KfxBatchOutcome out = Run("0", "200");
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &old, nullptr);

  const std::string first = Block("P00_0_99_v1_5");
  EXPECT_FALSE(out.ok());
  EXPECT_EQ(out.failed, std::vector<std::string>{first});
  EXPECT_EQ(out.files, 100);
  ASSERT_EQ(ui.Errors().size(), 1u);
  EXPECT_EQ(ui.Errors()[0],
            "Erro gravando arquivo [" + first + "P00_V1_05_NS000005.kfx] =" + std::strerror(EFBIG));
  // No half block: the next run can still make it whole.
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(FilesIn(dir_), 2u);  // the source and the second block, nothing hidden
  EXPECT_EQ(FilesIn(Block("P00_100_199_v1_5")), 100u);
}

// A block appears only whole. A batch stopped in the middle of one leaves a
// hidden folder beside it, which a later run clears once it is over a minute
// old; that run writes the missing block and refuses the complete one.
TEST_F(KfxBatch, AnInterruptedBlockIsMadeWholeByTheNextRun) {
  ASSERT_TRUE(Run("0", "100").ok());
  const std::string stale = dir_ + "/.P00_100_199_v1_5.partial-Ab12Cd";
  const std::string fresh = dir_ + "/.P00_200_299_v1_5.partial-Ef34Gh";
  for (const std::string& leftover : {stale, fresh}) {
    fs::create_directory(leftover);
    std::ofstream(leftover + "/P00_V1_05_NS000100.kfx") << "half";
  }
  fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::minutes(2));
  ui.Clear();
  bool seenBeforeWhole = false;
  ui.onProcessMessages = [&] {
    if (ui.FieldText(Field::edNsHex2Kfx) == "150") {
      seenBeforeWhole = fs::exists(Block("P00_100_199_v1_5"));
    }
  };
  KfxBatchOutcome out = Run("0", "200");
  ui.onProcessMessages = nullptr;
  EXPECT_FALSE(seenBeforeWhole);
  EXPECT_EQ(out.failed, std::vector<std::string>{Block("P00_0_99_v1_5")});
  EXPECT_EQ(out.folders, std::vector<std::string>{Block("P00_100_199_v1_5")});
  EXPECT_EQ(out.files, 100);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Pasta não pode ser criada!"});
  EXPECT_EQ(FilesIn(Block("P00_100_199_v1_5")), 100u);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(fresh));  // perhaps another run's block in the making
  // The source, the two blocks and the young leftover.
  EXPECT_EQ(FilesIn(dir_), 4u);
}

TEST_F(KfxBatch, NothingIsWrittenFromBadInput) {
  ui.SetField(Field::edNSInicial, "12a");
  EXPECT_THROW(
      {
        try {
          botGeraVariosKFXClick(ctx, ui);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "'12a' não é um valor inteiro válido");
          throw;
        }
      },
      std::runtime_error);

  // Serial numbers the product header cannot carry.
  KfxBatchOutcome out = Run("65500", "65501");
  EXPECT_FALSE(out.started);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Números de série fora da faixa de 0 a 65535"});

  // A source that does not load fully.
  std::ofstream(source_, std::ios::binary) << ":00000001FE\r\n";
  ui.Clear();
  out = Run("0", "100");
  EXPECT_FALSE(out.started);
  EXPECT_TRUE(out.folders.empty());
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Linha 1: check sum error."});
  EXPECT_EQ(FilesIn(dir_), 1u);
}

TEST_F(KfxBatch, FileForSerialIsStoredAndShown) {
  ctx.settings.firmwareFile = dir_ + "/P_100_199_v1_5/P_V1_05_NS000150.kfx";
  auto file = KfxFileForSerial(ctx, 36);
  const std::string expected = dir_ + "/P_0_99_v1_5/P_V1_05_NS000036.kfx";
  EXPECT_EQ(file, expected);
  EXPECT_EQ(ctx.settings.firmwareFile, expected);
  EXPECT_EQ(ui.FieldText(Field::edNomeGravando), expected);
  EXPECT_EQ(ui.FieldText(Field::statusBarFile), expected);

  ctx.settings.firmwareFile = "/fw/firmware.kfx";
  EXPECT_EQ(KfxFileForSerial(ctx, 36), std::nullopt);
  EXPECT_EQ(ctx.settings.firmwareFile, "/fw/firmware.kfx");
  EXPECT_EQ(ui.Errors().size(), 1u);
}

TEST_F(KfxBatch, CriptoViewListsZeros) {
  ShowCriptoDump(ctx);
  auto lines = ui.MemoLines(Memo::ListBox_Cripto);
  ASSERT_EQ(lines.size(), 8064u);
  std::string zeros;
  for (int i = 0; i < 16; ++i) zeros += "00 ";
  EXPECT_EQ(lines.front(), "000800: " + zeros + "  " + std::string(16, '.'));
  EXPECT_EQ(lines.back().substr(0, 8), "01FFF0: ");
}

}  // namespace
}  // namespace bq
