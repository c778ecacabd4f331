#pragma once
// The engine's switches. They sit on the hidden engineering page, so in normal
// use they keep these defaults.

namespace bq {

struct ProgrammingOptions {
  bool eraseFirst = true;          // chkEraseProg "Apaga antes de gravar"
  bool writeFlash = true;          // chkGravaProg "GravaFlash"
  bool verifyWhileWriting = true;  // chkVerificaEnquantoGrava "Verifica Enquanto Grava"
  bool verify = true;              // chkVerificaGravacao "Faz verificação"
  bool writeEeprom = false;        // chkGravaE2Prom "Grava E2prom"
  bool smartWrite = true;  // chkProgSoOQueInteressa "Gravação Inteligente (rápida / protótipo)"
  bool highAddresses = true;  // chkHiAdress "Hi"; set by the flow before each run
};

}  // namespace bq
