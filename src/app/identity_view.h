#pragma once
// The identity group " Dados do Equipamento Conectado " of the main page.

#include "boot/boot_commands.h"
#include "boot/device_identity.h"

namespace bq {

struct Context;

void ShowDeviceIdentity(Context& ctx, const DeviceIdentity& identity);
void ClearDeviceIdentity(Context& ctx);
// Remembers the boot-loader and hardware versions and shows them.
void ShowBootVersion(Context& ctx, const BootVersionInfo& info);
// After a boot-version request that was not answered: nothing is known.
void ForgetBootVersion(Context& ctx);

}  // namespace bq
