#pragma once
// "Conectar e &Gravar": identify, decide, program, report.

#include <cstdint>
#include <optional>
#include <string>

#include "programming/programming_engine.h"

namespace bq {

class Station;

// What came of one run, for front ends that report it beyond the window.
struct WriteOutcome {
  bool ok = false;
  // Set once the engine ran: where it stopped and why.
  std::optional<ProgrammingResult> programming;
  // The engine's run on the station's clock: seconds measured, and the
  // elapsed counter (hundredths) the window shows after a success.
  double seconds = 0.0;
  uint32_t elapsedHundredths = 0;
};

WriteOutcome CheckAndProgram(Station& st, bool program);
WriteOutcome ConnectAndProgram(Station& st, bool detectBaud);
// One more device written, shown; and the count back to 0, shown.
void CountUpgrade(Station& st);
void ResetUpgradeCounter(Station& st);
// The line a successful write adds to memoUpgradeAuto: "OK (NS<serial>)".
std::string UpgradeAutoOkLine(uint16_t serialNumber);

void botConectarEGravarClick(Station& st);
void botConectarUsoInternoClick(Station& st);

}  // namespace bq
