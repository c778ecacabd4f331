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

std::vector<FlashBlock> WriteBlocks(const FirmwareImage& image, uint32_t writeEnd,
                                    bool smartWrite) {
  std::vector<FlashBlock> blocks;
  for (uint32_t a : WriteOrder(writeEnd)) {
    const uint8_t* data = &image.flash[a];
    blocks.push_back({a, {data, data + kWriteBlock}, !(smartWrite && AllBlank(data, kWriteBlock))});
  }
  return blocks;
}

// 128-byte reads up to verifyBlocksEnd, then 8-byte reads up to verifyEnd.
std::vector<FlashRead> VerifyReads(const FirmwareImage& image, uint32_t verifyEnd,
                                   uint32_t verifyBlocksEnd) {
  std::vector<FlashRead> reads;
  uint32_t a = ApplicationStart;
  uint32_t step = kWriteBlock;
  for (;;) {
    const uint8_t* data = &image.flash[a];
    reads.push_back({a, {data, data + step}});
    a += step;
    if (step == kWriteBlock && a > verifyBlocksEnd) step = kTailBlock;
    if (a > verifyEnd) break;
  }
  return reads;
}

std::vector<EepromGranule> EepromGranules(const FirmwareImage& image, uint32_t e2end) {
  std::vector<EepromGranule> granules;
  for (uint32_t a = 0; a <= e2end; a += kGranule) {
    EepromGranule granule{a, {}};
    std::copy_n(&image.eeprom[a], kGranule, granule.data.begin());
    granules.push_back(granule);
  }
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

bool HoldsApplication(const FirmwareImage& image) {
  return !AllBlank(&image.flash[ApplicationStart],
                   static_cast<uint32_t>(image.flash.size() - ApplicationStart));
}

uint32_t TrimmedEepromEnd(const FirmwareImage& image) {
  for (uint32_t g = 0; g + kGranule <= kEepromSize; g += kGranule) {
    if (AllBlank(&image.eeprom[g], kGranule)) return std::min(g + 2 * kGranule - 1, kEepromTop);
  }
  return kEepromTop;
}

ProgrammingPlan PlanProgramming(const FirmwareImage& image, const ProgrammingOptions& options,
                                uint32_t bootLoaderVersion, uint8_t productCode) {
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
  plan.verifyEnd = plan.writeEnd;
  plan.verifyBlocksEnd = (plan.end / kWriteBlock - 1) * kWriteBlock + kWriteBlock - 1;

  if (options.eraseFirst) {
    plan.eraseMode = plan.newerLoader ? EraseMode::OneStep : EraseMode::Blocks;
    if (!plan.newerLoader) plan.eraseAddresses = EraseSteps(plan.eraseEnd);
  }

  plan.writeFlash = options.writeFlash;
  plan.writeCommand = WriteCommandFor(plan.newerLoader, options);
  if (plan.writeFlash) plan.writeBlocks = WriteBlocks(image, plan.writeEnd, options.smartWrite);

  plan.separateVerify =
      !options.verifyWhileWriting && !plan.newerLoader && options.writeFlash && options.verify;
  if (plan.separateVerify) {
    plan.verifyReads = VerifyReads(image, plan.verifyEnd, plan.verifyBlocksEnd);
  }

  plan.eeprom = options.writeEeprom;
  if (plan.eeprom) plan.eepromGranules = EepromGranules(image, plan.e2end);

  plan.writeProductCode = plan.newerLoader;
  plan.productCode = productCode;
  return plan;
}

}  // namespace bq
