#include "app/connect_flow.h"

#include <chrono>
#include <string>
#include <thread>

#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/device_commands.h"
#include "app/firmware_commands.h"
#include "app/identity_view.h"
#include "app/program_device.h"
#include "boot/boot_commands.h"
#include "image/catalogue.h"
#include "image/kfx_naming.h"
#include "shell/utilities.h"

namespace bq {
namespace {

constexpr const char* kNoIdentityText =
    "Falha na Leitura do NS\r\nAntes de iniciar a operação coloque o equipamento em [ Modo Boot ]";
constexpr uint32_t kHighestHardwareInSets = 31;

void PlainWait(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool Fits(const FirmwareHeader& header, uint32_t hardware) {
  return hardware <= kHighestHardwareInSets && ProductAcceptsHardware(header.productCode, hardware);
}

// Codes outside the tables have no name; the operator still learns which one it was.
std::string HardwareText(uint32_t hardware) {
  std::string name = HardwareName(hardware);
  return name.empty() ? "[hard " + ZeroPadded(2, static_cast<int32_t>(hardware)) + "]" : name;
}

std::string ProductText(uint8_t productCode) {
  std::string name = ProductDisplayName(productCode);
  return name.empty() ? std::to_string(productCode) : name;
}

std::string DowngradeQuestion(const DeviceIdentity& device, const FirmwareHeader& header) {
  return "O programa que você quer instalar é mais antigo que o da máquina.\r\nVersão máquina= " +
         std::to_string(device.firmwareVersion) + "." + std::to_string(device.firmwareRevision) +
         "  Versão para gravar= " + std::to_string(header.version) + "." +
         std::to_string(header.revision) + "\r\n" + "\r\n" + "Continua?";
}

bool Refuse(Context& ctx, uint32_t hardware) {
  ResetRun(ctx.link());
  ctx.ui.ShowStatus("Falha conexão!!", false);
  ctx.ui.ShowErrorBox("Este hard não aceita este soft\r\n\r\nHard =" + HardwareText(hardware) +
                      "\r\n" + "Soft Kfx =" + ProductText(ctx.flowHeader.productCode));
  return false;
}

// True when the firmware may go into the device; refusals are reported here.
bool Decide(Context& ctx, const DeviceIdentity& device) {
  const uint32_t hardware = ctx.identity.hardwareVersion;
  const bool fits = Fits(ctx.flowHeader, hardware);
  if (device.IsBlank()) return fits || Refuse(ctx, hardware);

  ShowDeviceIdentity(ctx, device);
  if (!fits) return Refuse(ctx, hardware);
  // An interrupted write is no newer program: it is written again without asking.
  if (device.HasNoApplication()) return true;
  const FirmwareHeader& header = ctx.flowHeader;
  const unsigned fileVersion = header.version * 256u + header.revision;
  const unsigned deviceVersion = device.firmwareVersion * 256u + device.firmwareRevision;
  if (fileVersion >= deviceVersion) return true;

  ctx.ui.ShowStatus("Falha conexão!!", false);
  if (ctx.ui.Confirm(DowngradeQuestion(device, header)) == Answer::No) {
    ResetRun(ctx.link());
    return false;
  }
  return true;
}

// Lets pending input run, then ends the flow if the operator asked to stop the
// command: the device goes back to its firmware untouched and the stop is
// reported as the engine reports a cancel.
bool StoppedBeforeErase(Context& ctx) {
  ctx.ui.ProcessMessages();
  if (!ctx.stopRequested) return false;
  if (ctx.ComPortQuarn.IsOpen()) ResetRun(ctx.link());
  ctx.ui.ShowMessage(" Cancelado");
  return true;
}

// The status line and the bar tell how the write ended, not its last phase.
void ShowEndOfFailedWrite(Context& ctx, const ProgrammingResult& result) {
  ctx.ui.SetProgressMin(0);
  ctx.ui.SetProgressPosition(0);
  const bool cancelled = result.status == ProgrammingResult::Status::Cancelled;
  ctx.ui.ShowStatus(cancelled ? "Cancelado" : "Falha na gravação", false);
}

// The identity read failed: the status no longer speaks of the file.
void ReportNoIdentity(Context& ctx) {
  ctx.ui.ShowStatus("Falha na Leitura do NS", false);
  ctx.ui.ShowErrorBox(kNoIdentityText);
}

void ReportSuccess(Context& ctx) {
  ctx.ui.ShowStatus("Operação Ok", true);
  PlainWait(100);
  ResetRun(ctx.link());
  if (ctx.prodComSom) PlaySoundNumber(ctx.paths, kSuccessSound);
  ++ctx.upgradeCounter;
  ShowUpgradeCounter(ctx);
  const std::string serial = std::to_string(ctx.flowHeader.serialNumber);
  ctx.ui.AddMemoLine(Memo::MemoUpgradeResumo, "Firmware gravado OK (NS" + serial + ")");
  ctx.ui.AddMemoLine(Memo::memoUpgradeAuto, UpgradeAutoOkLine(ctx.flowHeader.serialNumber));
  AppendLogLine(ctx.ui, ctx.paths.productionLog,
                "Firmware gravado OK " + SerialFirmwareName(ctx.flowHeader));
}

}  // namespace

WriteOutcome CheckAndProgram(Context& ctx, bool program) {
  ctx.cancelFlag = false;
  ctx.ui.SetProgressMin(0);
  ctx.ui.SetProgressPosition(0);
  ctx.ui.SetProgressMax(100);

  // A file that did not load completely must never reach the device: the loader
  // has told the operator why, and nothing is sent.
  if (!LoadAndShowFirmware(ctx, ctx.settings.firmwareFile, ctx.flowHeader)) return {};

  std::optional<DeviceIdentity> device = ReadDeviceIdentity(ctx.link());
  if (!device) {
    ReportNoIdentity(ctx);
    return {};
  }
  if (StoppedBeforeErase(ctx)) return {};
  device = ReadDeviceIdentity(ctx.link());
  if (!device) {
    ReportNoIdentity(ctx);
    ResetRun(ctx.link());
    return {};
  }
  if (StoppedBeforeErase(ctx)) return {};
  if (ctx.identity.bootLoaderVersion == 0) {
    // The version read failed (its own message is shown): the hardware number
    // is unknown, so this is a failed connection, not a board to refuse.
    ctx.ui.ShowStatus("Falha conexão!!", false);
    return {};
  }
  if (!Decide(ctx, *device)) return {};

  ctx.options.highAddresses = HardwareHiAddress(ctx.identity.hardwareVersion);
  ctx.ui.SetCheck(Check::chkHiAdress, ctx.options.highAddresses);
  if (!program) return {true, std::nullopt};
  if (StoppedBeforeErase(ctx)) return {};

  WriteOutcome outcome{false, ProgramDevice(ctx)};
  if (!outcome.programming->ok()) {
    ShowEndOfFailedWrite(ctx, *outcome.programming);
    ctx.ui.ShowErrorBox("Falha na gravação");
    return outcome;
  }
  ReportSuccess(ctx);
  outcome.ok = true;
  return outcome;
}

WriteOutcome ConnectAndProgram(Context& ctx, bool detectBaud) {
  PortGuard port(ctx);
  ClearShownBootVersion(ctx, detectBaud);
  IdentifyDevice(ctx, detectBaud, false);  // a missing device is reported by the checks
  CommandLockGuard lock(ctx, 300);
  if (StoppedBeforeErase(ctx)) return {};
  return CheckAndProgram(ctx, ctx.gravaAuto);
}

void ShowUpgradeCounter(Context& ctx) {
  ctx.ui.SetField(Field::edContadorUpgrade, std::to_string(ctx.upgradeCounter));
}

std::string UpgradeAutoOkLine(uint16_t serialNumber) {
  return "OK (NS" + std::to_string(serialNumber) + ")";
}

void botConectarEGravarClick(Context& ctx) {
  ConnectAndProgram(ctx, true);
}

void botConectarUsoInternoClick(Context& ctx) {
  CheckAndProgram(ctx, false);
}

}  // namespace bq
