#include "app/connect_flow.h"

#include <chrono>
#include <string>
#include <thread>

#include "app/attempt_record.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/device_commands.h"
#include "app/firmware_commands.h"
#include "app/identity_view.h"
#include "app/program_device.h"
#include "app/station.h"
#include "boot/boot_commands.h"
#include "image/catalogue.h"
#include "image/kfx_naming.h"
#include "programming/programming_plan.h"
#include "shell/translation.h"
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

bool Refuse(Station& st, uint32_t hardware) {
  NoteResult(st, records::RecordResult::kRefused);
  ResetRun(st.link());
  st.ui.ShowStatus("Falha conexão!!", false);
  st.ui.ShowErrorBox("Este hard não aceita este soft\r\n\r\nHard =" + HardwareText(hardware) +
                     "\r\n" + "Soft Kfx =" + ProductText(st.flowHeader.productCode));
  return false;
}

// True when the firmware may go into the device; refusals are reported here.
bool Decide(Station& st, const DeviceIdentity& device) {
  const uint32_t hardware = st.identity.hardwareVersion;
  const bool fits = Fits(st.flowHeader, hardware);
  if (device.IsBlank()) return fits || Refuse(st, hardware);

  ShowDeviceIdentity(st, device);
  if (!fits) return Refuse(st, hardware);
  // An interrupted write is no newer program: it is written again without asking.
  if (device.HasNoApplication()) return true;
  const FirmwareHeader& header = st.flowHeader;
  const unsigned fileVersion = header.version * 256u + header.revision;
  const unsigned deviceVersion = device.firmwareVersion * 256u + device.firmwareRevision;
  if (fileVersion >= deviceVersion) return true;

  st.ui.ShowStatus("Falha conexão!!", false);
  if (st.ui.Confirm(DowngradeQuestion(device, header)) == Answer::No) {
    NoteResult(st, records::RecordResult::kDeclined);
    ResetRun(st.link());
    return false;
  }
  return true;
}

// Lets pending input run, then ends the flow if the operator asked to stop the
// command: the device goes back to its firmware untouched and the stop is
// reported as the engine reports a cancel.
bool StoppedBeforeErase(Station& st) {
  st.ui.ProcessMessages();
  if (!st.stopRequested) return false;
  NoteResult(st, records::RecordResult::kCancelled);
  if (st.ComPortQuarn.IsOpen()) ResetRun(st.link());
  st.ui.ShowMessage(" Cancelado");
  return true;
}

// The status line and the bar tell how the write ended, not its last phase.
void ShowEndOfFailedWrite(Station& st, const ProgrammingResult& result) {
  if (result.status == ProgrammingResult::Status::Cancelled) {
    NoteResult(st, records::RecordResult::kCancelled);
  } else {
    NoteFailure(st, std::nullopt, result.address, result.message);
  }
  st.ui.SetProgressMin(0);
  st.ui.SetProgressPosition(0);
  const bool cancelled = result.status == ProgrammingResult::Status::Cancelled;
  st.ui.ShowStatus(cancelled ? "Cancelado" : "Falha na gravação", false);
}

// The identity read failed: the status no longer speaks of the file.
void ReportNoIdentity(Station& st) {
  st.ui.ShowStatus("Falha na Leitura do NS", false);
  st.ui.ShowErrorBox(kNoIdentityText);
}

void ReportSuccess(Station& st) {
  NoteResult(st, records::RecordResult::kOk);
  st.ui.ShowStatus("Operação Ok", true);
  PlainWait(100);
  ResetRun(st.link());
  if (st.ctx.prodComSom) PlaySoundNumber(st.ctx.paths, kSuccessSound);
  CountUpgrade(st);
  const std::string serial = std::to_string(st.flowHeader.serialNumber);
  st.ui.Show(
      shown::ListLine{OperatorList::UpgradeSummary, "Firmware gravado OK (NS" + serial + ")"});
  st.ui.Show(
      shown::ListLine{OperatorList::UpgradeSteps, UpgradeAutoOkLine(st.flowHeader.serialNumber)});
  AppendLogLine(st.ui, st.ctx.paths.productionLog,
                "Firmware gravado OK " + SerialFirmwareName(st.flowHeader));
}

// The device as the identity and boot-version reads found it.
DeviceIdentity AsRead(const Station& st, DeviceIdentity device) {
  device.bootLoaderVersion = st.identity.bootLoaderVersion;
  device.hardwareVersion = st.identity.hardwareVersion;
  return device;
}

WriteOutcome CheckDeviceAndProgram(Station& st, bool program) {
  st.cancelFlag = false;
  st.ui.SetProgressMin(0);
  st.ui.SetProgressPosition(0);
  st.ui.SetProgressMax(100);

  // A file that did not load completely must never reach the device: the loader
  // has told the operator why, and nothing is sent.
  if (!LoadAndShowFirmware(st.ui, *st.image, st.FirmwareFile(), st.flowHeader)) return {};
  NoteFile(st, st.FirmwareFile(), st.flowHeader);
  // Nothing for the flash from ApplicationStart: the write would erase the
  // device's program and put none back. Refused before the device is touched.
  if (program && !HoldsApplication(*st.image)) {
    NoteResult(st, records::RecordResult::kRefused);
    st.ui.ShowStatus("Falha na gravação", false);
    st.ui.ShowErrorBox(
        _("This file holds no program: it has no flash data from 0x0800 up. "
          "Nothing was erased or written; the device keeps its firmware."));
    return {};
  }

  std::optional<DeviceIdentity> device = ReadDeviceIdentity(st.link());
  if (!device) {
    ReportNoIdentity(st);
    return {};
  }
  if (StoppedBeforeErase(st)) return {};
  device = ReadDeviceIdentity(st.link());
  if (!device) {
    ReportNoIdentity(st);
    ResetRun(st.link());
    return {};
  }
  NoteDevice(st, AsRead(st, *device));
  if (StoppedBeforeErase(st)) return {};
  if (st.identity.bootLoaderVersion == 0) {
    // The version read failed (its own message is shown): the hardware number
    // is unknown, so this is a failed connection, not a board to refuse.
    st.ui.ShowStatus("Falha conexão!!", false);
    return {};
  }
  if (!Decide(st, *device)) return {};

  st.options.highAddresses = HardwareHiAddress(st.identity.hardwareVersion);
  st.ui.Show(shown::HighAddresses{st.options.highAddresses});
  if (!program) {
    NoteResult(st, records::RecordResult::kOk);
    return {true, std::nullopt};
  }
  if (StoppedBeforeErase(st)) return {};

  const auto started = std::chrono::steady_clock::now();
  WriteOutcome outcome{false, ProgramDevice(st)};
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  outcome.elapsedHundredths = st.elapsedCounter.load();
  if (!outcome.programming->ok()) {
    ShowEndOfFailedWrite(st, *outcome.programming);
    st.ui.ShowErrorBox("Falha na gravação");
    return outcome;
  }
  ReportSuccess(st);
  outcome.ok = true;
  return outcome;
}

}  // namespace

WriteOutcome CheckAndProgram(Station& st, bool program) {
  AttemptRecord attempt(st, "write");
  return attempt.Run([&] { return CheckDeviceAndProgram(st, program); });
}

WriteOutcome ConnectAndProgram(Station& st, bool detectBaud) {
  AttemptRecord attempt(st, "write");
  return attempt.Run([&]() -> WriteOutcome {
    PortGuard port(st);
    ClearShownBootVersion(st, detectBaud);
    IdentifyDevice(st, detectBaud, false);  // a missing device is reported by the checks
    CommandLockGuard lock(st, 300);
    if (StoppedBeforeErase(st)) return {};
    return CheckAndProgram(st, st.ctx.gravaAuto);
  });
}

void CountUpgrade(Station& st) {
  std::lock_guard lock(st.ctx.upgradeCounterMutex);
  st.ui.Show(shown::UpgradeCount{++st.ctx.upgradeCounter});
}

void ResetUpgradeCounter(Station& st) {
  std::lock_guard lock(st.ctx.upgradeCounterMutex);
  st.ctx.upgradeCounter = 0;
  st.ui.Show(shown::UpgradeCount{0});
}

std::string UpgradeAutoOkLine(uint16_t serialNumber) {
  return "OK (NS" + std::to_string(serialNumber) + ")";
}

void botConectarEGravarClick(Station& st) {
  ConnectAndProgram(st, true);
}

void botConectarUsoInternoClick(Station& st) {
  CheckAndProgram(st, false);
}

}  // namespace bq
