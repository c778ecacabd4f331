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

WorkPhase WorkPhaseOf(Phase phase) {
  switch (phase) {
    case Phase::Erase:
      return WorkPhase::Erase;
    case Phase::WriteFlash:
      return WorkPhase::WriteFlash;
    case Phase::VerifyFlash:
      return WorkPhase::VerifyFlash;
    case Phase::WriteEeprom:
      return WorkPhase::WriteEeprom;
    case Phase::VerifyEeprom:
    case Phase::Finish:
      break;
  }
  return WorkPhase::VerifyEeprom;
}

// Shows the engine's events in the main page's fields, progress bar and status
// line, and passes them on as typed phase events.
class MainPageProgress : public ProgressSink {
 public:
  MainPageProgress(OperatorInterface& ui, const std::atomic<bool>& cancel)
      : ui_(ui), cancel_(cancel) {}

  void PlanStarted(const ProgrammingPlan& plan) override {
    plan_ = &plan;
    ui_.Show(shown::PlanEnds{plan.end, plan.e2end, plan.eraseEnd});
    ui_.ProcessMessages();
  }

  void PhaseAnnounced(Phase phase) override {
    phase_ = phase;
    switch (phase) {
      case Phase::Erase:
        AnnounceErase();
        break;
      case Phase::WriteFlash:
        ui_.Show(shown::PhaseEnd{WorkPhase::WriteFlash, plan_->writeEnd});
        ui_.ShowStatus(plan_->newerLoader ? "Gravando e conferindo memória de programa..."
                                          : "Gravando memória de programa...",
                       false);
        break;
      case Phase::VerifyFlash:
        ui_.Show(shown::PhaseEnd{WorkPhase::VerifyFlash, plan_->verifyEnd});
        ui_.Show(shown::VerifyBlocksEnd{plan_->verifyBlocksEnd});
        break;
      default:
        break;
    }
  }

  void RangeStarted(Phase phase, uint32_t first, uint32_t last) override {
    address_ = first;
    max_ = last;
    // After a cancel the bar keeps showing where the write stopped.
    if (!cancel_.load()) {
      ui_.SetProgressMax(last);
      ui_.SetProgressMin(first);
      ui_.SetProgressPosition(first);
    }
    if (phase == Phase::VerifyFlash) ui_.ShowStatus("Verificando memória de programa...", false);
    if (phase == Phase::WriteEeprom) ui_.ShowStatus("Gravando E2Prom...", false);
    if (phase == Phase::VerifyEeprom) ui_.ShowStatus("Verificando E2Prom...", false);
    // The erase's range is set before the erase is announced; its phase starts then.
    if (phase != Phase::Erase) StartPhase(phase, first, last);
    rangeFirst_ = first;
  }

  void Step(Phase phase, uint32_t address) override {
    // Each erase step is followed by its command, whatever the operator does now.
    if (phase == Phase::Erase) eraseStarted_ = true;
    address_ = address;
    ui_.ProcessMessages();
    ui_.SetProgressPosition(address);
    ui_.Show(shown::Address{address});
  }

  void BootGranuleSkipped(Phase phase) override {
    ui_.ShowMessage(phase == Phase::WriteEeprom
                        ? "Endereço 0 Não foi gravado pois contem dados do boot"
                        : "Endereço 0 Não foi comparado pois contem dados do boot");
  }

  void PhaseFinished(Phase phase) override {
    if (!cancel_.load()) ui_.SetProgressPosition(max_);
    if (open_ && phase == openPhase_) EndPhase(!cancel_.load());
  }

  // An erase command was sent (the one-step erase follows its announcement).
  bool EraseStarted() const { return eraseStarted_; }

  // A failure ends the phase under way where it stood.
  void Stopped() {
    if (open_) EndPhase(false);
  }

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
    if (oneStep) {
      ui_.Show(shown::EraseAll{});
      eraseStarted_ = true;
    }
    StartPhase(Phase::Erase, rangeFirst_, max_);
  }

  void StartPhase(Phase phase, uint32_t first, uint32_t last) {
    if (open_) EndPhase(false);
    openPhase_ = phase;
    open_ = true;
    ui_.PhaseStarted(WorkPhaseOf(phase), first, last);
  }
  void EndPhase(bool done) {
    open_ = false;
    ui_.PhaseEnded(WorkPhaseOf(openPhase_), done);
  }

  OperatorInterface& ui_;
  const std::atomic<bool>& cancel_;
  uint32_t rangeFirst_ = 0;
  bool open_ = false;
  Phase openPhase_ = Phase::Erase;
  const ProgrammingPlan* plan_ = nullptr;
  uint32_t max_ = 0;
  Phase phase_ = Phase::Erase;
  uint32_t address_ = 0;
  bool eraseStarted_ = false;
};

}  // namespace

ProgrammingResult ProgramDevice(Station& st) {
  st.elapsedCounter = 0;
  st.ui.Show(shown::EngineStarted{ApplicationStart});
  st.cancelFlag = false;
  const ProgrammingPlan plan = PlanProgramming(*st.image, st.options, st.identity.bootLoaderVersion,
                                               st.flowHeader.productCode);
  MainPageProgress progress(st.ui, st.cancelFlag);
  ProgrammingResult result;
  try {
    result = RunProgrammingPlan(st.link(), plan, progress, st.cancelFlag);
  } catch (const PortError& e) {
    // The device went away mid-plan: the port's own words, then where it stopped.
    st.ui.ShowMessage(e.what());
    result = progress.Lost();
  }
  progress.Stopped();
  result.eraseStarted = progress.EraseStarted();
  if (result.ok()) {
    st.ui.Show(shown::Elapsed{st.elapsedCounter.load()});
  } else {
    st.ui.ShowMessage(result.message);
  }
  return result;
}

}  // namespace bq
