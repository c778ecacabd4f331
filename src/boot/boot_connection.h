#pragma once
// Finding the boot loader's baud rate, reading the device's identity, and the
// operator commands that do only that.

namespace bq {

struct Context;

bool DetectBootBaudRate(Context& ctx);
bool IdentifyDevice(Context& ctx, bool detectBaud, bool quiet);

void botLeNSClick(Context& ctx);        // "Le &Número de Série"
void botResetClick(Context& ctx);       // "Reseta"
void botEraseClick(Context& ctx);       // "Erase"
void botGravaDebugClick(Context& ctx);  // "botGrava"
void botResetPicClick(Context& ctx);    // "botResetPic"
void botAbre38400Click(Context& ctx);   // "botAbre38400"
// Buttons kept in the window that do nothing.
void botGravaNsClick(Context& ctx);
void botGravaNSProducaoClick(Context& ctx);
void botGravaSomenteTipoProdutoClick(Context& ctx);

}  // namespace bq
