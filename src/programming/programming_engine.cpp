#include "programming/programming_engine.h"

#include <span>
#include <string>

#include "boot/boot_commands.h"

namespace bq {
namespace {

using Phase = ProgrammingPhase;
using Status = ProgrammingResult::Status;

// Runs one plan on the open port. Every phase returns false once it failed; the
// first failing phase ends the run.
class Engine {
 public:
  Engine(BootLink link, const ProgrammingPlan& plan, ProgressSink& progress,
         const std::atomic<bool>& cancel)
      : link_(link), plan_(plan), progress_(progress), cancel_(cancel) {}

  ProgrammingResult Run() {
    progress_.PlanStarted(plan_);
    progress_.RangeStarted(Phase::Erase, ApplicationStart, plan_.eraseEnd);
    if (plan_.dataBeyondReach) {
      return FailAt(Phase::WriteFlash, "Falha gravação End ", kFlashTop64K + 1);
    }
    if (ErasePhase() && WriteFlashPhase() && VerifyFlashPhase() &&
        (!plan_.eeprom || (WriteEepromPhase() && VerifyEepromPhase()))) {
      Finish();
    }
    return result_;
  }

 private:
  bool Cancelled() const { return cancel_.load(); }

  // The operator's text names the address in decimal after `text`.
  ProgrammingResult FailAt(Phase phase, const std::string& text, uint32_t address) {
    return Fail(phase, text + std::to_string(address), address);
  }
  ProgrammingResult Fail(Phase phase, std::string message, uint32_t address) {
    result_ = {Status::Failed, phase, address, std::move(message)};
    return result_;
  }
  bool Failed(Phase phase, const std::string& text, uint32_t address) {
    FailAt(phase, text, address);
    return false;
  }

  bool ErasePhase() {
    if (plan_.eraseMode != EraseMode::None) progress_.PhaseAnnounced(Phase::Erase);
    if (plan_.eraseMode == EraseMode::OneStep) {
      // Leaves the long time-outs in force: the loader may think a while after it.
      if (!EraseAll(link_)) {
        Fail(Phase::Erase, "Falha erase !", ApplicationStart);
        return false;
      }
    } else if (plan_.eraseMode == EraseMode::Blocks) {
      for (uint32_t a : plan_.eraseAddresses) {
        if (Cancelled()) break;
        progress_.Step(Phase::Erase, a);
        if (!EraseBlocks(link_, static_cast<uint16_t>(a), kEraseStepCount)) {
          return Failed(Phase::Erase, "Falha erase End ", a);
        }
      }
    }
    progress_.PhaseFinished(Phase::Erase);
    return true;
  }

  // One attempt at one block; on failure, the message that names what failed.
  bool WriteBlockOnce(const FlashBlock& block, const char*& failure) {
    const auto a16 = static_cast<uint16_t>(block.address);
    const std::span<const uint8_t> data(block.data);
    switch (plan_.writeCommand) {
      case FlashWriteCommand::WriteVerifyLong:
        failure = "Falha gravação e verificação End ";
        return !block.send || WriteVerifyFlashLong(link_, block.address, data);
      case FlashWriteCommand::WriteVerify:
        failure = "Falha gravação e verificação End ";
        return !block.send || WriteVerifyFlash(link_, a16, data);
      case FlashWriteCommand::WriteThenCompare:
      case FlashWriteCommand::WriteOnly:
        failure = "Falha gravação End ";
        if (block.send && !WriteFlash(link_, a16, data)) return false;
        if (plan_.writeCommand == FlashWriteCommand::WriteOnly) return true;
        failure = "Falha leitura comparacao End ";
        return CompareFlash(link_, a16, data);
    }
    return false;
  }

  // Retries follow at once: no input is handled and cancel is not looked at.
  bool WriteBlock(const FlashBlock& block) {
    const char* failure = "";
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
      if (WriteBlockOnce(block, failure)) return true;
    }
    return Failed(Phase::WriteFlash, failure, block.address);
  }

  bool WriteFlashPhase() {
    progress_.PhaseAnnounced(Phase::WriteFlash);
    if (plan_.writeFlash) {
      progress_.RangeStarted(Phase::WriteFlash, ApplicationStart, plan_.writeEnd);
      for (const FlashBlock& block : plan_.writeBlocks) {
        if (Cancelled()) break;
        progress_.Step(Phase::WriteFlash, block.address);
        if (!WriteBlock(block)) return false;
      }
    }
    progress_.PhaseFinished(Phase::WriteFlash);
    return true;
  }

  bool VerifyFlashPhase() {
    progress_.PhaseAnnounced(Phase::VerifyFlash);
    if (plan_.separateVerify) {
      progress_.RangeStarted(Phase::VerifyFlash, ApplicationStart, plan_.verifyEnd);
      for (const FlashRead& read : plan_.verifyReads) {
        if (Cancelled()) break;
        progress_.Step(Phase::VerifyFlash, read.address);
        if (!CompareFlash(link_, static_cast<uint16_t>(read.address), read.expected)) {
          return Failed(Phase::VerifyFlash, "Falha comparacao End ", read.address);
        }
      }
    }
    progress_.PhaseFinished(Phase::VerifyFlash);
    return true;
  }

  template <typename Command>
  bool EepromPass(Phase phase, const char* failure, Command command) {
    progress_.RangeStarted(phase, 0, plan_.e2end);
    for (const EepromGranule& granule : plan_.eepromGranules) {
      if (Cancelled()) break;
      progress_.Step(phase, granule.address);
      if (granule.address == kEepromBootGranule) {
        progress_.BootGranuleSkipped(phase);
      } else if (!command(link_, static_cast<uint16_t>(granule.address),
                          EepromBlock(granule.data))) {
        return Failed(phase, failure, granule.address);
      }
    }
    progress_.PhaseFinished(phase);
    return true;
  }

  bool WriteEepromPhase() {
    return EepromPass(Phase::WriteEeprom, "Falha grava E2Prom End ", WriteEepromBlock);
  }

  bool VerifyEepromPhase() {
    return EepromPass(Phase::VerifyEeprom, "Falha comparacao E2Prom End ", CompareEepromBlock);
  }

  // The product code goes even after a cancel: what was written stays consistent.
  void Finish() {
    if (plan_.writeProductCode && !WriteProductType(link_, plan_.productCode)) {
      Fail(Phase::Finish, "Falha gravação Tipo Produto", 0);
      return;
    }
    if (Cancelled()) result_ = {Status::Cancelled, Phase::Finish, 0, " Cancelado"};
  }

  BootLink link_;
  const ProgrammingPlan& plan_;
  ProgressSink& progress_;
  const std::atomic<bool>& cancel_;
  ProgrammingResult result_;
};

}  // namespace

ProgrammingResult RunProgrammingPlan(BootLink link, const ProgrammingPlan& plan,
                                     ProgressSink& progress, const std::atomic<bool>& cancel) {
  return Engine(link, plan, progress, cancel).Run();
}

}  // namespace bq
