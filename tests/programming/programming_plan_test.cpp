// The range and order computation of a programming run, without a device.
#include "programming/programming_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

namespace bq {
namespace {

constexpr uint32_t kOlder = 0x0105;
constexpr uint32_t kNewer = 514;

std::unique_ptr<FirmwareImage> BlankImage() {
  auto image = std::make_unique<FirmwareImage>();
  image->FillBlank();
  return image;
}

// Data from first to last inclusive.
std::unique_ptr<FirmwareImage> ImageWithFlash(uint32_t first, uint32_t last) {
  auto image = BlankImage();
  for (uint32_t a = first; a <= last; ++a) image->flash[a] = static_cast<uint8_t>(a);
  return image;
}

ProgrammingOptions Options(bool smartWrite, bool highAddresses) {
  ProgrammingOptions o;
  o.smartWrite = smartWrite;
  o.highAddresses = highAddresses;
  return o;
}

struct RangeCase {
  std::string name;
  uint32_t dataFirst, dataLast;  // dataLast < dataFirst: no flash data
  bool smartWrite, highAddresses;
  uint32_t loader;
  uint32_t end, eraseEnd, writeEnd, verifyBlocksEnd;
};

class RangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeTest, EndsFollowTheImageAndSwitches) {
  const RangeCase& c = GetParam();
  auto image = c.dataLast >= c.dataFirst ? ImageWithFlash(c.dataFirst, c.dataLast) : BlankImage();
  ProgrammingPlan plan = PlanProgramming(*image, Options(c.smartWrite, c.highAddresses), c.loader);
  EXPECT_EQ(plan.end, c.end);
  EXPECT_EQ(plan.eraseEnd, c.eraseEnd);
  EXPECT_EQ(plan.writeEnd, c.writeEnd);
  EXPECT_EQ(plan.verifyEnd, c.writeEnd);
  EXPECT_EQ(plan.verifyBlocksEnd, c.verifyBlocksEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Plan, RangeTest,
    ::testing::Values(
        RangeCase{"SmartTrimsToLastGranule", 0x800, 0x1234, true, false, kNewer, 0x123F, 0x12FF,
                  0x127F, 0x11FF},
        RangeCase{"SmartOffKeeps64K", 0x800, 0x1234, false, false, kNewer, 0xFFFF, 0xFFFF, 0xFFFF,
                  0xFF7F},
        RangeCase{"HighAddressesSmartOff", 0x800, 0x1234, false, true, kNewer, 0x1FFFF, 0x1FFFF,
                  0x1FFFF, 0x1FF7F},
        RangeCase{"HighAddressesFindsDataAbove64K", 0x800, 0x10001, true, true, kNewer, 0x1000F,
                  0x100FF, 0x1007F, 0xFFFF},
        RangeCase{"BlankImageKeepsFlashTop", 1, 0, true, false, kNewer, 0xFFFF, 0xFFFF, 0xFFFF,
                  0xFF7F},
        // Data only in the granule at ApplicationStart: that granule is never examined.
        RangeCase{"FirstGranuleNotExamined", 0x800, 0x80F, true, false, kNewer, 0xFFFF, 0xFFFF,
                  0xFFFF, 0xFF7F},
        RangeCase{"SecondGranuleIsFound", 0x810, 0x810, true, false, kNewer, 0x81F, 0x8FF, 0x87F,
                  0x7FF},
        // An older loader only reaches 16-bit addresses, whatever the switch says.
        RangeCase{"OlderLoaderStaysIn64K", 0x800, 0x1234, false, true, kOlder, 0xFFFF, 0xFFFF,
                  0xFFFF, 0xFF7F}),
    [](const auto& info) { return info.param.name; });

TEST(PlanOrder, SmartRangeErasesAndWritesInOrderWithTheFirstBlockLast) {
  auto image = ImageWithFlash(0x800, 0x1234);
  ProgrammingPlan older = PlanProgramming(*image, Options(true, false), kOlder);
  std::vector<uint32_t> erases;
  for (uint32_t a = 0x800; a <= 0x1200; a += 0x100) erases.push_back(a);
  std::vector<uint32_t> blocks;
  for (uint32_t a = 0x880; a <= 0x1200; a += 0x80) blocks.push_back(a);
  blocks.push_back(0x800);

  EXPECT_EQ(older.eraseMode, EraseMode::Blocks);
  EXPECT_EQ(older.eraseAddresses, erases);
  EXPECT_EQ(AddressesOf(older.writeBlocks), blocks);
  EXPECT_EQ(older.writeCommand, FlashWriteCommand::WriteThenCompare);
  EXPECT_FALSE(older.writeProductCode);

  ProgrammingPlan newer = PlanProgramming(*image, Options(true, false), kNewer);
  EXPECT_EQ(newer.eraseMode, EraseMode::OneStep);
  EXPECT_TRUE(newer.eraseAddresses.empty());
  EXPECT_EQ(AddressesOf(newer.writeBlocks), blocks);
  EXPECT_EQ(newer.writeCommand, FlashWriteCommand::WriteVerify);
  EXPECT_TRUE(newer.writeProductCode);
}

TEST(PlanOrder, FullRangeEndsAtTheTopBlocks) {
  auto image = ImageWithFlash(0x800, 0x1234);
  ProgrammingPlan low = PlanProgramming(*image, Options(false, false), kNewer);
  ASSERT_EQ(low.writeBlocks.size(), (0x10000u - 0x800u) / 128u);
  EXPECT_EQ(low.writeBlocks.front().address, 0x880u);
  EXPECT_EQ(low.writeBlocks[low.writeBlocks.size() - 2].address, 0xFF80u);
  EXPECT_EQ(low.writeBlocks.back().address, 0x800u);

  ProgrammingPlan high = PlanProgramming(*image, Options(false, true), kNewer);
  EXPECT_EQ(high.writeCommand, FlashWriteCommand::WriteVerifyLong);
  EXPECT_EQ(high.writeBlocks[high.writeBlocks.size() - 2].address, 0x1FF80u);
}

// A range ending in the second granule still writes the block after the first.
TEST(PlanOrder, ShortestRangeWritesTheSecondBlockThenTheFirst) {
  auto image = ImageWithFlash(0x810, 0x810);
  ProgrammingPlan plan = PlanProgramming(*image, Options(true, false), kOlder);
  EXPECT_EQ(AddressesOf(plan.writeBlocks), (std::vector<uint32_t>{0x880, 0x800}));
  EXPECT_EQ(plan.eraseAddresses, (std::vector<uint32_t>{0x800}));
}

TEST(PlanVerify, SeparatePassOnlyForOlderLoadersWithoutReadBackWhileWriting) {
  auto image = ImageWithFlash(0x800, 0x1234);
  ProgrammingOptions o = Options(true, false);
  o.verifyWhileWriting = false;

  ProgrammingPlan older = PlanProgramming(*image, o, kOlder);
  EXPECT_EQ(older.writeCommand, FlashWriteCommand::WriteOnly);
  ASSERT_TRUE(older.separateVerify);
  std::vector<std::pair<uint32_t, int>> reads;
  for (uint32_t a = 0x800; a <= 0x1180; a += 0x80) reads.push_back({a, 16});
  for (uint32_t a = 0x1200; a <= 0x1278; a += 8) reads.push_back({a, 1});
  std::vector<std::pair<uint32_t, int>> planned;
  for (const FlashRead& r : older.verifyReads) {
    planned.push_back({r.address, r.Units()});
    // Each read carries the image's bytes it must find.
    ASSERT_TRUE(std::equal(r.expected.begin(), r.expected.end(), &image->flash[r.address]));
  }
  EXPECT_EQ(planned, reads);

  EXPECT_FALSE(PlanProgramming(*image, o, kNewer).separateVerify);
  o.verify = false;
  EXPECT_FALSE(PlanProgramming(*image, o, kOlder).separateVerify);
  o.verify = true;
  o.writeFlash = false;
  ProgrammingPlan noWrite = PlanProgramming(*image, o, kOlder);
  EXPECT_FALSE(noWrite.separateVerify);
  EXPECT_TRUE(noWrite.writeBlocks.empty());
  EXPECT_TRUE(PlanProgramming(*image, Options(true, false), kOlder).verifyReads.empty());
}

TEST(PlanEeprom, EndCoversFirstBlankGranuleAndTheNext) {
  struct Case {
    const char* name;
    int filledGranules;  // granules from 0 holding data; -1: all of them
    uint32_t e2end;
  };
  const Case cases[] = {{"AllBlank", 0, 31},
                        {"ThreeFilled", 3, 48 + 31},
                        {"LastBlankCapped", 255, 4095},
                        {"NoneBlank", -1, 4095}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto image = BlankImage();
    uint32_t filled = c.filledGranules < 0 ? kEepromSize : uint32_t(c.filledGranules) * 16;
    for (uint32_t a = 0; a < filled; ++a) image->eeprom[a] = 0x5A;
    ProgrammingOptions o = Options(true, false);
    o.writeEeprom = true;
    ProgrammingPlan plan = PlanProgramming(*image, o, kNewer);
    EXPECT_EQ(plan.e2end, c.e2end);
    ASSERT_FALSE(plan.eepromGranules.empty());
    EXPECT_EQ(plan.eepromGranules.front().address, 0u);
    EXPECT_EQ(plan.eepromGranules.back().address, c.e2end - 15);
  }
}

TEST(PlanSwitches, EraseOffAndEepromOffSendNothingForThem) {
  auto image = ImageWithFlash(0x800, 0x1234);
  ProgrammingOptions o = Options(true, false);
  o.eraseFirst = false;
  ProgrammingPlan plan = PlanProgramming(*image, o, kOlder);
  EXPECT_EQ(plan.eraseMode, EraseMode::None);
  EXPECT_TRUE(plan.eraseAddresses.empty());
  EXPECT_FALSE(plan.eeprom);
  EXPECT_TRUE(plan.eepromGranules.empty());
}

TEST(PlanReach, OlderLoaderFlagsDataItCannotAddress) {
  auto image = ImageWithFlash(0x800, 0x10010);
  EXPECT_TRUE(PlanProgramming(*image, Options(true, true), kOlder).dataBeyondReach);
  EXPECT_FALSE(PlanProgramming(*image, Options(true, true), kNewer).dataBeyondReach);
  // Without the "Hi" switch the range is 64K by choice, not by the loader's reach.
  EXPECT_FALSE(PlanProgramming(*image, Options(true, false), kOlder).dataBeyondReach);
}

// Under smart write a blank block is planned but not sent: erased flash holds it.
TEST(PlanBlocks, SmartWriteLeavesBlankBlocksUnsentAndCarriesTheData) {
  auto image = ImageWithFlash(0x900, 0x97F);
  for (bool smart : {true, false}) {
    SCOPED_TRACE(smart ? "smart" : "full");
    ProgrammingOptions o = Options(smart, false);
    ProgrammingPlan plan = PlanProgramming(*image, o, kNewer);
    for (const FlashBlock& b : plan.writeBlocks) {
      ASSERT_EQ(b.data.size(), kWriteBlock);
      EXPECT_TRUE(std::equal(b.data.begin(), b.data.end(), &image->flash[b.address]));
      EXPECT_EQ(b.send, !smart || b.address == 0x900) << std::hex << b.address;
    }
  }
}

}  // namespace
}  // namespace bq
