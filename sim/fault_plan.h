#pragma once
// Decides which of the configured faults strike a given request.

#include <cstdint>
#include <optional>
#include <vector>

#include "boot_loader.h"
#include "sim_options.h"

namespace bq::sim {

struct FaultDecision {
  bool drop = false;
  bool corruptReply = false;
  bool wrongCode = false;
  bool unplug = false;
  int replugAfterMs = -1;
  WriteFault write = WriteFault::kNone;
};

class FaultPlan {
 public:
  explicit FaultPlan(std::vector<Fault> faults);

  // `flashWriteAddress` is set when the request is a flash write the loader
  // will carry out; each such write at a fault's address uses up one attempt.
  FaultDecision Decide(uint64_t requestIndex, std::optional<uint32_t> flashWriteAddress);

 private:
  struct Armed {
    Fault fault;
    unsigned remaining;
  };
  std::vector<Armed> faults_;
};

// Applies the reply faults of `decision` to an encoded reply frame.
void MangleReply(const FaultDecision& decision, std::vector<uint8_t>& frame);

}  // namespace bq::sim
