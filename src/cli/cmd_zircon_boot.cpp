// bootquarn-cli zircon-boot [--port P] [--write FILE] [--yes|--no] [--json]:
// "Sensor Zircon ou Zircon Box - Modo Atualização (Boot)". With --write, FILE is
// chosen as "&Procurar" does and "Gravar automaticamente" is checked, so the
// firmware is written as soon as the accessory is in boot mode.
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "app/accessory_boot.h"
#include "app/firmware_commands.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/header_view.h"
#include "cli/i18n.h"
#include "cli/write_report.h"

namespace bq::cli {
namespace {

struct ZirconBootOptions {
  SessionOptions session;
  std::optional<std::string> file;
  DowngradeAnswer answer;
};

struct ZirconRun {
  ZirconBootCommand command;
  SeenDevice seen;
  nlohmann::json write = nullptr;  // the write report, with --write
};

int RunZirconBoot(CliSession& session, const ZirconBootOptions& options, ZirconRun& run) {
  Station& st = session.station();
  st.ctx.gravarSensorZirconAuto = options.file.has_value();
  if (options.file) {
    ApplyDowngradeAnswer(session.ui(), options.answer);
    WatchDevice(session, run.seen);
    run.write = {{"file", *options.file}};
    if (!ChooseFirmwareFile(st.ctx, *options.file, st.flowHeader)) return kExitFailure;
    PrintHeader(session.Human(), st.ctx.settings.firmwareFile, st.flowHeader);
    run.write["file"] = st.ctx.settings.firmwareFile;
    run.write["header"] = HeaderJson(st.flowHeader);
  }
  {
    ElapsedTicker ticker(st);
    run.command = SensorZirconEnterBoot(st);
  }
  if (!run.command.boot.entered) return kExitFailure;
  if (run.command.write && !run.command.write->ok) {
    return session.Interrupted() ? kExitCancelled : kExitFailure;
  }
  return kExitOk;
}

nlohmann::json ReportJson(CliSession& session, const ZirconRun& run, int status) {
  const ZirconBootOutcome& boot = run.command.boot;
  const bool entered = boot.entered;
  return {{"ok", status == kExitOk},
          {"bootEntered", entered},
          {"baudRate", entered ? nlohmann::json(boot.baudRate) : nlohmann::json(nullptr)},
          {"prefix", entered ? nlohmann::json(boot.prefixKE ? "KE" : "NK") : nullptr},
          {"port", session.ctx().portList->SelectedText()},
          {"write", run.write}};
}

}  // namespace

void AddZirconBootCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<ZirconBootOptions>();
  auto* cmd = app.add_subcommand(
      "zircon-boot",
      _("Switch a ZirconBox or Sensor Zircon into boot mode, optionally writing FILE"));
  AddSessionOptions(cmd, options->session, true);
  cmd->add_option("--write", options->file, _("Firmware file to write once in boot mode"));
  AddDowngradeAnswerFlags(cmd, options->answer);
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    ZirconRun run;
    const int status = session.Run([&] { return RunZirconBoot(session, *options, run); });
    session.station().onIdentityShown = nullptr;
    nlohmann::json write = run.write;
    if (options->file) {
      FinishWriteReport(session, write, run.command.write && run.command.write->ok, run.seen,
                        run.command.write.value_or(WriteOutcome{}));
      run.write = write;
    }
    if (session.json()) session.EmitJson(ReportJson(session, run, status));
    *exitCode = status;
  });
}

}  // namespace bq::cli
