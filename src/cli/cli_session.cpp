#include "cli/cli_session.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>

#include "app/commands.h"
#include "app/startup.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"
#include "cli/stop_signals.h"
#include "serial/port_list.h"
#include "shell/ini_file.h"
#include "shell/settings.h"

namespace bq::cli {

namespace {

std::atomic<bool> gInterrupted{false};
// A Ctrl+C not yet turned into the cancel command.
std::atomic<bool> gCancelPending{false};

extern "C" void OnInterrupt(int) {
  gInterrupted.store(true);
  gCancelPending.store(true);
}

// A run's port list holds the one port it was told to use, as if the operator
// had typed it into the window's list.
class OnePortLister : public PortLister {
 public:
  void Use(std::string port) { port_ = std::move(port); }
  std::vector<std::string> ListPorts() override {
    return port_.empty() ? std::vector<std::string>{} : std::vector<std::string>{port_};
  }
  std::vector<std::string> ListPresentPorts() override { return ListPorts(); }

 private:
  std::string port_;
};

PortListing& Listing() {
  static PortListing listing;
  return listing;
}

std::vector<PortInfo> ListPortsForChoice() {
  if (Listing()) return Listing()();
  return MakeSystemPortLister()->DescribePorts();
}

// "  /dev/ttyUSB0  FTDI FT232R USB UART [0403:6001]" lines, or a line saying there is none.
std::string PortLines(const std::vector<PortInfo>& ports) {
  if (ports.empty()) return std::string("  ") + _("(no serial port found)") + "\n";
  std::string lines;
  for (const PortInfo& port : ports) lines += "  " + port.path + "  " + port.Description() + "\n";
  return lines;
}

}  // namespace

void SetPortListing(PortListing listing) {
  Listing() = std::move(listing);
}

PortInfo SoleUsbAdapter(const std::vector<PortInfo>& ports) {
  std::vector<PortInfo> adapters;
  for (const PortInfo& port : ports) {
    if (port.IsUsb()) adapters.push_back(port);
  }
  if (adapters.size() == 1) return adapters.front();
  std::string message =
      adapters.empty()
          ? std::string(_("No port was named and no USB serial adapter is attached. The serial "
                          "ports of this computer:"))
          : Fill(_("No port was named and %1 USB serial adapters are attached. The serial ports "
                   "of this computer:"),
                 {std::to_string(adapters.size())});
  message += "\n" + PortLines(ports);
  message +=
      _("Name the device's port with --port, e.g. --port /dev/ttyUSB0 (or in "
        "BOOTQUARN_PORT); 'bootquarn-cli scan' looks for the device on every port.");
  throw PortNotChosen(message);
}

CliSession::CliSession(const SessionOptions& options) : json_(options.json) {
  ui_.SetJsonMode(json_);
  auto lister = std::make_unique<OnePortLister>();
  OnePortLister& ports = *lister;
  ctx_ = std::make_unique<Context>(ui_, DefaultAppPaths(), std::move(lister));
  Context& c = *ctx_;
  station_ = std::make_unique<Station>(c, ui_);

  // As the window starts and first shows: data and log folders (a missing one
  // is announced), settings, product names, a fresh usage log, then the
  // controls filled from the settings.
  FormCreate(c);
  FollowUserLanguage();  // start-up set every category to "C"; messages follow the user
  // The port: --port, else BOOTQUARN_PORT, else the one in the settings, else
  // the one USB serial adapter attached.
  if (options.port) {
    c.settings.portName = *options.port;
  } else if (const char* env = std::getenv(kPortVariable); env && *env) {
    // The environment names the port of this run only; the settings keep theirs.
    settingsPortName_ = c.settings.portName;
    c.settings.portName = env;
  } else if (options.choosesPort &&
             (c.settings.portName.empty() || c.settings.portName == kDefaultPortName)) {
    // No port chosen yet: never the default port unasked, but the one adapter
    // attached, said aloud. Like the environment's, it is not kept.
    const PortInfo adapter = SoleUsbAdapter(ListPortsForChoice());
    std::cerr << Fill(_("Using %1 (%2), the one USB serial adapter attached; --port names "
                        "another."),
                      {adapter.path, adapter.Description()})
              << '\n'
              << std::flush;
    settingsPortName_ = c.settings.portName;
    c.settings.portName = adapter.path;
  }
  ports.Use(c.settings.portName);
  FormActivate(c);
}

CliSession::~CliSession() {
  if (!closed_) Close();
}

std::ostream& CliSession::Human() {
  return json_ ? std::cerr : std::cout;
}

void CliSession::EmitJson(const nlohmann::json& object) {
  // The report is the run's last word: the settings are saved first, so that
  // a failed save is among its warnings.
  if (!closed_) Close();
  nlohmann::json report = object;
  report["warnings"] = ui_.Warnings();
  std::cout << DumpJson(report) << '\n' << std::flush;
}

void CliSession::CancelOnInterrupt() {
  // Every Ctrl+C, and a request to terminate or a hang-up, stops the command
  // at its next step; the run still closes the port, saves the settings and
  // reports. A pending question is interrupted too.
  CatchSignals(kStopSignals, OnInterrupt);
  ui_.SetProcessMessagesHook([this] { PressCancelOnInterrupt(); });
}

void CliSession::PressCancelOnInterrupt() {
  // Ctrl+C presses "Cancel [ESC]" and also ends the command: a press that
  // lands before the programming starts must not be used up by the checks.
  if (gCancelPending.exchange(false)) RequestStop(*station_);
}

bool CliSession::Interrupted() const {
  return gInterrupted.load();
}

int CliSession::Run(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    ui_.ShowErrorBox(e.what());
    return kExitFailure;
  }
}

bool CliSession::Close() {
  if (closed_) return saved_;
  closed_ = true;
  if (settingsPortName_) {
    // Closing saves the list's port: the settings' own, not the environment's.
    ctx_->portList->Clear();
    ctx_->portList->Add(*settingsPortName_);
    ctx_->portList->Select(0);
  }
  saved_ = FormClose(*ctx_, *station_);
  return saved_;
}

std::string DumpJson(const nlohmann::json& object) {
  // File and port names are bytes, not always UTF-8: a byte that is not valid
  // text becomes U+FFFD instead of aborting the report.
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AddSessionOptions(CLI::App* cmd, SessionOptions& options, bool withPort) {
  cmd->add_flag("--json", options.json, _("Print one JSON object on stdout at the end"));
  options.choosesPort = withPort;
  if (withPort) {
    cmd->add_option_function<std::string>(
           "--port", [&options](const std::string& p) { options.port = p; },
           _("Serial port to use, e.g. /dev/ttyUSB0 (kept in the settings); without it, "
             "$BOOTQUARN_PORT, then the port in the settings, then the one USB serial "
             "adapter attached"))
        ->check(
            [](const std::string& p) {
              // The port is kept in the settings file, one line per key.
              if (p.empty()) return std::string(_("the port name is empty"));
              return FitsOnOneIniLine(p) ? std::string()
                                         : std::string(_("the port name holds a line break"));
            },
            _("single line"));
  }
}

}  // namespace bq::cli
