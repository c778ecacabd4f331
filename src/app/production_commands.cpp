#include "app/production_commands.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "app/accessory_boot.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/device_commands.h"
#include "app/identity_view.h"
#include "app/kfx_generation.h"
#include "serial/boot_port.h"
#include "shell/utilities.h"

namespace bq {
namespace {

// Between the boot entry and the identity read: the boot loader starts up.
constexpr std::chrono::milliseconds kLoaderStartUp{1500};

void AddLine(Context& ctx, ZirconUpgradeOutcome& outcome, const std::string& line) {
  ctx.ui.AddMemoLine(Memo::memoUpgradeAuto, line);
  outcome.lines.push_back(line);
}

// The serial number of the device now in boot mode, read quietly after
// finding its boot loader's rate. The port stays open at that rate.
std::optional<int32_t> ReadBootSerial(Context& ctx) {
  ClearDeviceIdentity(ctx);
  DeviceIdentity read;
  if (!IdentifyDevice(ctx, true, true, read)) return std::nullopt;
  return read.serialNumber;
}

}  // namespace

std::optional<std::string> ReportUnreadableFile(Context& ctx, const std::string& file) {
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(file, ec);
  errno = 0;
  if (regular && std::ifstream(file, std::ios::binary).is_open()) return std::nullopt;
  const int err = regular ? errno : (ec ? ec.value() : ENOENT);
  const std::string reason = err == 0 ? "não é um arquivo comum" : ErrnoText(err);
  const std::string text = "Erro abrindo arquivo [" + file + "] =" + reason;
  ctx.ui.ShowErrorBox(text);
  return text;
}

ZirconUpgradeOutcome botUpgradeZirconBoxClick(Context& ctx) {
  ZirconUpgradeOutcome outcome;
  ctx.ui.ClearMemo(Memo::memoUpgradeAuto);
  AddLine(ctx, outcome, "Inicia Upgrade");
  ctx.gravarSensorZirconAuto = true;
  ctx.ui.SetCheck(Check::chkGravarSensorZirconAuto, true);

  outcome.bootEntered = ZirconEnterBoot(ctx).entered;
  if (!outcome.bootEntered) {
    AddLine(ctx, outcome, "Falha Boot");
    return outcome;
  }
  std::this_thread::sleep_for(kLoaderStartUp);
  PortGuard port(ctx);  // the write goes on at the rate found; every other end closes
  outcome.serialNumber = ReadBootSerial(ctx);
  if (!outcome.serialNumber) {
    AddLine(ctx, outcome, "Falha NS");
    return outcome;
  }
  const std::string ns = "NS=" + std::to_string(*outcome.serialNumber);
  AddLine(ctx, outcome, ns);

  outcome.file = KfxFileForSerial(ctx, *outcome.serialNumber);
  if (!outcome.file) return outcome;  // the last file's name holds no "NS": already shown
  outcome.fileError = ReportUnreadableFile(ctx, *outcome.file);
  if (outcome.fileError) return outcome;

  outcome.write = ConnectAndProgram(ctx, false);
  if (outcome.write->ok) outcome.lines.push_back(UpgradeAutoOkLine(ctx.flowHeader.serialNumber));
  AddLine(ctx, outcome, ns + (outcome.write->ok ? " grava Ok" : " PANE grava"));
  return outcome;
}

void botLImpaMemoClick(Context& ctx) {
  ctx.ui.ClearMemo(Memo::memoLoop);
}

void BitBtn2Click(Context& ctx) {
  ctx.upgradeCounter = 0;
  ShowUpgradeCounter(ctx);
  ctx.ui.ClearMemo(Memo::memoUpgradeAuto);
  ctx.ui.ClearMemo(Memo::MemoUpgradeResumo);
}

void memoUpgradeAutoDblClick(Context& ctx) {
  ctx.ui.ClearMemo(Memo::memoUpgradeAuto);
}

void botLogProducaoClick(Context& ctx) {
  const std::string folder = ctx.paths.productionLogDir;
  ctx.ui.ShowMessage("Vai abrir pasta dos Logs em " + folder);
  OpenFolderInExplorer(folder);
}

bool botResetaProducaoClick(Context& ctx) {
  return RestartAttachedDevice(ctx);
}

}  // namespace bq
