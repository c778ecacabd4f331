// The programming engine against a virtual boot loader: what goes on the wire, in
// which order, what the operator sees, and that a reported success is real.
#include "app/program_device.h"

#include <optional>
#include <string>

#include "app/commands.h"
#include "programming/programming_plan.h"
#include "programming_fixture.h"
#include "shell/utilities.h"

namespace bq::test {
namespace {

using sim::Fault;
using sim::FaultKind;

constexpr uint32_t kDataEnd = 0x1234;  // trimmed: end 0x123F, W 0x127F

std::vector<uint32_t> Range(uint32_t first, uint32_t last, uint32_t step) {
  std::vector<uint32_t> out;
  for (uint32_t a = first; a <= last; a += step) out.push_back(a);
  return out;
}

// 0x880 .. 0x1200, then the block at ApplicationStart.
std::vector<uint32_t> ExpectedBlocks() {
  auto blocks = Range(0x880, 0x1200, 0x80);
  blocks.push_back(0x800);
  return blocks;
}

class EngineTest : public ProgrammingFixture {
 protected:
  // A used device of the given loader, the image holding data 0x800..0x1234.
  void Prepare(uint16_t loader, std::vector<Fault> faults = {}, bool highAddresses = false) {
    sim::SimOptions o;
    o.bootLoaderVersion = loader;
    o.faults = std::move(faults);
    StartDevice(o);
    Connect();
    station.image->FillBlank();
    FillFlash(*station.image, ApplicationStart, kDataEnd);
    station.options.highAddresses = highAddresses;
    station.flowHeader.productCode = 12;
  }
};

struct LoaderCase {
  const char* name;
  uint16_t loader;
  bool highAddresses;
  uint8_t writeCommand;
  const char* writeStatus;
};

class EngineOrderTest : public EngineTest, public ::testing::WithParamInterface<LoaderCase> {};

TEST_P(EngineOrderTest, ErasesWritesAndVerifiesInOrder) {
  const LoaderCase& c = GetParam();
  Prepare(c.loader, {}, c.highAddresses);
  ui.onProcessMessages = [this] { CronometroTimer(station); };

  ASSERT_TRUE(ProgramDevice(station).ok());

  const bool newer = c.loader >= kNewerLoader;
  EXPECT_EQ(AddressesOf(c.writeCommand), ExpectedBlocks());
  EXPECT_EQ(RequestsWith(boot::kEraseAll).size(), newer ? 1u : 0u);
  EXPECT_EQ(AddressesOf(boot::kEraseBlocks),
            newer ? std::vector<uint32_t>{} : Range(0x800, 0x1200, 0x100));
  // Older loaders read every block back right after writing it.
  EXPECT_EQ(AddressesOf(boot::kCompareFlash), newer ? std::vector<uint32_t>{} : ExpectedBlocks());
  auto product = RequestsWith(boot::kWriteProductType);
  ASSERT_EQ(product.size(), newer ? 1u : 0u);
  if (newer) {
    EXPECT_EQ(product[0].payload[3], 12);
    EXPECT_EQ(device->Requests().back().command, boot::kWriteProductType);
  }
  EXPECT_TRUE(FlashMatches(0x127F));

  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(ui.Statuses().back(), c.writeStatus);
  EXPECT_EQ(ui.FieldText(Field::edStartAdress), "000800");
  EXPECT_EQ(ui.FieldText(Field::edFimReal), "0x00123F");
  EXPECT_EQ(ui.FieldText(Field::edEndE2Prom), "0x00001F");
  EXPECT_EQ(ui.FieldText(Field::edEnd), "C16=0x00127F");
  EXPECT_EQ(ui.FieldText(Field::endComp128), "C128=0x0011FF");
  EXPECT_EQ(ui.FieldText(Field::edEndereco), "0x000800");
  EXPECT_GT(station.elapsedCounter.load(), 0u);
  EXPECT_EQ(ui.FieldText(Field::edCrono), FormatElapsed(station.elapsedCounter.load()));
}

INSTANTIATE_TEST_SUITE_P(
    Loaders, EngineOrderTest,
    ::testing::Values(LoaderCase{"Newer", kNewerLoader, false, boot::kWriteVerifyFlash,
                                 "Gravando e conferindo memória de programa..."},
                      LoaderCase{"NewerHigh", kNewerLoader, true, boot::kWriteVerifyFlashLong,
                                 "Gravando e conferindo memória de programa..."},
                      LoaderCase{"Older", kOlderLoader, false, boot::kWriteFlash,
                                 "Gravando memória de programa..."}),
    [](const auto& info) { return info.param.name; });

TEST_F(EngineTest, StatusLineWalksThroughThePhases) {
  Prepare(kNewerLoader);
  ASSERT_TRUE(ProgramDevice(station).ok());
  EXPECT_EQ(ui.Statuses(),
            (std::vector<std::string>{"Apagando memoria programa 1 step...",
                                      "Gravando e conferindo memória de programa..."}));
  EXPECT_EQ(ui.progressMax, 0x127Fu);
  EXPECT_EQ(ui.progressPosition, 0x127Fu);
}

struct RetryCase {
  const char* name;
  uint16_t loader;
  std::vector<Fault> faults;
  long attemptsAt0x900;
  std::optional<std::string> engineMessage;  // none: success
};

Fault FailWritesAt0x900(unsigned times) {
  Fault f;
  f.kind = FaultKind::kFailWrite;
  f.address = 0x900;
  f.times = times;
  return f;
}

Fault WrongCodeAt(uint64_t request) {
  Fault f;
  f.kind = FaultKind::kWrongCode;
  f.request = request;
  return f;
}

class EngineRetryTest : public EngineTest, public ::testing::WithParamInterface<RetryCase> {};

// Each flash block gets four attempts in a row; only the fourth failure ends the run.
TEST_P(EngineRetryTest, ABlockGetsFourAttempts) {
  const RetryCase& c = GetParam();
  Prepare(c.loader, c.faults);

  const bool ok = ProgramDevice(station).ok();

  EXPECT_EQ(ok, !c.engineMessage.has_value());
  const auto blocks =
      AddressesOf(c.loader >= kNewerLoader ? boot::kWriteVerifyFlash : boot::kWriteFlash);
  EXPECT_EQ(std::count(blocks.begin(), blocks.end(), 0x900u), c.attemptsAt0x900);
  if (ok) {
    EXPECT_FALSE(HasMessageStartingWith("Falha"));
    EXPECT_TRUE(FlashMatches(0x127F));
  } else {
    EXPECT_EQ(ui.Messages().back(), *c.engineMessage);
    // The run stops at the failing block: the first block is never written.
    EXPECT_EQ(blocks.back(), 0x900u);
    EXPECT_TRUE(RequestsWith(boot::kWriteProductType).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, EngineRetryTest,
    ::testing::Values(
        RetryCase{"NewerThreeFailures", kNewerLoader, {FailWritesAt0x900(3)}, 4, std::nullopt},
        RetryCase{"NewerFourFailures",
                  kNewerLoader,
                  {FailWritesAt0x900(4)},
                  4,
                  "Falha gravação e verificação End 2304"},
        RetryCase{
            "OlderWriteFails", kOlderLoader, {FailWritesAt0x900(4)}, 4, "Falha gravação End 2304"},
        // 11 erase steps, then write and read-back of 0x880 (11, 12) and 0x900 (13, 14 ...).
        RetryCase{"OlderReadBackFails",
                  kOlderLoader,
                  {WrongCodeAt(14), WrongCodeAt(16), WrongCodeAt(18), WrongCodeAt(20)},
                  4,
                  "Falha leitura comparacao End 2304"}),
    [](const auto& info) { return info.param.name; });

// Cancel lets the current block finish, skips the rest (the first block included),
// still writes the product code, and ends the run as a failure.
TEST_F(EngineTest, CancelDuringTheWriteStillWritesTheProductCode) {
  Prepare(kNewerLoader);
  bool pressed = false;
  ui.onProcessMessages = [&] {
    if (!pressed && ui.progressPosition == 0xA00) {
      pressed = true;
      botCancelaClick(station);
    }
  };

  EXPECT_FALSE(ProgramDevice(station).ok());

  EXPECT_EQ(AddressesOf(boot::kWriteVerifyFlash), Range(0x880, 0xA80, 0x80));
  EXPECT_EQ(device->Requests().back().command, boot::kWriteProductType);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{" Cancelado"});
  EXPECT_TRUE(ui.commandsEnabled);
}

TEST_F(EngineTest, OlderLoaderVerifiesInASeparatePassWhenNotWhileWriting) {
  Fault corrupt;
  corrupt.kind = FaultKind::kCorruptWrite;
  corrupt.address = 0x1180;
  Prepare(kOlderLoader, {corrupt});
  station.options.verifyWhileWriting = false;

  EXPECT_FALSE(ProgramDevice(station).ok());

  // Every block written once, then 128-byte reads up to the wrong one.
  EXPECT_EQ(AddressesOf(boot::kWriteFlash), ExpectedBlocks());
  EXPECT_EQ(AddressesOf(boot::kCompareFlash), Range(0x800, 0x1180, 0x80));
  EXPECT_EQ(ui.Messages().back(), "Falha comparacao End 4480");
  EXPECT_EQ(ui.Statuses().back(), "Verificando memória de programa...");
}

TEST_F(EngineTest, SeparatePassEndsWithEightByteReads) {
  Prepare(kOlderLoader);
  station.options.verifyWhileWriting = false;
  ASSERT_TRUE(ProgramDevice(station).ok());
  auto reads = RequestsWith(boot::kCompareFlash);
  ASSERT_EQ(reads.size(), Range(0x800, 0x1180, 0x80).size() + 16);
  EXPECT_EQ(RequestAddress(reads.back()), 0x1278u);
  EXPECT_EQ(reads.back().payload[3], 1);
}

TEST_F(EngineTest, EepromSkipsTheBootGranuleAndStopsAfterTheFirstBlankOne) {
  Prepare(kNewerLoader);
  station.options.writeEeprom = true;
  for (uint32_t a = 0; a < 48; ++a) station.image->eeprom[a] = static_cast<uint8_t>(a + 1);
  const auto before = device->Eeprom();

  ASSERT_TRUE(ProgramDevice(station).ok());

  // Granules 16 and 32 hold data, 48 is the first blank one, 64 the one after it.
  const std::vector<uint32_t> granules = {16, 32, 48, 64};
  EXPECT_EQ(AddressesOf(boot::kWriteEeprom), granules);
  EXPECT_EQ(AddressesOf(boot::kReadEeprom), granules);
  EXPECT_EQ(ui.Messages(),
            (std::vector<std::string>{"Endereço 0 Não foi gravado pois contem dados do boot",
                                      "Endereço 0 Não foi comparado pois contem dados do boot"}));
  auto eeprom = device->Eeprom();
  EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.begin() + 16, before.begin()));
  EXPECT_TRUE(
      std::equal(eeprom.begin() + 16, eeprom.begin() + 80, station.image->eeprom.begin() + 16));
  EXPECT_EQ(ui.FieldText(Field::edEndE2Prom), "0x00004F");
  EXPECT_EQ(device->Requests().back().command, boot::kWriteProductType);
}

TEST_F(EngineTest, EepromGranuleFailureNamesItsAddress) {
  Fault f;
  f.kind = FaultKind::kFailWrite;
  f.request = 22;  // EraseAll, 21 flash blocks, then the first EEPROM granule
  Prepare(kNewerLoader, {f});
  station.options.writeEeprom = true;
  EXPECT_FALSE(ProgramDevice(station).ok());
  EXPECT_EQ(ui.Messages().back(), "Falha grava E2Prom End 16");
}

TEST_F(EngineTest, EraseOffSendsNoEraseCommand) {
  Prepare(kOlderLoader);
  station.options.eraseFirst = false;
  device->LoadFlash(0x800, std::vector<uint8_t>(0x1000, 0xFF));
  ASSERT_TRUE(ProgramDevice(station).ok());
  EXPECT_TRUE(RequestsWith(boot::kEraseBlocks).empty());
  EXPECT_EQ(AddressesOf(boot::kWriteFlash), ExpectedBlocks());
}

// An older loader takes 16-bit addresses: data above 64K would be silently left
// out, so the run fails before it touches anything.
TEST_F(EngineTest, OlderLoaderRefusesDataAbove64KBeforeErasing) {
  Prepare(kOlderLoader, {}, true);
  station.image->flash[0x10000] = 0x12;
  EXPECT_FALSE(ProgramDevice(station).ok());
  EXPECT_TRUE(device->Requests().empty());
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Falha gravação End 65536"});
}

// Whatever the line does, a success means the device holds the image.
struct IntegrityCase {
  const char* name;
  uint16_t loader;
  FaultKind kind;
  uint64_t request;
  std::optional<bool> expectedOk;  // none: either outcome is honest
  const char* engineMessage;       // on failure
};

class EngineIntegrityTest : public EngineTest,
                            public ::testing::WithParamInterface<IntegrityCase> {};

TEST_P(EngineIntegrityTest, SuccessOnlyWhenTheFlashHoldsTheImage) {
  const IntegrityCase& c = GetParam();
  Fault f;
  f.kind = c.kind;
  f.request = c.request;
  Prepare(c.loader, {f});

  const bool ok = ProgramDevice(station).ok();

  if (c.expectedOk) {
    EXPECT_EQ(ok, *c.expectedOk);
  }
  if (ok) {
    EXPECT_TRUE(FlashMatches(0x127F));
    EXPECT_FALSE(HasMessageStartingWith("Falha"));
  } else if (*c.engineMessage) {
    EXPECT_EQ(ui.Messages().back(), c.engineMessage);
  }
}

// Request indices: newer = EraseAll, 21 blocks, product code; older = 11 erase
// steps, then a write and a read-back per block.
INSTANTIATE_TEST_SUITE_P(
    Faults, EngineIntegrityTest,
    ::testing::Values(
        IntegrityCase{"NewerCorruptFirstWrite", kNewerLoader, FaultKind::kCorruptReply, 1, true,
                      ""},
        IntegrityCase{"NewerWrongCodeMidWrite", kNewerLoader, FaultKind::kWrongCode, 5, true, ""},
        IntegrityCase{"NewerWrongCodeLastBlock", kNewerLoader, FaultKind::kWrongCode, 21, true, ""},
        IntegrityCase{"NewerCorruptErase", kNewerLoader, FaultKind::kCorruptReply, 0, false,
                      "Falha erase !"},
        IntegrityCase{"NewerWrongCodeProduct", kNewerLoader, FaultKind::kWrongCode, 22, false,
                      "Falha gravação Tipo Produto"},
        IntegrityCase{"OlderCorruptEraseStep", kOlderLoader, FaultKind::kCorruptReply, 3, false,
                      "Falha erase End 2816"},
        IntegrityCase{"OlderDropWrite", kOlderLoader, FaultKind::kDropReply, 11, true, ""},
        IntegrityCase{"OlderDropReadBack", kOlderLoader, FaultKind::kDropReply, 12, true, ""},
        IntegrityCase{"OlderWrongCodeReadBack", kOlderLoader, FaultKind::kWrongCode, 14, true, ""},
        IntegrityCase{"OlderCorruptStoredBlock", kOlderLoader, FaultKind::kCorruptWrite, 13,
                      std::nullopt, ""}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace bq::test
