#include "app/identity_view.h"

#include <string>

#include "app/context.h"
#include "image/catalogue.h"

namespace bq {
namespace {

// The last entry of the product list; any greater code shows as "Indefinido".
constexpr int kLastProductEntry = kProductCount - 1;
constexpr int kUndefinedProductEntry = kProductUndefined;

}  // namespace

void ShowDeviceIdentity(Context& ctx, const DeviceIdentity& identity) {
  ctx.ui.SetField(Field::edNSLido, std::to_string(identity.serialNumber));
  ctx.ui.SetField(Field::edTpProduto, std::to_string(identity.productCode));
  ctx.ui.SetField(Field::edVerLido, std::to_string(identity.firmwareVersion));
  ctx.ui.SetField(Field::edRevLido, std::to_string(identity.firmwareRevision));
  const int code = identity.productCode;
  ctx.ui.SelectCombo(Combo::cbCodigoProdutoLido,
                     code <= kLastProductEntry ? code : kUndefinedProductEntry);
  if (ctx.onIdentityShown) ctx.onIdentityShown(identity);
  ctx.ui.ProcessMessages();
}

void ClearDeviceIdentity(Context& ctx) {
  for (Field f : {Field::edNSLido, Field::edTpProduto, Field::edVerLido, Field::edRevLido}) {
    ctx.ui.SetField(f, "x");
  }
  ctx.ui.SelectCombo(Combo::cbCodigoProdutoLido, kUndefinedProductEntry);
  ctx.ui.ProcessMessages();
}

void ShowBootVersion(Context& ctx, const BootVersionInfo& info) {
  ctx.identity.bootLoaderVersion = info.bootLoaderVersion;
  ctx.identity.hardwareVersion = info.hardwareVersion;
  const std::string text = FormatBootVersion(info.bootLoaderVersion);
  ctx.ui.SetField(Field::edVersaoBoot, text);
  ctx.ui.SetField(Field::edVersaoBootR2, text);
  ctx.ui.SetField(Field::edVerHard, std::to_string(info.hardwareVersion));
}

void ClearShownBootVersion(Context& ctx, bool baudRateToo) {
  for (Field f : {Field::edVersaoBoot, Field::edVersaoBootR2, Field::edVerHard}) {
    ctx.ui.SetField(f, "x");
  }
  if (baudRateToo) ctx.ui.SetField(Field::edBaudRateAchado, "x");
}

void ForgetBootVersion(Context& ctx) {
  ctx.identity.bootLoaderVersion = 0;
  ctx.identity.hardwareVersion = 0;
}

}  // namespace bq
