#pragma once
// Decides which of the configured faults strike a given request.

#include <cstdint>
#include <optional>
#include <vector>

#include "boot_loader.h"
#include "frame_codec.h"
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

// The bytes a reply puts on the wire in its `form`, bent by the reply faults
// of `decision`. A wrong code is a well-formed frame whose first payload byte
// is another; a corrupt reply carries a wrong checksum or check byte. A text
// reply has neither, so both faults garble its text instead.
std::vector<uint8_t> WireReply(const FaultDecision& decision, ReplyForm form,
                               std::vector<uint8_t> payload);

}  // namespace bq::sim
