// bootquarn-cli scan [--ports LIST] [--json]: "Procura Porta", looking on every
// port for a boot loader, then a Delmo, then an Arvex; and scan-zircon, its
// twin for a ZirconBox Amarelo, then a Sensor Zircon.
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/port_scan.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"
#include "cli/scan_cli.h"

namespace bq::cli {
namespace {

struct ScanOptions {
  SessionOptions session;
  ScanPortsOption ports;
};

using ScanFunction = std::function<ScanOutcome(Station&)>;

int Scan(CliSession& session, const ScanOptions& options, const ScanFunction& scan,
         bool countPorts) {
  UseScanPorts(session.station(), options.ports);
  session.CancelOnInterrupt();  // a stop ends the walk before its next port
  ScanOutcome outcome;
  int status = session.Run([&] {
    outcome = scan(session.station());
    return outcome.result == ScanResult::None ? kExitFailure : kExitOk;
  });
  if (session.Interrupted()) status = kExitCancelled;
  const bool found = outcome.result != ScanResult::None;
  const std::string scanned = std::to_string(outcome.PortsScanned());
  session.Human() << (found ? Fill(_("Result: %1 on %2 (%3 ports scanned)"),
                                   {ScanResultName(outcome.result), outcome.port, scanned})
                            : Fill(_("Result: %1 (%2 ports scanned)"),
                                   {ScanResultName(outcome.result), scanned}))
                  << '\n';
  // Without a find, the not-found box has named them already.
  if (found) {
    for (const SkippedPort& skipped : outcome.skipped) {
      session.Human() << SkippedPortText(skipped) << '\n';
    }
  }
  if (session.json()) {
    nlohmann::json out{{"ok", status == kExitOk},
                       {"result", ScanResultName(outcome.result)},
                       {"port", ValueOrNull(found, outcome.port)},
                       {"baudRate", ValueOrNull(found, outcome.baudRate.value_or(0))}};
    if (countPorts) out["portsScanned"] = outcome.PortsScanned();
    nlohmann::json skipped = nlohmann::json::array();
    for (const SkippedPort& s : outcome.skipped) {
      skipped.push_back({{"port", s.port}, {"reason", s.reason}});
    }
    out["skipped"] = skipped;
    session.EmitJson(out);
  }
  return status;
}

void AddScan(CLI::App& app, int* exitCode, const char* name, const char* help, ScanFunction scan,
             bool countPorts) {
  auto options = std::make_shared<ScanOptions>();
  auto* cmd = app.add_subcommand(name, help);
  AddSessionOptions(cmd, options->session, false);
  AddPortsOption(cmd, options->ports);
  cmd->callback([exitCode, options, scan, countPorts] {
    CliSession session(options->session);
    *exitCode = Scan(session, *options, scan, countPorts);
  });
}

}  // namespace

void AddScanCommand(CLI::App& app, int* exitCode) {
  AddScan(
      app, exitCode, "scan",
      _("Find the port of a device in boot mode, a Delmo or an Arvex (Procura Porta)"),
      [](Station& st) { return ScanPorts(st); }, true);
}

void AddScanZirconCommand(CLI::App& app, int* exitCode) {
  AddScan(
      app, exitCode, "scan-zircon", _("Find the port of a ZirconBox Amarelo or a Sensor Zircon"),
      [](Station& st) { return ScanZirconPorts(st); }, false);
}

}  // namespace bq::cli
