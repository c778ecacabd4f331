#include "app/identity_view.h"

#include <string>

#include "app/context.h"
#include "app/station.h"
#include "image/catalogue.h"

namespace bq {
namespace {

// The last entry of the product list; any greater code shows as "Indefinido".
constexpr int kLastProductEntry = kProductCount - 1;
constexpr int kUndefinedProductEntry = kProductUndefined;

}  // namespace

void ShowDeviceIdentity(Station& st, const DeviceIdentity& identity) {
  st.ui.SetField(Field::edNSLido, std::to_string(identity.serialNumber));
  st.ui.SetField(Field::edTpProduto, std::to_string(identity.productCode));
  st.ui.SetField(Field::edVerLido, std::to_string(identity.firmwareVersion));
  st.ui.SetField(Field::edRevLido, std::to_string(identity.firmwareRevision));
  const int code = identity.productCode;
  st.ui.SelectCombo(Combo::cbCodigoProdutoLido,
                    code <= kLastProductEntry ? code : kUndefinedProductEntry);
  if (st.onIdentityShown) st.onIdentityShown(identity);
  st.ui.ProcessMessages();
}

void ClearDeviceIdentity(Station& st) {
  for (Field f : {Field::edNSLido, Field::edTpProduto, Field::edVerLido, Field::edRevLido}) {
    st.ui.SetField(f, "x");
  }
  st.ui.SelectCombo(Combo::cbCodigoProdutoLido, kUndefinedProductEntry);
  st.ui.ProcessMessages();
}

void ShowBootVersion(Station& st, const BootVersionInfo& info) {
  st.identity.bootLoaderVersion = info.bootLoaderVersion;
  st.identity.hardwareVersion = info.hardwareVersion;
  const std::string text = FormatBootVersion(info.bootLoaderVersion);
  st.ui.SetField(Field::edVersaoBoot, text);
  st.ui.SetField(Field::edVersaoBootR2, text);
  st.ui.SetField(Field::edVerHard, std::to_string(info.hardwareVersion));
}

void ClearShownBootVersion(Station& st, bool baudRateToo) {
  for (Field f : {Field::edVersaoBoot, Field::edVersaoBootR2, Field::edVerHard}) {
    st.ui.SetField(f, "x");
  }
  if (baudRateToo) st.ui.SetField(Field::edBaudRateAchado, "x");
}

void ForgetBootVersion(Station& st) {
  st.identity.bootLoaderVersion = 0;
  st.identity.hardwareVersion = 0;
}

}  // namespace bq
