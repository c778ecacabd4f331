// bootquarn-cli ports [--json] [-v]: the serial ports of this computer, with
// what the system knows about each.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"
#include "serial/port_list.h"

namespace bq::cli {

namespace {

nlohmann::json OrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

nlohmann::json PortJson(const PortInfo& port) {
  return {{"path", port.path},
          {"byId", OrNull(port.byId)},
          {"driver", OrNull(port.driver)},
          {"vendorId", OrNull(port.vendorId)},
          {"productId", OrNull(port.productId)},
          {"manufacturer", OrNull(port.manufacturer)},
          {"product", OrNull(port.product)},
          {"serial", OrNull(port.serial)}};
}

}  // namespace

void AddPortsCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("ports", _("List the serial ports of this computer"));
  auto json = std::make_shared<bool>(false);
  auto verbose = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json,
                _("Print {\"ports\": [{\"path\", \"byId\", \"driver\", \"vendorId\", "
                  "\"productId\", \"manufacturer\", \"product\", \"serial\"}, ...]} on stdout"));
  cmd->add_flag("-v,--verbose", *verbose, _("Also show each port's /dev/serial/by-id link"));
  cmd->callback([exitCode, json, verbose] {
    std::vector<PortInfo> ports;
    try {
      ports = PortsFromUdev(ReadUdevTtyDevices());
    } catch (const std::exception& e) {
      std::cerr << Fill(_("Cannot list the serial ports: %1."), {e.what()}) << '\n';
      *exitCode = kExitFailure;
      return;
    }
    if (*json) {
      nlohmann::json list = nlohmann::json::array();
      for (const PortInfo& port : ports) list.push_back(PortJson(port));
      std::cout << DumpJson({{"ports", list}}) << '\n';
    } else {
      for (const PortInfo& port : ports) {
        std::cout << port.path << "  " << port.Description();
        if (*verbose && !port.byId.empty()) std::cout << "  " << port.byId;
        std::cout << '\n';
      }
    }
    if (ports.empty()) std::cerr << _("No serial port found.") << '\n';
    *exitCode = kExitOk;
  });
}

}  // namespace bq::cli
