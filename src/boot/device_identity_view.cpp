// The identity group " Dados do Equipamento Conectado " of the main window.
#include <cstdio>
#include <string>

#include "boot/boot_commands.h"
#include "shell/context.h"

namespace bq {
namespace {

// The last entry with a name of its own; any greater code shows as "Indefinido".
constexpr int kLastProductEntry = 28;
constexpr int kUndefinedProductEntry = 27;

}  // namespace

std::string FormatBootVersion(uint32_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u", static_cast<unsigned>(version / 256),
                static_cast<unsigned>(version % 256));
  return text;
}

void ShowDeviceIdentity(Context& ctx, const DeviceIdentity& identity) {
  ctx.ui.SetField(Field::edNSLido, std::to_string(identity.serialNumber));
  ctx.ui.SetField(Field::edTpProduto, std::to_string(identity.productCode));
  ctx.ui.SetField(Field::edVerLido, std::to_string(identity.firmwareVersion));
  ctx.ui.SetField(Field::edRevLido, std::to_string(identity.firmwareRevision));
  const int code = identity.productCode;
  ctx.ui.SelectCombo(Combo::cbCodigoProdutoLido,
                     code <= kLastProductEntry ? code : kUndefinedProductEntry);
  ctx.ui.ProcessMessages();
}

void ClearDeviceIdentity(Context& ctx) {
  for (Field f : {Field::edNSLido, Field::edTpProduto, Field::edVerLido, Field::edRevLido}) {
    ctx.ui.SetField(f, "x");
  }
  ctx.ui.SelectCombo(Combo::cbCodigoProdutoLido, kUndefinedProductEntry);
  ctx.ui.ProcessMessages();
}

}  // namespace bq
