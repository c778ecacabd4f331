#include "app/production_commands.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "app/accessory_boot.h"
#include "app/attempt_record.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/device_commands.h"
#include "app/identity_view.h"
#include "app/kfx_generation.h"
#include "app/station.h"
#include "serial/boot_port.h"
#include "shell/translation.h"
#include "shell/utilities.h"

namespace bq {
namespace {

// Between the boot entry and the identity read: the boot loader starts up.
constexpr std::chrono::milliseconds kLoaderStartUp{1500};

void AddLine(Station& st, ZirconUpgradeOutcome& outcome, const std::string& line) {
  st.ui.Show(shown::ListLine{OperatorList::UpgradeSteps, line});
  outcome.lines.push_back(line);
}

// The serial number of the device now in boot mode, read quietly after
// finding its boot loader's rate. The port stays open at that rate.
std::optional<int32_t> ReadBootSerial(Station& st) {
  ClearDeviceIdentity(st);
  DeviceIdentity read;
  if (!IdentifyDevice(st, true, true, read)) return std::nullopt;
  return read.serialNumber;
}

}  // namespace

std::string FileKindText(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  switch (fs::status(file, ec).type()) {
    case fs::file_type::directory:
      return _("is a folder, not a file");
    case fs::file_type::fifo:
      return _("is a FIFO, not a file");
    case fs::file_type::character:
    case fs::file_type::block:
      return _("is a device, not a file");
    case fs::file_type::socket:
      return _("is a socket, not a file");
    default:
      return {};
  }
}

std::optional<std::string> ReportUnreadableFile(Station& st, const std::string& file) {
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(file, ec);
  errno = 0;
  if (regular && std::ifstream(file, std::ios::binary).is_open()) return std::nullopt;
  const int err = regular ? errno : (ec ? ec.value() : ENOENT);
  std::string reason = regular ? std::string() : FileKindText(file);
  if (reason.empty()) reason = err == 0 ? "não é um arquivo comum" : ErrnoText(err);
  const std::string text = "Erro abrindo arquivo [" + file + "] =" + reason;
  st.ui.ShowErrorBox(text);
  return text;
}

namespace {

ZirconUpgradeOutcome UpgradeZirconBox(Station& st) {
  ZirconUpgradeOutcome outcome;
  st.ui.Show(shown::ListCleared{OperatorList::UpgradeSteps});
  AddLine(st, outcome, "Inicia Upgrade");
  st.ctx.gravarSensorZirconAuto = true;
  st.ui.Show(shown::ZirconAutoWrite{true});

  outcome.bootEntered = ZirconEnterBoot(st).entered;
  if (!outcome.bootEntered) {
    AddLine(st, outcome, "Falha Boot");
    NoteFailure(st, std::nullopt, std::nullopt, "Falha Boot");
    return outcome;
  }
  std::this_thread::sleep_for(kLoaderStartUp);
  PortGuard port(st);  // the write goes on at the rate found; every other end closes
  outcome.serialNumber = ReadBootSerial(st);
  if (!outcome.serialNumber) {
    AddLine(st, outcome, "Falha NS");
    NoteFailure(st, std::nullopt, std::nullopt, "Falha NS");
    return outcome;
  }
  const std::string ns = "NS=" + std::to_string(*outcome.serialNumber);
  AddLine(st, outcome, ns);

  outcome.file = KfxFileForSerial(st.ctx, *outcome.serialNumber);
  if (!outcome.file) return outcome;  // the last file's name holds no "NS": already shown
  outcome.fileError = ReportUnreadableFile(st, *outcome.file);
  if (outcome.fileError) {
    NoteFailure(st, std::nullopt, std::nullopt, outcome.fileError);
    return outcome;
  }

  outcome.write = ConnectAndProgram(st, false);
  if (outcome.write->ok) outcome.lines.push_back(UpgradeAutoOkLine(st.flowHeader.serialNumber));
  AddLine(st, outcome, ns + (outcome.write->ok ? " grava Ok" : " PANE grava"));
  return outcome;
}

}  // namespace

ZirconUpgradeOutcome botUpgradeZirconBoxClick(Station& st) {
  AttemptRecord attempt(st, "upgrade-zircon");
  return attempt.Run([&] { return UpgradeZirconBox(st); });
}

void botLImpaMemoClick(Station& st) {
  st.ui.Show(shown::ListCleared{OperatorList::LoopSteps});
}

void BitBtn2Click(Station& st) {
  ResetUpgradeCounter(st);
  st.ui.Show(shown::ListCleared{OperatorList::UpgradeSteps});
  st.ui.Show(shown::ListCleared{OperatorList::UpgradeSummary});
}

void memoUpgradeAutoDblClick(Station& st) {
  st.ui.Show(shown::ListCleared{OperatorList::UpgradeSteps});
}

void botLogProducaoClick(Station& st) {
  const std::string folder = st.ctx.paths.productionLogDir;
  st.ui.ShowMessage("Vai abrir pasta dos Logs em " + folder);
  OpenFolderInExplorer(folder);
}

bool botResetaProducaoClick(Station& st) {
  return RestartAttachedDevice(st);
}

}  // namespace bq
