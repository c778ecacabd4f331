#pragma once
// "Conectar e &Gravar": identify, decide, program, report.

namespace bq {

struct Context;

bool CheckAndProgram(Context& ctx, bool program);
bool ConnectAndProgram(Context& ctx, bool detectBaud);
void ShowUpgradeCounter(Context& ctx);

void botConectarEGravarClick(Context& ctx);
void botConectarUsoInternoClick(Context& ctx);

}  // namespace bq
