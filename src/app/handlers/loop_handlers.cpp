#include "app/handlers/loop_handlers.h"

#include "app/station.h"

namespace bq {

LoopOutcome botLoopAtualizarClick(Station& st, WindowControls& window, const LoopLimits& limits) {
  return RunProductionLoop(st, window.FieldText(Field::edNomeArquivoKFX), limits);
}

}  // namespace bq
