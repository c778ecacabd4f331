#include "programming/programming_plan.h"

#include <algorithm>

#include "boot/device_identity.h"

namespace bq {
namespace {

bool AllBlank(const uint8_t* bytes, uint32_t count) {
  return std::all_of(bytes, bytes + count, [](uint8_t b) { return b == 0xFF; });
}

std::vector<uint32_t> EraseSteps(uint32_t eraseEnd) {
  std::vector<uint32_t> steps;
  uint32_t a = ApplicationStart;
  do {
    steps.push_back(a);
    a += kEraseStep;
  } while (a <= eraseEnd && a >= ApplicationStart);
  return steps;
}

// The block at ApplicationStart goes last; the first block is always written, even
// when it lies past the write end (a blank block costs nothing with smart write).
std::vector<uint32_t> WriteOrder(uint32_t writeEnd) {
  std::vector<uint32_t> blocks;
  uint32_t a = ApplicationStart + kWriteBlock;
  for (;;) {
    blocks.push_back(a);
    if (a == ApplicationStart) break;
    a += kWriteBlock;
    if (a > writeEnd || a < ApplicationStart) a = ApplicationStart;
  }
  return blocks;
}

// 128-byte reads up to c128, then 8-byte reads up to c16.
std::vector<FlashRead> VerifyReads(uint32_t c16, uint32_t c128) {
  std::vector<FlashRead> reads;
  uint32_t a = ApplicationStart;
  uint32_t step = kWriteBlock;
  for (;;) {
    reads.push_back({a, static_cast<uint8_t>(step / 8)});
    a += step;
    if (step == kWriteBlock && a > c128) step = kTailBlock;
    if (a > c16) break;
  }
  return reads;
}

std::vector<uint32_t> EepromGranules(uint32_t e2end) {
  std::vector<uint32_t> granules;
  for (uint32_t a = 0; a <= e2end; a += kGranule) granules.push_back(a);
  return granules;
}

FlashWriteCommand WriteCommandFor(bool newer, const ProgrammingOptions& options) {
  if (newer) {
    return options.highAddresses ? FlashWriteCommand::WriteVerifyLong
                                 : FlashWriteCommand::WriteVerify;
  }
  return options.verifyWhileWriting && options.verify ? FlashWriteCommand::WriteThenCompare
                                                      : FlashWriteCommand::WriteOnly;
}

}  // namespace

uint32_t TrimmedFlashEnd(const FirmwareImage& image, uint32_t flashTop) {
  for (uint32_t g = flashTop + 1 - kGranule; g > ApplicationStart; g -= kGranule) {
    if (!AllBlank(&image.flash[g], kGranule)) return g + kGranule - 1;
  }
  return flashTop;
}

uint32_t TrimmedEepromEnd(const FirmwareImage& image) {
  for (uint32_t g = 0; g + kGranule <= kEepromSize; g += kGranule) {
    if (AllBlank(&image.eeprom[g], kGranule)) return std::min(g + 2 * kGranule - 1, kEepromTop);
  }
  return kEepromTop;
}

ProgrammingPlan PlanProgramming(const FirmwareImage& image, const ProgrammingOptions& options,
                                uint32_t bootLoaderVersion) {
  ProgrammingPlan plan;
  plan.newerLoader = bootLoaderVersion >= kNewerLoaderVersion;

  // Older loaders take 16-bit addresses only: their range never goes past 64K.
  bool wide = options.highAddresses && plan.newerLoader;
  plan.flashTop = wide ? kFlashTop128K : kFlashTop64K;
  plan.dataBeyondReach = options.highAddresses && !plan.newerLoader &&
                         !AllBlank(&image.flash[kFlashTop64K + 1], kFlashSize - kFlashTop64K - 1);

  plan.end = options.smartWrite ? TrimmedFlashEnd(image, plan.flashTop) : plan.flashTop;
  plan.e2end = options.smartWrite ? TrimmedEepromEnd(image) : kEepromTop;

  plan.eraseEnd = plan.end / kEraseStep * kEraseStep + kEraseStep - 1;
  if (plan.eraseEnd > plan.flashTop || plan.eraseEnd < ApplicationStart) {
    plan.eraseEnd = plan.flashTop;
  }
  plan.writeEnd = plan.end / kWriteBlock * kWriteBlock + kWriteBlock - 1;
  plan.c16 = plan.writeEnd;
  plan.c128 = (plan.end / kWriteBlock - 1) * kWriteBlock + kWriteBlock - 1;

  if (options.eraseFirst) {
    plan.eraseMode = plan.newerLoader ? EraseMode::OneStep : EraseMode::Blocks;
    if (!plan.newerLoader) plan.eraseAddresses = EraseSteps(plan.eraseEnd);
  }

  plan.writeFlash = options.writeFlash;
  plan.writeCommand = WriteCommandFor(plan.newerLoader, options);
  if (plan.writeFlash) plan.writeBlocks = WriteOrder(plan.writeEnd);

  plan.separateVerify =
      !options.verifyWhileWriting && !plan.newerLoader && options.writeFlash && options.verify;
  if (plan.separateVerify) plan.verifyReads = VerifyReads(plan.c16, plan.c128);

  plan.eeprom = options.writeEeprom;
  if (plan.eeprom) plan.eepromGranules = EepromGranules(plan.e2end);

  plan.writeProductCode = plan.newerLoader;
  return plan;
}

}  // namespace bq
