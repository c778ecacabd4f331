#pragma once
// The panel "ENTRAR E MODO DE ATUALIZAÇÂO ( MODO BOOT )": switching an
// accessory from its application into its boot loader, and optionally on to
// "Conectar e &Gravar".

#include <cstdint>
#include <optional>

#include "app/connect_flow.h"
#include "discovery/port_probes.h"

namespace bq {

class Station;

struct ArvexBootOutcome {
  ArvexAnswer answered = ArvexAnswer::None;
  std::optional<uint16_t> baudRate;  // the rate that answered
};

// "Arvex - Modo Atualização ( Boot )": shows no message whatever happens.
ArvexBootOutcome ArvexEnterBoot(Station& st);
void botArvexBootClick(Station& st);

// EnterBoot on the selected port at baud with the prefix "KE" or "NK". A port
// that does not open is named in an error box. The settings' rate is back to
// what it was afterwards.
bool ZirconEnterBootAt(Station& st, uint16_t baud, bool prefixKE);

struct ZirconBootOutcome {
  bool entered = false;
  uint16_t baudRate = 0;  // the last rate tried
  bool prefixKE = true;
};

// ZirconBox Amarelo's settings first, then, after a pause, the Sensor Zircon's.
ZirconBootOutcome ZirconEnterBoot(Station& st);

struct ZirconBootCommand {
  ZirconBootOutcome boot;
  // Set when "Gravar automaticamente" went on to the write.
  std::optional<WriteOutcome> write;
};

// "Sensor Zircon ou Zircon Box - Modo Atualização (Boot)".
ZirconBootCommand SensorZirconEnterBoot(Station& st);
void btnSensorZirconEntraEmBootClick(Station& st);

}  // namespace bq
