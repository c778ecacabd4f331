#include "shell/operator_interface.h"

namespace bq {

const char* WorkPhaseName(WorkPhase phase) {
  switch (phase) {
    case WorkPhase::Erase:
      return "erase";
    case WorkPhase::WriteFlash:
      return "writeFlash";
    case WorkPhase::VerifyFlash:
      return "verifyFlash";
    case WorkPhase::WriteEeprom:
      return "writeEeprom";
    case WorkPhase::VerifyEeprom:
      return "verifyEeprom";
    case WorkPhase::ReadFlash:
      return "readFlash";
    case WorkPhase::ReadEeprom:
      return "readEeprom";
  }
  return "";
}

}  // namespace bq
