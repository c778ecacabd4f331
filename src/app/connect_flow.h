#pragma once
// "Conectar e &Gravar": identify, decide, program, report.

#include <optional>

#include "programming/programming_engine.h"

namespace bq {

struct Context;

// What came of one run, for front ends that report it beyond the window.
struct WriteOutcome {
  bool ok = false;
  // Set once the engine ran: where it stopped and why.
  std::optional<ProgrammingResult> programming;
};

WriteOutcome CheckAndProgram(Context& ctx, bool program);
WriteOutcome ConnectAndProgram(Context& ctx, bool detectBaud);
void ShowUpgradeCounter(Context& ctx);

void botConectarEGravarClick(Context& ctx);
void botConectarUsoInternoClick(Context& ctx);

}  // namespace bq
