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
// Before a new identity read: the boot-loader version, hardware and baud rate
// shown from an earlier device show "x" until this read finds them again (the
// baud rate only when this read looks for it).
void ClearShownBootVersion(Context& ctx, bool baudRateToo);

}  // namespace bq
