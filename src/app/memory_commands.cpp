#include "app/memory_commands.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/device_commands.h"
#include "app/firmware_commands.h"
#include "app/station.h"
#include "boot/boot_commands.h"
#include "image/firmware_loader.h"
#include "programming/programming_plan.h"

namespace bq {
namespace {

constexpr uint32_t kReadChunk = 128;  // 16 units of 8 bytes per request

// The bar walks first..last as a phase of its own; the phase ends with the run.
class PhaseScope {
 public:
  PhaseScope(OperatorInterface& ui, WorkPhase phase, uint32_t first, uint32_t last)
      : ui_(ui), phase_(phase) {
    ui_.SetProgressMax(last);
    ui_.SetProgressMin(first);
    ui_.SetProgressPosition(first);
    ui_.PhaseStarted(phase, first, last);
  }
  ~PhaseScope() { ui_.PhaseEnded(phase_, result_ == MemoryRunResult::Ok); }
  PhaseScope(const PhaseScope&) = delete;
  PhaseScope& operator=(const PhaseScope&) = delete;

  MemoryRunResult End(MemoryRunResult result) {
    result_ = result;
    return result;
  }

 private:
  OperatorInterface& ui_;
  WorkPhase phase_;
  MemoryRunResult result_ = MemoryRunResult::ReadFailed;
};

// Reads into dest from an 8-byte aligned address, a whole number of units.
MemoryRunResult ReadFlashInto(Station& st, WorkPhase phase, uint32_t address,
                              std::span<uint8_t> dest) {
  const uint32_t last = address + static_cast<uint32_t>(dest.size()) - 1;
  PhaseScope scope(st.ui, phase, address, last);
  for (size_t done = 0; done < dest.size();) {
    st.ui.ProcessMessages();
    if (st.cancelFlag) return scope.End(MemoryRunResult::Cancelled);
    const size_t count = std::min<size_t>(kReadChunk, dest.size() - done);
    auto bytes = ReadFlash(st.link(), static_cast<uint16_t>(address + done),
                           static_cast<uint8_t>(count / kFlashUnit));
    if (!bytes) return scope.End(MemoryRunResult::ReadFailed);
    std::copy(bytes->begin(), bytes->end(), dest.begin() + static_cast<ptrdiff_t>(done));
    done += count;
    st.ui.SetProgressPosition(static_cast<uint32_t>(address + done - 1));
  }
  return scope.End(MemoryRunResult::Ok);
}

MemoryRunResult ReadEepromInto(Station& st, WorkPhase phase, uint32_t first, uint32_t last,
                               std::span<uint8_t, kEepromSize> dest) {
  PhaseScope scope(st.ui, phase, first, last);
  for (uint32_t address = first; address <= last; address += kEepromBlockSize) {
    st.ui.ProcessMessages();
    if (st.cancelFlag) return scope.End(MemoryRunResult::Cancelled);
    auto block = ReadEepromBlock(st.link(), static_cast<uint16_t>(address));
    if (!block) return scope.End(MemoryRunResult::ReadFailed);
    std::copy(block->begin(), block->end(), dest.begin() + address);
    st.ui.SetProgressPosition(address + kEepromBlockSize - 1);
  }
  return scope.End(MemoryRunResult::Ok);
}

std::optional<uint32_t> FirstDifference(std::span<const uint8_t> a, std::span<const uint8_t> b,
                                        uint32_t base) {
  auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin());
  if (ia == a.end()) return std::nullopt;
  return base + static_cast<uint32_t>(ia - a.begin());
}

// Compares the device with the loaded image over the outcome's ranges.
void CompareWithDevice(Station& st, VerifyOutcome& outcome) {
  const FirmwareImage& file = *st.image;
  auto device = std::make_unique<FirmwareImage>();
  const uint32_t size = outcome.flashEnd + 1 - ApplicationStart;
  std::span<uint8_t> flash(device->flash.data() + ApplicationStart, size);
  outcome.result = ReadFlashInto(st, WorkPhase::VerifyFlash, ApplicationStart, flash);
  if (outcome.result != MemoryRunResult::Ok) return;
  outcome.firstDifference =
      FirstDifference(flash, std::span<const uint8_t>(file.flash).subspan(ApplicationStart, size),
                      ApplicationStart);
  if (!outcome.firstDifference && outcome.eepromCompared) {
    // The boot loader's own granule at 0 is never written, so never compared.
    const uint32_t first = kGranule;
    const uint32_t last = st.options.smartWrite ? TrimmedEepromEnd(file) : kEepromTop;
    outcome.result = ReadEepromInto(st, WorkPhase::VerifyEeprom, first, last, device->eeprom);
    if (outcome.result != MemoryRunResult::Ok) return;
    const auto from = [&](const auto& e) {
      return std::span<const uint8_t>(e).subspan(first, last + 1 - first);
    };
    outcome.firstDifference =
        FirstDifference(from(device->eeprom), from(file.eeprom), kEepromUpperWord << 16 | first);
  }
  if (outcome.firstDifference) outcome.result = MemoryRunResult::Differs;
}

}  // namespace

VerifyOutcome VerifyAttachedDevice(Station& st, const std::string& fileName) {
  VerifyOutcome outcome;
  st.cancelFlag = false;
  FirmwareHeader header;
  if (!LoadFirmwareFile(st.ui, *st.image, fileName, header)) {
    outcome.result = MemoryRunResult::FileFailed;
    return outcome;
  }
  outcome.flashEnd = TrimmedFlashEnd(*st.image, header.memory128K ? kFlashTop128K : kFlashTop64K);
  outcome.eepromCompared = st.options.writeEeprom;
  if (outcome.flashEnd > kReadableFlashTop) {
    outcome.result = MemoryRunResult::BeyondReach;
    return outcome;
  }
  DeviceCommandScope scope(st);
  if (!DetectBootBaudRate(st)) return outcome;
  CompareWithDevice(st, outcome);
  return outcome;
}

MemoryRunResult ReadAttachedMemory(Station& st, uint32_t first, uint32_t last, bool eeprom,
                                   FirmwareImage& into) {
  st.cancelFlag = false;
  into.FillBlank();
  DeviceCommandScope scope(st);
  if (!DetectBootBaudRate(st)) return MemoryRunResult::NoBootLoader;
  // The loader reads whole 8-byte units: widen the range to them.
  const uint32_t from = first & ~uint32_t{kFlashUnit - 1};
  const uint32_t to = std::min(last | uint32_t{kFlashUnit - 1}, kReadableFlashTop);
  MemoryRunResult result = ReadFlashInto(
      st, WorkPhase::ReadFlash, from, std::span<uint8_t>(into.flash.data() + from, to + 1 - from));
  if (result == MemoryRunResult::Ok && eeprom) {
    result = ReadEepromInto(st, WorkPhase::ReadEeprom, 0, kEepromSize - 1, into.eeprom);
  }
  return result;
}

}  // namespace bq
