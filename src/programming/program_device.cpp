#include "programming/program_device.h"

#include <string>

#include "boot/boot_commands.h"
#include "programming/programming_plan.h"
#include "shell/context.h"
#include "shell/utilities.h"

namespace bq {
namespace {

std::string Hex(uint32_t address) {
  return "0x" + HexAddress24(address);
}

// Runs one plan on the open port. Every phase returns false after showing its one
// message; the first failing phase ends the run.
class Engine {
 public:
  Engine(Context& ctx, const ProgrammingPlan& plan) : ctx_(ctx), ui_(ctx.ui), plan_(plan) {}

  bool Run() {
    ShowRanges();
    if (plan_.dataBeyondReach) return Fail("Falha gravação End ", kFlashTop64K + 1);
    if (!ErasePhase()) return false;
    if (!WriteFlashPhase()) return false;
    if (!VerifyFlash()) return false;
    if (plan_.eeprom && !(WriteEeprom() && VerifyEeprom())) return false;
    return Finish();
  }

 private:
  bool Cancelled() const { return ctx_.cancelFlag.load(); }

  bool Fail(const std::string& text) {
    ui_.ShowMessage(text);
    return false;
  }
  bool Fail(const std::string& text, uint32_t address) {
    return Fail(text + std::to_string(address));
  }

  // Before every command of every loop: the operator's input gets its turn here.
  void Step(uint32_t address) {
    ui_.ProcessMessages();
    ui_.SetProgressPosition(address);
    ui_.SetField(Field::edEndereco, Hex(address));
  }

  void StartPhase(uint32_t minimum, uint32_t maximum) {
    max_ = maximum;
    ui_.SetProgressMax(maximum);
    ui_.SetProgressMin(minimum);
    ui_.SetProgressPosition(minimum);
  }

  void EndPhase() { ui_.SetProgressPosition(max_); }

  void ShowRanges() {
    ui_.SetField(Field::edFimReal, Hex(plan_.end));
    ui_.ProcessMessages();
    ui_.SetField(Field::edEndE2Prom, Hex(plan_.e2end));
    ui_.SetField(Field::edEnd, "E=0x" + HexAddress24(plan_.eraseEnd));
    StartPhase(ApplicationStart, plan_.eraseEnd);
  }

  bool ErasePhase() {
    if (plan_.eraseMode == EraseMode::OneStep) {
      ui_.ShowStatus("Apagando memoria programa 1 step...", false);
      ui_.ProcessMessages();
      ui_.SetField(Field::edEndereco, "0x0000");
      // Leaves the long time-outs in force: the loader may think a while after it.
      if (!EraseAll(ctx_)) return Fail("Falha erase !");
    } else if (plan_.eraseMode == EraseMode::Blocks) {
      ui_.ShowStatus("Apagando memoria programa ...", false);
      ui_.ProcessMessages();
      for (uint32_t a : plan_.eraseAddresses) {
        if (Cancelled()) break;
        Step(a);
        if (!EraseBlocks(ctx_, static_cast<uint16_t>(a), kEraseStepCount)) {
          return Fail("Falha erase End ", a);
        }
      }
    }
    EndPhase();
    return true;
  }

  // One attempt at one block; on failure, the message that names what failed.
  bool WriteBlockOnce(uint32_t a, const char*& failure) {
    const auto a16 = static_cast<uint16_t>(a);
    switch (plan_.writeCommand) {
      case FlashWriteCommand::WriteVerifyLong:
        failure = "Falha gravação e verificação End ";
        return WriteVerifyFlashLong(ctx_, a, kWriteBlockCount);
      case FlashWriteCommand::WriteVerify:
        failure = "Falha gravação e verificação End ";
        return WriteVerifyFlash(ctx_, a16, kWriteBlockCount);
      case FlashWriteCommand::WriteThenCompare:
      case FlashWriteCommand::WriteOnly:
        failure = "Falha gravação End ";
        if (!WriteFlash(ctx_, a16, kWriteBlockCount)) return false;
        if (plan_.writeCommand == FlashWriteCommand::WriteOnly) return true;
        failure = "Falha leitura comparacao End ";
        return CompareFlash(ctx_, a16, kWriteBlockCount);
    }
    return false;
  }

  // Retries follow at once: no input is handled and cancel is not looked at.
  bool WriteBlock(uint32_t a) {
    const char* failure = "";
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
      if (WriteBlockOnce(a, failure)) return true;
    }
    return Fail(failure, a);
  }

  bool WriteFlashPhase() {
    ui_.SetField(Field::edEnd, "W=0x" + HexAddress24(plan_.writeEnd));
    ui_.ShowStatus(plan_.newerLoader ? "Gravando e conferindo memória de programa..."
                                     : "Gravando memória de programa...",
                   false);
    if (plan_.writeFlash) {
      StartPhase(ApplicationStart, plan_.writeEnd);
      for (uint32_t a : plan_.writeBlocks) {
        if (Cancelled()) break;
        Step(a);
        if (!WriteBlock(a)) return false;
      }
    }
    EndPhase();
    return true;
  }

  bool VerifyFlash() {
    ui_.SetField(Field::edEnd, "C16=0x" + HexAddress24(plan_.c16));
    ui_.SetField(Field::endComp128, "C128=0x" + HexAddress24(plan_.c128));
    if (plan_.separateVerify) {
      StartPhase(ApplicationStart, plan_.c16);
      ui_.ShowStatus("Verificando memória de programa...", false);
      for (const FlashRead& read : plan_.verifyReads) {
        if (Cancelled()) break;
        Step(read.address);
        if (!CompareFlash(ctx_, static_cast<uint16_t>(read.address), read.count)) {
          return Fail("Falha comparacao End ", read.address);
        }
      }
    }
    EndPhase();
    return true;
  }

  // The boot granule holds the loader's own data: it is named, never sent.
  template <typename Command>
  bool EepromPass(const char* status, const char* bootNote, const char* failure, Command command) {
    StartPhase(0, plan_.e2end);
    ui_.ShowStatus(status, false);
    for (uint32_t a : plan_.eepromGranules) {
      if (Cancelled()) break;
      Step(a);
      if (a == kEepromBootGranule) {
        ui_.ShowMessage(std::string("Endereço ") + "0" + bootNote);
      } else if (!command(ctx_, static_cast<uint16_t>(a))) {
        return Fail(failure, a);
      }
    }
    EndPhase();
    return true;
  }

  bool WriteEeprom() {
    return EepromPass("Gravando E2Prom...", " Não foi gravado pois contem dados do boot",
                      "Falha grava E2Prom End ", WriteEepromBlock);
  }

  bool VerifyEeprom() {
    return EepromPass("Verificando E2Prom...", " Não foi comparado pois contem dados do boot",
                      "Falha comparacao E2Prom End ", CompareEepromBlock);
  }

  // The product code goes even after a cancel: what was written stays consistent.
  bool Finish() {
    if (plan_.writeProductCode && !WriteProductType(ctx_, ctx_.flowHeader.productCode)) {
      return Fail("Falha gravação Tipo Produto");
    }
    if (Cancelled()) return Fail(" Cancelado");
    ui_.SetField(Field::edCrono, FormatElapsed(ctx_.elapsedCounter.load()));
    return true;
  }

  Context& ctx_;
  OperatorInterface& ui_;
  const ProgrammingPlan& plan_;
  uint32_t max_ = 0;
};

}  // namespace

bool ProgramDevice(Context& ctx) {
  ctx.elapsedCounter = 0;
  ctx.ui.SetField(Field::edCrono, "--:--:--");
  ctx.ui.SetField(Field::edStartAdress, HexAddress24(ApplicationStart));
  ctx.cancelFlag = false;
  const ProgrammingPlan plan =
      PlanProgramming(*ctx.image, ctx.options, ctx.identity.bootLoaderVersion);
  return Engine(ctx, plan).Run();
}

}  // namespace bq
