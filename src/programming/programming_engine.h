#pragma once
// The programming engine: runs a plan on a device whose boot loader answers on
// the link, reporting progress as events and returning what came of it.

#include <atomic>
#include <cstdint>
#include <string>

#include "boot/boot_link.h"
#include "programming/programming_plan.h"

namespace bq {

enum class ProgrammingPhase { Erase, WriteFlash, VerifyFlash, WriteEeprom, VerifyEeprom, Finish };

// What a front end hears while a plan runs, in this order: PlanStarted, then
// for each phase PhaseAnnounced, RangeStarted (when it has a range to walk),
// Step before every command of its loop, PhaseFinished.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void PlanStarted(const ProgrammingPlan& plan) = 0;
  virtual void PhaseAnnounced(ProgrammingPhase phase) = 0;
  virtual void RangeStarted(ProgrammingPhase phase, uint32_t first, uint32_t last) = 0;
  // The next command goes to this address; the operator's input gets its turn here.
  virtual void Step(ProgrammingPhase phase, uint32_t address) = 0;
  // The EEPROM granule at 0 holds the boot loader's own data: named, never sent.
  virtual void BootGranuleSkipped(ProgrammingPhase phase) = 0;
  virtual void PhaseFinished(ProgrammingPhase phase) = 0;
};

struct ProgrammingResult {
  enum class Status { Done, Cancelled, Failed };
  Status status = Status::Done;
  ProgrammingPhase phase = ProgrammingPhase::Erase;  // Failed: where
  uint32_t address = 0;                              // Failed: the block or granule
  std::string message;                               // Failed, Cancelled: the operator's text
  // An erase command went out: the application may be gone, whatever the status.
  bool eraseStarted = false;

  bool ok() const { return status == Status::Done; }
};

// Needs the port open at the boot loader's rate. The cancel token is looked at
// at the head of every loop step; the product code still goes after a cancel.
ProgrammingResult RunProgrammingPlan(BootLink link, const ProgrammingPlan& plan,
                                     ProgressSink& progress, const std::atomic<bool>& cancel);

}  // namespace bq
