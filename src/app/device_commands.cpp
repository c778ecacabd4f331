#include "app/device_commands.h"

#include <algorithm>
#include <span>
#include <string>

#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/identity_view.h"
#include "boot/boot_commands.h"
#include "boot/boot_connection.h"
#include "serial/boot_port.h"

namespace bq {

bool DetectBootBaudRate(Context& ctx) {
  const BaudDetection found =
      bq::DetectBootBaudRate(ctx.link(), ctx.settings.portName, ctx.settings.baudRate);
  if (!found.rate) {
    if (found.probed) ForgetBootVersion(ctx);
    return false;
  }
  ShowBootVersion(ctx, found.version);
  ctx.settings.baudRate = *found.rate;
  if (!found.reopened) return false;
  ctx.foundBaudRate = *found.rate;
  ctx.ui.SetField(Field::edBaudRateAchado, std::to_string(*found.rate));
  return true;
}

bool ReadAndShowBootVersion(Context& ctx) {
  auto version = ReadBootVersion(ctx.link());
  if (!version) {
    ForgetBootVersion(ctx);
    return false;
  }
  ShowBootVersion(ctx, *version);
  return true;
}

bool IdentifyDevice(Context& ctx, bool detectBaud, bool quiet, DeviceIdentity& read) {
  if (detectBaud && !DetectBootBaudRate(ctx)) return false;
  auto identity = ReadDeviceIdentity(ctx.link());
  if (!identity) {
    if (!quiet) ctx.ui.ShowErrorBox("Equipamento não conectado!!");
    return false;
  }
  read = *identity;
  ShowDeviceIdentity(ctx, read);
  if (!ReadAndShowBootVersion(ctx)) {
    if (!quiet) ctx.ui.ShowMessage(" Erro le versao boot");
    return false;
  }
  read.bootLoaderVersion = ctx.identity.bootLoaderVersion;
  read.hardwareVersion = ctx.identity.hardwareVersion;
  return true;
}

bool IdentifyDevice(Context& ctx, bool detectBaud, bool quiet) {
  DeviceIdentity read;
  return IdentifyDevice(ctx, detectBaud, quiet, read);
}

bool ReadAttachedDevice(Context& ctx, DeviceIdentity& read) {
  DeviceCommandScope scope(ctx);
  ClearDeviceIdentity(ctx);
  ClearShownBootVersion(ctx, true);
  const bool identified = IdentifyDevice(ctx, true, false, read);
  CloseBootPort(ctx.ComPortQuarn);
  return identified;
}

void botLeNSClick(Context& ctx) {
  DeviceIdentity read;
  ReadAttachedDevice(ctx, read);
}

bool RestartAttachedDevice(Context& ctx) {
  if (!DetectBootBaudRate(ctx)) return false;
  ResetRun(ctx.link());
  return true;
}

void botResetClick(Context& ctx) {
  RestartAttachedDevice(ctx);
}

bool EraseAttachedDevice(Context& ctx) {
  if (!OpenBootPort(ctx.ComPortQuarn, ctx.ui, ctx.settings.baudRate, ctx.settings.portName)) {
    return false;
  }
  const bool erased = EraseAll(ctx.link());
  ctx.ui.ShowMessage(erased ? "Ok erase !" : "Falha erase !");
  return erased;
}

void botEraseClick(Context& ctx) {
  EraseAttachedDevice(ctx);
}

void botGravaDebugClick(Context& ctx) {
  if (!OpenBootPort(ctx.ComPortQuarn, ctx.ui, ctx.settings.baudRate, ctx.settings.portName)) {
    return;
  }
  constexpr size_t kBlock = 128;
  // Blocks on both sides of the 64 KiB boundary and at the top of the flash.
  for (uint32_t address : {0x10000u, 0xFF00u, 0x1FF80u, 0xFF80u}) {
    std::span<const uint8_t> data(ctx.image->flash.data() + address, kBlock);
    const bool blank = std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0xFF; });
    if (ctx.options.smartWrite && blank) continue;  // an erased block needs no write
    if (!WriteVerifyFlashLong(ctx.link(), address, data)) {
      ctx.ui.ShowMessage("Falha gravação e verificação End " + std::to_string(address));
      return;
    }
  }
}

void botResetPicClick(Context& ctx) {
  ResetRun(ctx.link());
  CloseBootPort(ctx.ComPortQuarn);
}

void botAbre38400Click(Context& ctx) {
  if (!OpenBootPort(ctx.ComPortQuarn, ctx.ui, kFastBootRate, ctx.settings.portName)) {
    ctx.ui.ShowErrorBox("pane abertura");
  }
}

// Kept in the window, hidden or disabled, and deliberately empty: a serial number
// reaches a device only through its per-serial-number firmware file, and the product
// code only as the last step of a programming run.
void botGravaNsClick(Context&) {}
void botGravaNSProducaoClick(Context&) {}
void botGravaSomenteTipoProdutoClick(Context&) {}

}  // namespace bq
