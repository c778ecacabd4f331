// bootquarn-cli scan [--ports LIST] [--json]: "Procura Porta", looking on every
// port for a boot loader, then a Delmo, then an Arvex.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/port_scan.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/scan_cli.h"

namespace bq::cli {
namespace {

struct ScanOptions {
  SessionOptions session;
  ScanPortsOption ports;
};

int Scan(CliSession& session, const ScanOptions& options) {
  UseScanPorts(session.ctx(), options.ports);
  ScanOutcome outcome;
  const int status = session.Run([&] {
    outcome = ScanPorts(session.ctx());
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
                      {"baudRate", ValueOrNull(found, outcome.baudRate.value_or(0))},
                      {"portsScanned", outcome.portsListed}});
  }
  return status;
}

}  // namespace

void AddScanCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<ScanOptions>();
  auto* cmd = app.add_subcommand(
      "scan", "Find the port of a device in boot mode, a Delmo or an Arvex (Procura Porta)");
  AddSessionOptions(cmd, options->session, false);
  AddPortsOption(cmd, options->ports);
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    *exitCode = Scan(session, *options);
  });
}

}  // namespace bq::cli
