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

std::vector<uint8_t> WireReply(const FaultDecision& decision, ReplyForm form,
                               std::vector<uint8_t> payload) {
  if (form == ReplyForm::kText) {
    // Flipping the low bit turns every letter into another, so the text the
    // tool looks for is gone while the reply keeps its length.
    if (decision.wrongCode || decision.corruptReply) {
      for (auto& b : payload) b ^= 0x01;
    }
    return payload;
  }
  if (decision.wrongCode && !payload.empty()) payload[0] ^= 0xFF;
  std::vector<uint8_t> frame = form == ReplyForm::kBootFrame
                                   ? EncodeFrame(payload)
                                   : EncodeLinkFrame(kLinkReplyPrefix, payload);
  if (decision.corruptReply) frame.back() = static_cast<uint8_t>(frame.back() + 1);
  return frame;
}

}  // namespace bq::sim
