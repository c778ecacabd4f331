#include "app/accessory_boot.h"

#include <chrono>
#include <thread>

#include "app/accessory_probes.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "discovery/link_frame.h"
#include "serial/boot_port.h"

namespace bq {

namespace {

using std::chrono::milliseconds;

// Between the two Zircon speeds, under the lock.
constexpr milliseconds kZirconRetryPause{2000};
// Between a good boot entry and the automatic write: the loader starts up.
constexpr milliseconds kAutoWriteDelay{1500};

}  // namespace

ArvexBootOutcome ArvexEnterBoot(Context& ctx) {
  DeviceCommandScope scope(ctx);
  ArvexBootOutcome outcome;
  outcome.answered = SendArvexToBoot(ctx.link(), ctx.settings.portName);
  if (outcome.answered == ArvexAnswer::Bridge) outcome.baudRate = kBridgeBaud;
  if (outcome.answered == ArvexAnswer::VersionQuery) outcome.baudRate = kQxBaud;
  if (outcome.baudRate) RecordFoundRate(ctx, *outcome.baudRate);
  return outcome;
}

void botArvexBootClick(Context& ctx) {
  ArvexEnterBoot(ctx);
}

bool ZirconEnterBootAt(Context& ctx, uint16_t baud, bool prefixKE) {
  const uint16_t saved = ctx.settings.baudRate;
  ctx.settings.baudRate = baud;
  const std::string portName = ctx.portList->SelectedText();
  if (!OpenBootPort(ctx.ComPortQuarn, ctx.ui, baud, portName)) {
    ctx.ui.ShowErrorBox("Falha na abertura da porta serial =" + portName);
    ctx.settings.baudRate = saved;
    return false;
  }
  // The port closes first, then the rate comes back, then the buttons.
  CommandLockGuard lock(ctx, 0);
  BaudRateRestore restore(ctx, saved);
  PortGuard port(ctx);
  ctx.ui.ClearMemo(Memo::MemoRxDado);
  ctx.ui.ProcessMessages();
  const bool entered = ctx.arvexLink.EnterBoot(prefixKE);
  ctx.ui.AddMemoLine(Memo::MemoRxDado, entered ? "Boot ok" : "Falha Entra boot");
  return entered;
}

ZirconBootOutcome ZirconEnterBoot(Context& ctx) {
  ZirconBootOutcome outcome{false, static_cast<uint16_t>(kLinkBaudFast), true};
  outcome.entered = ZirconEnterBootAt(ctx, outcome.baudRate, outcome.prefixKE);
  if (outcome.entered) return outcome;
  {
    CommandLockGuard lock(ctx, 0);
    std::this_thread::sleep_for(kZirconRetryPause);
  }
  outcome = {false, static_cast<uint16_t>(kLinkBaudSlow), false};
  outcome.entered = ZirconEnterBootAt(ctx, outcome.baudRate, outcome.prefixKE);
  return outcome;
}

ZirconBootCommand SensorZirconEnterBoot(Context& ctx) {
  ZirconBootCommand command;
  command.boot = ZirconEnterBoot(ctx);
  if (!command.boot.entered) {
    ctx.ui.ShowErrorBox("Falha Boot");
    return command;
  }
  if (!ctx.gravarSensorZirconAuto) {
    ctx.ui.ShowMessage(
        "Sensor Zircon em Modo Boot.\r\nPara gravar use o botão [ Conectar e Gravar ]");
    return command;
  }
  std::this_thread::sleep_for(kAutoWriteDelay);
  command.write = ConnectAndProgram(ctx, true);
  return command;
}

void btnSensorZirconEntraEmBootClick(Context& ctx) {
  SensorZirconEnterBoot(ctx);
}

}  // namespace bq
