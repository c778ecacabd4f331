#include "app/memory_commands.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "app/attempt_record.h"
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

// A reply lost or spoilt on the line is asked for again, as a write's block is.
constexpr int kReadAttempts = kWriteAttempts;

template <typename Read>
auto WithRetries(Read read) -> decltype(read()) {
  for (int attempt = 1;; ++attempt) {
    auto got = read();
    if (got || attempt == kReadAttempts) return got;
  }
}

// One flash chunk of dest.size() bytes from address, with retries.
bool ReadFlashChunk(Station& st, uint32_t address, std::span<uint8_t> dest) {
  auto bytes = WithRetries([&] {
    return ReadFlash(st.link(), static_cast<uint16_t>(address),
                     static_cast<uint8_t>(dest.size() / kFlashUnit));
  });
  if (!bytes) return false;
  std::copy(bytes->begin(), bytes->end(), dest.begin());
  return true;
}

bool ReadEepromChunk(Station& st, uint32_t address, std::span<uint8_t, kEepromSize> dest) {
  auto block =
      WithRetries([&] { return ReadEepromBlock(st.link(), static_cast<uint16_t>(address)); });
  if (!block) return false;
  std::copy(block->begin(), block->end(), dest.begin() + address);
  return true;
}

// Reads into dest from an 8-byte aligned address, a whole number of units.
// A block that never answers well is named in failedAt.
MemoryRunResult ReadFlashInto(Station& st, WorkPhase phase, uint32_t address,
                              std::span<uint8_t> dest, std::optional<uint32_t>& failedAt) {
  const uint32_t last = address + static_cast<uint32_t>(dest.size()) - 1;
  PhaseScope scope(st.ui, phase, address, last);
  for (size_t done = 0; done < dest.size();) {
    st.ui.ProcessMessages();
    if (st.cancelFlag) return scope.End(MemoryRunResult::Cancelled);
    const size_t count = std::min<size_t>(kReadChunk, dest.size() - done);
    const uint32_t at = static_cast<uint32_t>(address + done);
    if (!ReadFlashChunk(st, at, dest.subspan(done, count))) {
      failedAt = at;
      return scope.End(MemoryRunResult::ReadFailed);
    }
    done += count;
    st.ui.SetProgressPosition(static_cast<uint32_t>(address + done - 1));
  }
  return scope.End(MemoryRunResult::Ok);
}

constexpr uint32_t EepromAddress(uint32_t address) {
  return kEepromUpperWord << 16 | address;
}

MemoryRunResult ReadEepromInto(Station& st, WorkPhase phase, uint32_t first, uint32_t last,
                               std::span<uint8_t, kEepromSize> dest,
                               std::optional<uint32_t>& failedAt) {
  PhaseScope scope(st.ui, phase, first, last);
  for (uint32_t address = first; address <= last; address += kEepromBlockSize) {
    st.ui.ProcessMessages();
    if (st.cancelFlag) return scope.End(MemoryRunResult::Cancelled);
    if (!ReadEepromChunk(st, address, dest)) {
      failedAt = EepromAddress(address);
      return scope.End(MemoryRunResult::ReadFailed);
    }
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

// The first difference between device and file (both from base), each one
// found read again, whole chunk, before it counts: a reply spoilt on the line
// is never taken for the device's content. reread(offset, count) reads that
// part of device once more; false when it got no good reply.
template <typename Reread>
std::optional<uint32_t> ConfirmedDifference(std::span<uint8_t> device,
                                            std::span<const uint8_t> file, uint32_t base,
                                            uint32_t chunk, Reread reread,
                                            std::optional<uint32_t>& failedAt) {
  for (size_t from = 0; from < device.size();) {
    auto found = FirstDifference(device.subspan(from), file.subspan(from),
                                 base + static_cast<uint32_t>(from));
    if (!found) return std::nullopt;
    const size_t offset = (*found - base) / chunk * chunk;
    const size_t count = std::min<size_t>(chunk, device.size() - offset);
    if (!reread(offset, count)) {
      failedAt = base + static_cast<uint32_t>(offset);
      return std::nullopt;
    }
    if (auto again = FirstDifference(device.subspan(offset, count), file.subspan(offset, count),
                                     base + static_cast<uint32_t>(offset))) {
      return again;
    }
    from = offset + count;
  }
  return std::nullopt;
}

// Compares the device with the loaded image over the outcome's ranges.
void CompareWithDevice(Station& st, VerifyOutcome& outcome) {
  const FirmwareImage& file = *st.image;
  auto device = std::make_unique<FirmwareImage>();
  const uint32_t size = outcome.flashEnd + 1 - ApplicationStart;
  std::span<uint8_t> flash(device->flash.data() + ApplicationStart, size);
  outcome.result =
      ReadFlashInto(st, WorkPhase::VerifyFlash, ApplicationStart, flash, outcome.failedAddress);
  if (outcome.result != MemoryRunResult::Ok) return;
  outcome.firstDifference = ConfirmedDifference(
      flash, std::span<const uint8_t>(file.flash).subspan(ApplicationStart, size), ApplicationStart,
      kReadChunk,
      [&](size_t offset, size_t count) {
        return ReadFlashChunk(st, static_cast<uint32_t>(ApplicationStart + offset),
                              flash.subspan(offset, count));
      },
      outcome.failedAddress);
  if (outcome.failedAddress) {
    outcome.result = MemoryRunResult::ReadFailed;
    return;
  }
  if (!outcome.firstDifference && outcome.eepromCompared) {
    // The boot loader's own granule at 0 is never written, so never compared.
    const uint32_t first = kGranule;
    const uint32_t last = st.options.smartWrite ? TrimmedEepromEnd(file) : kEepromTop;
    outcome.result = ReadEepromInto(st, WorkPhase::VerifyEeprom, first, last, device->eeprom,
                                    outcome.failedAddress);
    if (outcome.result != MemoryRunResult::Ok) return;
    const auto from = [&](auto& e) { return std::span(e).subspan(first, last + 1 - first); };
    std::optional<uint32_t> failedAt;
    outcome.firstDifference = ConfirmedDifference(
        from(device->eeprom), from(file.eeprom), EepromAddress(first), kEepromBlockSize,
        [&](size_t offset, size_t) {
          return ReadEepromChunk(st, first + static_cast<uint32_t>(offset), device->eeprom);
        },
        failedAt);
    if (failedAt) {
      outcome.failedAddress = failedAt;
      outcome.result = MemoryRunResult::ReadFailed;
      return;
    }
  }
  if (outcome.firstDifference) outcome.result = MemoryRunResult::Differs;
}

// How a read-back ended, for the command's production record.
void NoteMemoryRun(Station& st, MemoryRunResult result, std::optional<uint32_t> address) {
  using records::RecordResult;
  switch (result) {
    case MemoryRunResult::Ok:
      return NoteResult(st, RecordResult::kOk);
    case MemoryRunResult::Cancelled:
      return NoteResult(st, RecordResult::kCancelled);
    case MemoryRunResult::BeyondReach:
      NoteResult(st, RecordResult::kRefused);
      return NoteFailure(st, std::nullopt, std::nullopt,
                         "the file holds flash beyond the read-back's reach");
    case MemoryRunResult::Differs:
      return NoteFailure(st, std::nullopt, address, "the device differs from the file");
    case MemoryRunResult::NoBootLoader:
      return NoteFailure(st, std::nullopt, std::nullopt, "no boot loader answered");
    case MemoryRunResult::ReadFailed:
      return NoteFailure(st, std::nullopt, address, "a block got no good reply");
    case MemoryRunResult::FileFailed:
      return NoteFailure(st, std::nullopt, std::nullopt, std::nullopt);
  }
}

VerifyOutcome CompareFileWithDevice(Station& st, const std::string& fileName) {
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
  NoteFile(st, fileName, header);
  DeviceCommandScope scope(st);
  if (!DetectBootBaudRate(st)) return outcome;
  CompareWithDevice(st, outcome);
  return outcome;
}

ReadOutcome ReadMemoryInto(Station& st, uint32_t first, uint32_t last, bool eeprom,
                           FirmwareImage& into) {
  st.cancelFlag = false;
  into.FillBlank();
  DeviceCommandScope scope(st);
  ReadOutcome outcome;
  if (!DetectBootBaudRate(st)) return outcome;
  // The loader reads whole 8-byte units: widen the range to them.
  const uint32_t from = first & ~uint32_t{kFlashUnit - 1};
  const uint32_t to = std::min(last | uint32_t{kFlashUnit - 1}, kReadableFlashTop);
  outcome.result = ReadFlashInto(st, WorkPhase::ReadFlash, from,
                                 std::span<uint8_t>(into.flash.data() + from, to + 1 - from),
                                 outcome.failedAddress);
  if (outcome.result == MemoryRunResult::Ok && eeprom) {
    outcome.result = ReadEepromInto(st, WorkPhase::ReadEeprom, 0, kEepromSize - 1, into.eeprom,
                                    outcome.failedAddress);
  }
  return outcome;
}

}  // namespace

VerifyOutcome VerifyAttachedDevice(Station& st, const std::string& fileName) {
  AttemptRecord attempt(st, "verify");
  return attempt.Run([&] {
    const VerifyOutcome outcome = CompareFileWithDevice(st, fileName);
    NoteMemoryRun(st, outcome.result,
                  outcome.result == MemoryRunResult::Differs ? outcome.firstDifference
                                                             : outcome.failedAddress);
    return outcome;
  });
}

ReadOutcome ReadAttachedMemory(Station& st, uint32_t first, uint32_t last, bool eeprom,
                               FirmwareImage& into) {
  AttemptRecord attempt(st, "read");
  return attempt.Run([&] {
    const ReadOutcome outcome = ReadMemoryInto(st, first, last, eeprom, into);
    NoteMemoryRun(st, outcome.result, outcome.failedAddress);
    return outcome;
  });
}

}  // namespace bq
