#include "programming/connect_flow.h"

#include <chrono>
#include <string>
#include <thread>

#include "boot/boot_commands.h"
#include "boot/boot_connection.h"
#include "image/catalogue.h"
#include "image/firmware_loader.h"
#include "programming/program_device.h"
#include "serial/boot_port.h"
#include "shell/commands.h"
#include "shell/context.h"
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
  ResetRun(ctx);
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
  const FirmwareHeader& header = ctx.flowHeader;
  const unsigned fileVersion = header.version * 256u + header.revision;
  const unsigned deviceVersion = device.firmwareVersion * 256u + device.firmwareRevision;
  if (fileVersion >= deviceVersion) return true;

  ctx.ui.ShowStatus("Falha conexão!!", false);
  if (ctx.ui.Confirm(DowngradeQuestion(device, header)) == Answer::No) {
    ResetRun(ctx);
    return false;
  }
  return true;
}

std::string WrittenFirmwareName(const FirmwareHeader& header) {
  return ProductFilePrefix(header.productCode) + "_V" + std::to_string(header.version) + "_" +
         ZeroPadded(2, header.revision) + "_NS" + ZeroPadded(6, header.serialNumber);
}

void ReportSuccess(Context& ctx) {
  ctx.ui.ShowStatus("Operação Ok", true);
  PlainWait(100);
  ResetRun(ctx);
  if (ctx.prodComSom) PlaySoundNumber(ctx.paths, kSuccessSound);
  ++ctx.upgradeCounter;
  ShowUpgradeCounter(ctx);
  const std::string serial = std::to_string(ctx.flowHeader.serialNumber);
  ctx.ui.AddMemoLine(Memo::MemoUpgradeResumo, "Firmware gravado OK (NS" + serial + ")");
  ctx.ui.AddMemoLine(Memo::memoUpgradeAuto, "OK (NS" + serial + ")");
  AppendLogLine(ctx.ui, ctx.paths.productionLog,
                "Firmware gravado OK " + WrittenFirmwareName(ctx.flowHeader));
}

// Whatever ends the command, a port error included: the port is closed last.
class PortReleaser {
 public:
  explicit PortReleaser(Context& ctx) : ctx_(ctx) {}
  ~PortReleaser() {
    try {
      CloseBootPort(ctx_);
    } catch (const std::exception&) {
      // The error that ended the command is the one the operator sees.
    }
  }
  PortReleaser(const PortReleaser&) = delete;
  PortReleaser& operator=(const PortReleaser&) = delete;

 private:
  Context& ctx_;
};

// Holds the device command lock; on release the buttons come back, then the
// line gets a moment to settle before the port closes.
class CommandLock {
 public:
  explicit CommandLock(Context& ctx) : ctx_(ctx) { LockDeviceCommands(ctx_, true); }
  ~CommandLock() {
    try {
      LockDeviceCommands(ctx_, false);
    } catch (const std::exception&) {
      // Same as above: keep the first error.
    }
    PlainWait(300);
  }
  CommandLock(const CommandLock&) = delete;
  CommandLock& operator=(const CommandLock&) = delete;

 private:
  Context& ctx_;
};

}  // namespace

bool CheckAndProgram(Context& ctx, bool program) {
  ctx.cancelFlag = false;
  ctx.ui.SetProgressMin(0);
  ctx.ui.SetProgressPosition(0);
  ctx.ui.SetProgressMax(100);

  // A file that did not load completely must never reach the device: the loader
  // has told the operator why, and nothing is sent.
  if (!LoadAndShowFirmware(ctx, ctx.settings.firmwareFile, ctx.flowHeader)) return false;

  DeviceIdentity device;
  if (!ReadDeviceIdentity(ctx, device)) {
    ctx.ui.ShowErrorBox(kNoIdentityText);
    return false;
  }
  if (!ReadDeviceIdentity(ctx, device)) {
    ctx.ui.ShowErrorBox(kNoIdentityText);
    ResetRun(ctx);
    return false;
  }
  if (!Decide(ctx, device)) return false;

  ctx.options.highAddresses = HardwareHiAddress(ctx.identity.hardwareVersion);
  ctx.ui.SetCheck(Check::chkHiAdress, ctx.options.highAddresses);
  if (!program) return true;

  if (!ProgramDevice(ctx)) {
    ctx.ui.ShowErrorBox("Falha na gravação");
    return false;
  }
  ReportSuccess(ctx);
  return true;
}

bool ConnectAndProgram(Context& ctx, bool detectBaud) {
  PortReleaser port(ctx);
  IdentifyDevice(ctx, detectBaud, false);  // a missing device is reported by the checks
  CommandLock lock(ctx);
  return CheckAndProgram(ctx, ctx.gravaAuto);
}

void ShowUpgradeCounter(Context& ctx) {
  ctx.ui.SetField(Field::edContadorUpgrade, std::to_string(ctx.upgradeCounter));
}

void botConectarEGravarClick(Context& ctx) {
  ConnectAndProgram(ctx, true);
}

void botConectarUsoInternoClick(Context& ctx) {
  CheckAndProgram(ctx, false);
}

}  // namespace bq
