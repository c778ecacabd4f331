// bootquarn-cli write FILE [--port P] [--yes|--no] [--json]: chooses FILE as
// "&Procurar" does and presses "Conectar e &Gravar".
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/connect_flow.h"
#include "app/firmware_commands.h"
#include "cli/bench_write.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/header_view.h"
#include "cli/i18n.h"
#include "cli/port_hint.h"
#include "cli/write_report.h"
#include "cli/write_summary.h"
#include "serial/port_error.h"
#include "shell/utilities.h"

namespace bq::cli {
namespace {

struct WriteOptions {
  SessionOptions session;
  std::string file;
  DowngradeAnswer answer;
  std::vector<std::string> ports;  // --ports: a bench, one station per port
};

int RunWrite(CliSession& session, const WriteOptions& options, SeenDevice& seen,
             WriteOutcome& outcome, nlohmann::json& report) {
  Station& st = session.station();
  ConsoleOperator& ui = session.ui();
  ApplyDowngradeAnswer(ui, options.answer);
  WatchDevice(session, seen);

  // "&Procurar": a file that does not load is never offered to the device.
  if (!ChooseFirmwareFile(st.ctx, options.file, st.flowHeader)) return kExitFailure;
  PrintHeader(session.Human(), st.ctx.settings.firmwareFile, st.flowHeader);
  report["file"] = st.ctx.settings.firmwareFile;

  {
    ElapsedTicker ticker(st);
    try {
      outcome = ConnectAndProgram(st, true);
    } catch (const PortError& e) {
      ui.ShowErrorBox(e.what());
      const std::string hint = PortFailureHint(st.ComPortQuarn, st.portName);
      if (!hint.empty()) session.Human() << hint << '\n' << std::flush;
    }
  }
  // No rate answered on a port that opened: the system's box said "[ Modo Boot ]";
  // the port, the rates tried and what to check follow.
  if (!outcome.ok && !outcome.programming && !seen.identity && !st.foundBaudRate &&
      !session.Interrupted() && PortFailureHint(st.ComPortQuarn, st.portName).empty()) {
    ui.ShowErrorBox(NoAnswerAdvice(st));
  }
  report["header"] = HeaderJson(st.flowHeader);
  if (outcome.ok) session.Human() << WriteSummary(ui.Phases()) << '\n' << std::flush;
  if (ui.LastAnswer() == Answer::No) {
    session.Human() << _("Nothing was written: the device keeps its firmware");
    if (seen.identity) {
      session.Human() << ' ' << unsigned{seen.identity->firmwareVersion} << '.'
                      << ZeroPadded(2, seen.identity->firmwareRevision);
    }
    session.Human() << ".\n" << std::flush;
  }
  if (outcome.ok) return kExitOk;
  // A write stopped after its erase leaves the application gone or partial.
  if (outcome.programming && outcome.programming->eraseStarted) {
    session.Human() << _("The device holds no application now and stays in boot mode: write it "
                         "again.")
                    << '\n'
                    << std::flush;
  }
  return session.Interrupted() ? kExitCancelled : kExitFailure;
}

int RunBench(const WriteOptions& options) {
  CliSession session(BenchSessionOptions(options.session));
  nlohmann::json report = {{"ok", false}, {"file", options.file}};
  const BenchWriteOptions bench{options.file, options.ports, options.answer};
  const int code = session.Run([&] { return RunBenchWrite(session, bench, report); });
  if (session.json()) session.EmitJson(report);
  return code;
}

}  // namespace

void AddWriteCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<WriteOptions>();
  auto* cmd = app.add_subcommand(
      "write", _("Write a firmware file into the device on the port (\"Conectar e Gravar\")"));
  cmd->add_option("FILE", options->file, _("Firmware file (.kfx or .hex)"))->required();
  AddSessionOptions(cmd, options->session, true);
  AddDowngradeAnswerFlags(cmd, options->answer);
  AddPortsOption(
      cmd, options->ports,
      _("Write the devices on all of these ports at once, e.g. /dev/ttyUSB0,/dev/ttyUSB1"));

  cmd->callback([exitCode, options] {
    if (!options->ports.empty()) {
      *exitCode = RunBench(*options);
      return;
    }
    CliSession session(options->session);
    nlohmann::json report = {{"ok", false}, {"file", options->file}};
    SeenDevice seen;
    WriteOutcome outcome;
    const int code =
        session.Run([&] { return RunWrite(session, *options, seen, outcome, report); });
    session.station().onIdentityShown = nullptr;
    if (session.json()) {
      FinishWriteReport(session, report, code == kExitOk, seen, outcome);
      session.EmitJson(report);
    }
    *exitCode = code;
  });
}

}  // namespace bq::cli
