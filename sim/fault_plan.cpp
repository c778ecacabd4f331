#include "fault_plan.h"

namespace bq::sim {
namespace {

void Apply(const Fault& fault, FaultDecision& decision) {
  switch (fault.kind) {
    case FaultKind::kDropReply:
      decision.drop = true;
      break;
    case FaultKind::kCorruptReply:
      decision.corruptReply = true;
      break;
    case FaultKind::kWrongCode:
      decision.wrongCode = true;
      break;
    case FaultKind::kUnplug:
      decision.unplug = true;
      decision.replugAfterMs = fault.replugAfterMs;
      break;
    case FaultKind::kFailWrite:
      decision.write = WriteFault::kFail;
      break;
    case FaultKind::kCorruptWrite:
      if (decision.write == WriteFault::kNone) decision.write = WriteFault::kCorrupt;
      break;
  }
}

}  // namespace

FaultPlan::FaultPlan(std::vector<Fault> faults) {
  for (auto& fault : faults) faults_.push_back({fault, fault.times});
}

FaultDecision FaultPlan::Decide(uint64_t requestIndex, std::optional<uint32_t> flashWriteAddress) {
  FaultDecision decision;
  for (auto& armed : faults_) {
    const Fault& fault = armed.fault;
    if (fault.request && *fault.request == requestIndex) {
      Apply(fault, decision);
    } else if (fault.address && flashWriteAddress && *fault.address == *flashWriteAddress &&
               armed.remaining > 0) {
      --armed.remaining;
      Apply(fault, decision);
    }
  }
  return decision;
}

void MangleReply(const FaultDecision& decision, std::vector<uint8_t>& frame) {
  constexpr size_t kCodeAt = 3;  // after 0x0F 0x0F and the length
  if (decision.wrongCode && frame.size() > kCodeAt + 1) {
    // Keep the checksum right: only the code is wrong.
    const uint8_t code = frame[kCodeAt];
    const uint8_t wrong = static_cast<uint8_t>(code ^ 0xFF);
    frame[kCodeAt] = wrong;
    frame.back() = static_cast<uint8_t>(frame.back() + code - wrong);
  }
  if (decision.corruptReply && !frame.empty())
    frame.back() = static_cast<uint8_t>(frame.back() + 1);
}

}  // namespace bq::sim
