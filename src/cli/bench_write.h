#pragma once
// bootquarn-cli write FILE --ports A,B,...: a production bench in one process.
// Each port is a station of its own that goes through "Conectar e &Gravar"
// with the one file; all of them run at once, and one that fails does not stop
// the others. On a terminal one line per station (port, state, percent, rate)
// is redrawn in place; otherwise one summary line per station is printed as it
// ends. Ctrl+C cancels every station at its next block.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_session.h"
#include "cli/write_report.h"

namespace bq::cli {

struct BenchWriteOptions {
  std::string file;
  std::vector<std::string> ports;
  DowngradeAnswer answer;
};

// The exit status: 0 when every station wrote its device, 130 after a cancel,
// 1 otherwise. report gets "ok", "file", "header" and "stations", one object
// per port as a single `write --json` gives it.
int RunBenchWrite(CliSession& session, const BenchWriteOptions& options, nlohmann::json& report);

// "A,B,C" as its ports; empty names are errors, and so is a port named twice.
// Empty with *error set when the list is not usable.
std::vector<std::string> SplitPortList(const std::string& list, std::string* error);

// The option --ports LIST of a bench command, into ports; it excludes --port.
void AddPortsOption(CLI::App* cmd, std::vector<std::string>& ports, const std::string& help);

// A bench run's session: --ports names every port, so none is chosen for it.
SessionOptions BenchSessionOptions(SessionOptions options);

}  // namespace bq::cli
