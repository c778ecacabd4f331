// bootquarn-cli ports [--json]: the serial ports of this computer.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "serial/port_list.h"

namespace bq::cli {

void AddPortsCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("ports", "List the serial ports of this computer");
  auto json = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json, "Print {\"ports\": [...]} on stdout");
  cmd->callback([exitCode, json] {
    const std::vector<std::string> ports = MakeSystemPortLister()->ListPorts();
    if (*json) {
      std::cout << DumpJson({{"ports", ports}}) << '\n';
    } else {
      for (const std::string& port : ports) std::cout << port << '\n';
    }
    if (ports.empty()) std::cerr << "No serial port found.\n";
    *exitCode = kExitOk;
  });
}

}  // namespace bq::cli
