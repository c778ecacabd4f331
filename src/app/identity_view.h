#pragma once
// The identity group " Dados do Equipamento Conectado " of the main page.

#include "boot/boot_commands.h"
#include "boot/device_identity.h"

namespace bq {

class Station;

void ShowDeviceIdentity(Station& st, const DeviceIdentity& identity);
void ClearDeviceIdentity(Station& st);
// Remembers the boot-loader and hardware versions and shows them.
void ShowBootVersion(Station& st, const BootVersionInfo& info);
// After a boot-version request that was not answered: nothing is known.
void ForgetBootVersion(Station& st);
// Before a new identity read: the boot-loader version, hardware and baud rate
// shown from an earlier device show "x" until this read finds them again (the
// baud rate only when this read looks for it).
void ClearShownBootVersion(Station& st, bool baudRateToo);

}  // namespace bq
