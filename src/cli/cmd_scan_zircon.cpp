// bootquarn-cli scan-zircon [--ports LIST] [--json]: "Procura Porta ( Sensor Zircon ou
// Zircon Box )", looking on every port for a ZirconBox Amarelo, then a Sensor Zircon.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/port_scan.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/scan_cli.h"

namespace bq::cli {
namespace {

struct ScanZirconOptions {
  SessionOptions session;
  ScanPortsOption ports;
};

int ScanZircon(CliSession& session, const ScanZirconOptions& options) {
  UseScanPorts(session.ctx(), options.ports);
  ScanOutcome outcome;
  const int status = session.Run([&] {
    outcome = ScanZirconPorts(session.ctx());
    return outcome.result == ScanResult::None ? kExitFailure : kExitOk;
  });
  const bool found = status == kExitOk;
  session.Human() << "Result: " << ScanResultName(outcome.result)
                  << (found ? " on " + outcome.port : std::string()) << " (" << outcome.portsListed
                  << " ports scanned)\n";
  if (session.json()) {
    session.EmitJson({{"ok", found},
                      {"result", ScanResultName(outcome.result)},
                      {"port", ValueOrNull(found, outcome.port)},
                      {"baudRate", ValueOrNull(found, outcome.baudRate.value_or(0))}});
  }
  return status;
}

}  // namespace

void AddScanZirconCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<ScanZirconOptions>();
  auto* cmd =
      app.add_subcommand("scan-zircon", "Find the port of a ZirconBox Amarelo or a Sensor Zircon");
  AddSessionOptions(cmd, options->session, false);
  AddPortsOption(cmd, options->ports);
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    *exitCode = ScanZircon(session, *options);
  });
}

}  // namespace bq::cli
