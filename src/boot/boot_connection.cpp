#include "boot/boot_connection.h"

#include <string>

#include "boot/boot_commands.h"
#include "boot/device_command_scope.h"
#include "serial/boot_port.h"
#include "shell/context.h"

namespace bq {
namespace {

constexpr uint16_t kSlowRate = 19200;
constexpr uint16_t kFastRate = 38400;

// Asks for the boot version at one rate under the short probe waits.
// Returns false at once when the port cannot be opened.
bool ProbeRate(Context& ctx, uint16_t rate, bool& opened) {
  opened = OpenBootPort(ctx, rate, ctx.settings.portName);
  if (!opened) return false;
  ApplyReadTimeouts(ctx, ProbeTimeouts);
  return ReadBootVersion(ctx);
}

}  // namespace

bool DetectBootBaudRate(Context& ctx) {
  const bool slowFirst = ctx.settings.baudRate == kSlowRate;
  for (uint16_t rate : {slowFirst ? kSlowRate : kFastRate, slowFirst ? kFastRate : kSlowRate}) {
    bool opened = false;
    if (ProbeRate(ctx, rate, opened)) {
      ctx.settings.baudRate = rate;
      // Reopening puts back the open's time-outs and clears the buffers.
      if (!OpenBootPort(ctx, rate, ctx.settings.portName)) return false;
      ctx.ui.SetField(Field::edBaudRateAchado, std::to_string(rate));
      return true;
    }
    if (!opened) return false;
  }
  return false;
}

bool IdentifyDevice(Context& ctx, bool detectBaud, bool quiet, DeviceIdentity& read) {
  if (detectBaud && !DetectBootBaudRate(ctx)) return false;
  if (!ReadDeviceIdentity(ctx, read)) {
    if (!quiet) ctx.ui.ShowErrorBox("Equipamento não conectado!!");
    return false;
  }
  ShowDeviceIdentity(ctx, read);
  if (!ReadBootVersion(ctx)) {
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
  const bool identified = IdentifyDevice(ctx, true, false, read);
  CloseBootPort(ctx);
  return identified;
}

void botLeNSClick(Context& ctx) {
  DeviceIdentity read;
  ReadAttachedDevice(ctx, read);
}

bool RestartAttachedDevice(Context& ctx) {
  if (!DetectBootBaudRate(ctx)) return false;
  ResetRun(ctx);
  return true;
}

void botResetClick(Context& ctx) {
  RestartAttachedDevice(ctx);
}

bool EraseAttachedDevice(Context& ctx) {
  if (!OpenBootPort(ctx, ctx.settings.baudRate, ctx.settings.portName)) return false;
  const bool erased = EraseAll(ctx);
  ctx.ui.ShowMessage(erased ? "Ok erase !" : "Falha erase !");
  return erased;
}

void botEraseClick(Context& ctx) {
  EraseAttachedDevice(ctx);
}

void botGravaDebugClick(Context& ctx) {
  if (!OpenBootPort(ctx, ctx.settings.baudRate, ctx.settings.portName)) return;
  // Blocks on both sides of the 64 KiB boundary and at the top of the flash.
  for (uint32_t address : {0x10000u, 0xFF00u, 0x1FF80u, 0xFF80u}) {
    if (!WriteVerifyFlashLong(ctx, address, 16)) {
      ctx.ui.ShowMessage("Falha gravação e verificação End " + std::to_string(address));
      return;
    }
  }
}

void botResetPicClick(Context& ctx) {
  ResetRun(ctx);
  CloseBootPort(ctx);
}

void botAbre38400Click(Context& ctx) {
  if (!OpenBootPort(ctx, kFastRate, ctx.settings.portName)) ctx.ui.ShowErrorBox("pane abertura");
}

// Kept in the window, hidden or disabled, and deliberately empty: a serial number
// reaches a device only through its per-serial-number firmware file, and the product
// code only as the last step of a programming run.
void botGravaNsClick(Context&) {}
void botGravaNSProducaoClick(Context&) {}
void botGravaSomenteTipoProdutoClick(Context&) {}

}  // namespace bq
