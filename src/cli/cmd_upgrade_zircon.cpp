// bootquarn-cli upgrade-zircon [FILE] [--port P] [--yes|--no] [--json]:
// "Abre arquivo e Upgrade ZirconBox". The accessory goes into boot mode, its
// serial number is read, and the file of that number (beside FILE, or beside
// the settings' last firmware file) is written into it.
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/production_commands.h"
#include "app/startup.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"
#include "cli/write_report.h"
#include "image/kfx_naming.h"

namespace bq::cli {
namespace {

struct UpgradeOptions {
  SessionOptions session;
  std::optional<std::string> file;
  DowngradeAnswer answer;
};

struct UpgradeRun {
  ZirconUpgradeOutcome outcome;
  SeenDevice seen;
};

// The settings' last file must name a serial number before the device is touched.
bool NamesASerialNumber(Station& st) {
  if (FileForSerial(st.ctx.settings.firmwareFile, 0)) return true;
  st.ui.ShowErrorBox("Arquivo sem \"NS\" no nome [" + st.ctx.settings.firmwareFile + "]");
  return false;
}

int RunUpgrade(CliSession& session, const UpgradeOptions& options, UpgradeRun& run) {
  Station& st = session.station();
  ApplyDowngradeAnswer(session.ui(), options.answer);
  if (options.file) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(*options.file, ec);
    st.ctx.settings.firmwareFile = ec ? *options.file : absolute.lexically_normal().string();
    AtualizaStatusBar(st.ctx);
  }
  if (!NamesASerialNumber(st)) return kExitFailure;
  WatchDevice(session, run.seen);
  session.ui().EchoList(OperatorList::UpgradeSteps);
  {
    ElapsedTicker ticker(st);
    run.outcome = botUpgradeZirconBoxClick(st);
  }
  if (run.outcome.ok()) return kExitOk;
  return session.Interrupted() ? kExitCancelled : kExitFailure;
}

template <typename T>
nlohmann::json OrNull(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json ReportJson(CliSession& session, const UpgradeRun& run, int status) {
  const ZirconUpgradeOutcome& outcome = run.outcome;
  nlohmann::json write = nullptr;
  if (outcome.write) {
    write = {{"file", OrNull(outcome.file)}};
    FinishWriteReport(session, write, outcome.ok(), run.seen, *outcome.write);
  }
  return {{"ok", status == kExitOk},
          {"serialNumber", OrNull(outcome.serialNumber)},
          {"file", OrNull(outcome.file)},
          {"lines", outcome.lines},
          {"write", write}};
}

}  // namespace

void AddUpgradeZirconCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<UpgradeOptions>();
  auto* cmd = app.add_subcommand(
      "upgrade-zircon",
      _("Put a ZirconBox into boot mode and write the firmware file of its serial number"));
  cmd->add_option("FILE", options->file,
                  _("A firmware file of the batch (..._NSnnnnnn.kfx); default: the last one used"));
  AddSessionOptions(cmd, options->session, true);
  AddDowngradeAnswerFlags(cmd, options->answer);
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    UpgradeRun run;
    const int status = session.Run([&] { return RunUpgrade(session, *options, run); });
    session.station().onIdentityShown = nullptr;
    if (session.json()) session.EmitJson(ReportJson(session, run, status));
    *exitCode = status;
  });
}

}  // namespace bq::cli
