#include "app/identity_view.h"

#include <string>

#include "app/context.h"
#include "app/station.h"

namespace bq {
void ShowDeviceIdentity(Station& st, const DeviceIdentity& identity) {
  st.ui.Show(shown::DeviceIdentity{identity.serialNumber, identity.productCode,
                                   identity.firmwareVersion, identity.firmwareRevision});
  if (st.onIdentityShown) st.onIdentityShown(identity);
  st.ui.ProcessMessages();
}

void ClearDeviceIdentity(Station& st) {
  st.ui.Show(shown::DeviceIdentityCleared{});
  st.ui.ProcessMessages();
}

void ShowBootVersion(Station& st, const BootVersionInfo& info) {
  st.identity.bootLoaderVersion = info.bootLoaderVersion;
  st.identity.hardwareVersion = info.hardwareVersion;
  st.ui.Show(shown::BootVersion{info.bootLoaderVersion, info.hardwareVersion});
}

void ClearShownBootVersion(Station& st, bool baudRateToo) {
  st.ui.Show(shown::BootVersionCleared{baudRateToo});
}

void ForgetBootVersion(Station& st) {
  st.identity.bootLoaderVersion = 0;
  st.identity.hardwareVersion = 0;
}

}  // namespace bq
