// bootquarn-cli loop FILE [--port P] [--max K] [--json]: "Loop Atualizar".
// Watches the port for Sensor Zircon accessories and writes into each new one
// the file of its serial number, named after FILE's "_NS" pattern, until
// Ctrl+C (the loop's cancel) or until K devices have been met.
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "app/production_commands.h"
#include "cli/bench_loop.h"
#include "cli/bench_write.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"
#include "cli/write_report.h"

namespace bq::cli {
namespace {

struct LoopOptions {
  SessionOptions session;
  std::string file;
  int max = 0;
  std::vector<std::string> ports;  // --ports: one loop per port
};

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

int RunLoop(CliSession& session, const LoopOptions& options, LoopOutcome& outcome) {
  Station& st = session.station();
  ConsoleOperator& ui = session.ui();
  if (std::filesystem::path(options.file).filename().string().find("_NS") == std::string::npos) {
    ui.ShowErrorBox("Arquivo sem \"_NS\" no nome [" + options.file + "]");
    return kExitUsage;
  }
  session.CancelOnInterrupt();
  // Ctrl+C cancels the write under way and ends the loop at its turn's end.
  ui.SetProcessMessagesHook([&session, &st] {
    session.PressCancelOnInterrupt();
    if (session.Interrupted()) botCancelLoopAtualizarClick(st);
  });
  ui.EchoList(OperatorList::LoopSteps);
  const std::string file = Absolute(options.file);
  // The loop's file is the one the settings keep, as the window's field would be.
  session.ctx().settings.firmwareFile = file;

  LoopLimits limits;
  limits.maxDevices = options.max;
  limits.onDevice = [&session](const LoopDevice& d) {
    session.Human() << Fill(d.ok ? _("NS %1: written %2") : _("NS %1: NOT written %2"),
                            {std::to_string(d.serialNumber), d.file})
                    << '\n'
                    << std::flush;
  };
  {
    ElapsedTicker ticker(st);
    outcome = RunProductionLoop(st, file, limits);
  }
  if (outcome.ok()) return kExitOk;
  // A loop that never reached its port failed, however it was ended.
  if (!outcome.portOpened && outcome.devices.empty()) return kExitFailure;
  return session.Interrupted() ? kExitCancelled : kExitFailure;
}

nlohmann::json ReportJson(const LoopOutcome& outcome, int status) {
  nlohmann::json devices = nlohmann::json::array();
  for (const auto& d : outcome.devices) {
    devices.push_back({{"serialNumber", d.serialNumber}, {"file", d.file}, {"ok", d.ok}});
  }
  nlohmann::json out{{"ok", status == kExitOk}, {"turns", outcome.turns}, {"devices", devices}};
  if (outcome.portError) out["portError"] = *outcome.portError;
  return out;
}

}  // namespace

void AddLoopCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<LoopOptions>();
  auto* cmd = app.add_subcommand(
      "loop", _("Write each new accessory on the port with the file of its serial number"));
  cmd->add_option("FILE", options->file, _("A firmware file of the batch (..._NSnnnnnn.kfx)"))
      ->required();
  AddSessionOptions(cmd, options->session, true);
  cmd->add_option("--max", options->max, _("End after K devices were written or refused"))
      ->check(CLI::PositiveNumber);
  AddPortsOption(cmd, options->ports,
                 _("Run one loop per port, all at once, e.g. /dev/ttyUSB0,/dev/ttyUSB1"));
  cmd->callback([exitCode, options] {
    if (!options->ports.empty()) {
      CliSession session(BenchSessionOptions(options->session));
      nlohmann::json report = {{"ok", false}};
      const BenchLoopOptions loops{options->file, options->ports, options->max};
      *exitCode = session.Run([&] { return RunBenchLoop(session, loops, report); });
      if (session.json()) session.EmitJson(report);
      return;
    }
    CliSession session(options->session);
    LoopOutcome outcome;
    const int status = session.Run([&] { return RunLoop(session, *options, outcome); });
    if (session.json()) session.EmitJson(ReportJson(outcome, status));
    *exitCode = status;
  });
}

}  // namespace bq::cli
