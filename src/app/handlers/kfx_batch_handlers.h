#pragma once
// The internal-use page's batch panel: its buttons read the panel's fields
// into a batch request and leave the rest to the core.

#include "app/handlers/window_controls.h"
#include "app/kfx_generation.h"

namespace bq {

struct Context;

// "Gera Varios KFX": the range edNSInicial..edNSFinal from the file of
// edNomeArquivoHex2Kfx. Text that is not an integer throws, for the general
// error display.
KfxBatchOutcome botGeraVariosKFXClick(Context& ctx, WindowControls& window);
// "Proximos 100": first := first + 100, end := old first + 199.
void botProx100Click(WindowControls& window);
// The range fields have no effect until a button is pressed.
inline void edNSInicialChange(WindowControls&) {}
inline void edNSFinalChange(WindowControls&) {}

}  // namespace bq
