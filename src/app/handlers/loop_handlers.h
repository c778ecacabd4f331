#pragma once
// The hidden production-loop page: its button reads the firmware file the
// window shows and runs the loop on the station's port.

#include "app/handlers/window_controls.h"
#include "app/production_commands.h"

namespace bq {

class Station;

// "Loop Atualizar": the loop of RunProductionLoop for the file of edNomeArquivoKFX.
LoopOutcome botLoopAtualizarClick(Station& st, WindowControls& window,
                                  const LoopLimits& limits = {});

}  // namespace bq
