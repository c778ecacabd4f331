#pragma once
// The port list a scan subcommand walks: the ports named by --ports, in that
// order, or else the system's list as the window shows it.

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/context.h"
#include "cli/i18n.h"
#include "serial/port_list.h"

namespace bq::cli {

class NamedPorts : public PortLister {
 public:
  explicit NamedPorts(std::vector<std::string> ports) : ports_(std::move(ports)) {}
  std::vector<std::string> ListPorts() override { return ports_; }
  std::vector<std::string> ListPresentPorts() override { return ports_; }

 private:
  std::vector<std::string> ports_;
};

// The ports a scan was told to walk; unset without --ports.
struct ScanPortsOption {
  std::vector<std::string> names;
  CLI::Option* option = nullptr;
};

inline void AddPortsOption(CLI::App* cmd, ScanPortsOption& ports) {
  ports.option = cmd->add_option("--ports", ports.names,
                                 _("Ports to scan, in this order (default: the system's list)"))
                     ->delimiter(',');
}

// An empty name (as in --ports "") names no port.
inline void UseScanPorts(Station& st, const ScanPortsOption& ports) {
  if (!ports.option || ports.option->count() == 0) {
    st.ctx.portLister = MakeSystemPortLister();
    return;
  }
  std::vector<std::string> named;
  for (const auto& port : ports.names) {
    if (!port.empty()) named.push_back(port);
  }
  st.ctx.portLister = std::make_unique<NamedPorts>(std::move(named));
}

template <typename T>
nlohmann::json ValueOrNull(bool present, const T& value) {
  return present ? nlohmann::json(value) : nlohmann::json(nullptr);
}

}  // namespace bq::cli
