#include "app/program_device.h"

#include <string>

#include "app/context.h"
#include "app/station.h"
#include "serial/port_error.h"
#include "shell/utilities.h"

namespace bq {
namespace {

using Phase = ProgrammingPhase;

std::string Hex(uint32_t address) {
  return "0x" + HexAddress24(address);
}

const char* PhaseText(Phase phase) {
  switch (phase) {
    case Phase::Erase:
      return "o apagamento da memória de programa";
    case Phase::WriteFlash:
      return "a gravação da memória de programa";
    case Phase::VerifyFlash:
      return "a verificação da memória de programa";
    case Phase::WriteEeprom:
      return "a gravação da E2Prom";
    case Phase::VerifyEeprom:
      return "a verificação da E2Prom";
    case Phase::Finish:
      break;
  }
  return "a finalização";
}

// Shows the engine's events in the main page's fields, progress bar and status line.
class MainPageProgress : public ProgressSink {
 public:
  explicit MainPageProgress(OperatorInterface& ui) : ui_(ui) {}

  void PlanStarted(const ProgrammingPlan& plan) override {
    plan_ = &plan;
    ui_.SetField(Field::edFimReal, Hex(plan.end));
    ui_.ProcessMessages();
    ui_.SetField(Field::edEndE2Prom, Hex(plan.e2end));
    ui_.SetField(Field::edEnd, "E=0x" + HexAddress24(plan.eraseEnd));
  }

  void PhaseAnnounced(Phase phase) override {
    phase_ = phase;
    switch (phase) {
      case Phase::Erase:
        AnnounceErase();
        break;
      case Phase::WriteFlash:
        ui_.SetField(Field::edEnd, "W=0x" + HexAddress24(plan_->writeEnd));
        ui_.ShowStatus(plan_->newerLoader ? "Gravando e conferindo memória de programa..."
                                          : "Gravando memória de programa...",
                       false);
        break;
      case Phase::VerifyFlash:
        ui_.SetField(Field::edEnd, "C16=0x" + HexAddress24(plan_->verifyEnd));
        ui_.SetField(Field::endComp128, "C128=0x" + HexAddress24(plan_->verifyBlocksEnd));
        break;
      default:
        break;
    }
  }

  void RangeStarted(Phase phase, uint32_t first, uint32_t last) override {
    address_ = first;
    max_ = last;
    ui_.SetProgressMax(last);
    ui_.SetProgressMin(first);
    ui_.SetProgressPosition(first);
    if (phase == Phase::VerifyFlash) ui_.ShowStatus("Verificando memória de programa...", false);
    if (phase == Phase::WriteEeprom) ui_.ShowStatus("Gravando E2Prom...", false);
    if (phase == Phase::VerifyEeprom) ui_.ShowStatus("Verificando E2Prom...", false);
  }

  void Step(Phase, uint32_t address) override {
    address_ = address;
    ui_.ProcessMessages();
    ui_.SetProgressPosition(address);
    ui_.SetField(Field::edEndereco, Hex(address));
  }

  void BootGranuleSkipped(Phase phase) override {
    ui_.ShowMessage(phase == Phase::WriteEeprom
                        ? "Endereço 0 Não foi gravado pois contem dados do boot"
                        : "Endereço 0 Não foi comparado pois contem dados do boot");
  }

  void PhaseFinished(Phase) override { ui_.SetProgressPosition(max_); }

  // Where the plan stood when the device stopped answering.
  ProgrammingResult Lost() const {
    ProgrammingResult r;
    r.status = ProgrammingResult::Status::Failed;
    r.phase = phase_;
    r.address = address_;
    r.message = "Equipamento parou de responder no endereço " + Hex(address_) + " durante " +
                PhaseText(phase_);
    return r;
  }

 private:
  void AnnounceErase() {
    const bool oneStep = plan_->eraseMode == EraseMode::OneStep;
    ui_.ShowStatus(
        oneStep ? "Apagando memoria programa 1 step..." : "Apagando memoria programa ...", false);
    ui_.ProcessMessages();
    if (oneStep) ui_.SetField(Field::edEndereco, "0x0000");
  }

  OperatorInterface& ui_;
  const ProgrammingPlan* plan_ = nullptr;
  uint32_t max_ = 0;
  Phase phase_ = Phase::Erase;
  uint32_t address_ = 0;
};

}  // namespace

ProgrammingResult ProgramDevice(Station& st) {
  st.elapsedCounter = 0;
  st.ui.SetField(Field::edCrono, "--:--:--");
  st.ui.SetField(Field::edStartAdress, HexAddress24(ApplicationStart));
  st.cancelFlag = false;
  const ProgrammingPlan plan = PlanProgramming(*st.image, st.options, st.identity.bootLoaderVersion,
                                               st.flowHeader.productCode);
  MainPageProgress progress(st.ui);
  ProgrammingResult result;
  try {
    result = RunProgrammingPlan(st.link(), plan, progress, st.cancelFlag);
  } catch (const PortError& e) {
    // The device went away mid-plan: the port's own words, then where it stopped.
    st.ui.ShowMessage(e.what());
    result = progress.Lost();
  }
  if (result.ok()) {
    st.ui.SetField(Field::edCrono, FormatElapsed(st.elapsedCounter.load()));
  } else {
    st.ui.ShowMessage(result.message);
  }
  return result;
}

}  // namespace bq
