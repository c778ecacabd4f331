#pragma once
// One run of a bootquarn-cli command, set up and closed down as the main
// window's start-up and close would: data folders, settings, product list and
// a fresh usage log at the start; the settings saved at the end.

#include <CLI/CLI.hpp>
#include <csignal>
#include <functional>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/station.h"
#include "cli/console_operator.h"
#include "serial/port_info.h"

namespace bq::cli {

// The environment variable naming the default port of a run.
inline constexpr const char* kPortVariable = "BOOTQUARN_PORT";
// The signals that stop a command instead of killing the program.
#ifdef SIGHUP
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
// Windows: Ctrl+C, and Ctrl+Break or the console window closing.
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGBREAK};
#endif

struct SessionOptions {
  bool json = false;
  // --port P: the port every device operation of this run opens.
  std::optional<std::string> port;
  // The command works on one device's port. When neither --port,
  // $BOOTQUARN_PORT nor the settings name one (they still hold the default),
  // the one USB serial adapter attached is used; with none or several the
  // run stops before any port is opened (PortNotChosen).
  bool choosesPort = false;
};

// A run that needs a port was given none and cannot tell which adapter is the
// device's; the message lists the ports. A usage error: CLI11 prints it and
// the program exits with the usage status.
class PortNotChosen : public CLI::ParseError {
 public:
  explicit PortNotChosen(std::string message)
      : CLI::ParseError("PortNotChosen", std::move(message), CLI::ExitCodes::RequiredError) {}
};

// The ports a run without a chosen port looks among: the system's unless
// replaced (a test's virtual adapters); an empty listing restores the system's.
using PortListing = std::function<std::vector<PortInfo>()>;
void SetPortListing(PortListing listing);

// The one USB serial adapter among ports; throws PortNotChosen, listing the
// ports, when there is none or more than one.
PortInfo SoleUsbAdapter(const std::vector<PortInfo>& ports);

class CliSession {
 public:
  explicit CliSession(const SessionOptions& options);
  // Saves the settings if Close was not called.
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  Context& ctx() { return *ctx_; }
  // The run's one station, on the port of --port, $BOOTQUARN_PORT or the settings.
  Station& station() { return *station_; }
  ConsoleOperator& ui() { return ui_; }
  bool json() const { return json_; }

  // Human-readable output: stdout, or stderr in JSON mode.
  std::ostream& Human();
  // The one JSON object of a --json run, on stdout, with "warnings": the
  // records the run could not keep (settings, log lines). Closes the session
  // first.
  void EmitJson(const nlohmann::json& object);

  // From now on Ctrl+C, SIGTERM and SIGHUP ask the running operation to stop
  // (as "Cancel [ESC]"), at its next pending-messages step; the command then
  // ends as a cancelled one.
  void CancelOnInterrupt();
  // Turns a Ctrl+C not yet acted on into the cancel command; for hooks that
  // replace the session's own pending-messages hook.
  void PressCancelOnInterrupt();
  bool Interrupted() const;

  // Runs a command body; an error that escapes it is shown in an error box
  // (the general error display) and gives the failure status.
  int Run(const std::function<int()>& body);

  // Closes the port and saves the settings as closing the window does, once;
  // later calls return the first outcome. False when the file could not be
  // written (a warning, already reported).
  bool Close();

 private:
  ConsoleOperator ui_;
  std::unique_ptr<Context> ctx_;
  std::unique_ptr<Station> station_;
  bool json_;
  bool closed_ = false;
  bool saved_ = false;  // the outcome of the one Close
  // The settings' port while the environment's or a found adapter is used;
  // it is the one saved.
  std::optional<std::string> settingsPortName_;
};

// One JSON object as text; never fails on names that are not UTF-8.
std::string DumpJson(const nlohmann::json& object);

// Adds --json and --port to a subcommand, filling options.
void AddSessionOptions(CLI::App* cmd, SessionOptions& options, bool withPort);

}  // namespace bq::cli
