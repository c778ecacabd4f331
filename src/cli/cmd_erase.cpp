// bootquarn-cli erase [--port P] [--baud R] [--yes] [--json]: "Erase", the
// whole-device erase of newer boot loaders. It asks first (--yes answers for a
// script) and finds the boot loader's rate itself unless --baud names it.
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/device_commands.h"
#include "boot/boot_connection.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"

namespace bq::cli {
namespace {

struct EraseOptions {
  SessionOptions session;
  // The rate of this run; the window uses the last rate found, which a fresh
  // command-line run only knows from the settings file.
  std::optional<uint16_t> baud;
  bool yes = false;
};

// Nothing is sent unless the operator agreed: --yes, or Yes typed on a terminal.
std::string RefusalToErase(CliSession& session, const EraseOptions& options) {
  if (options.yes) return {};
  ConsoleOperator& ui = session.ui();
  if (!ui.InputIsTerminal()) {
    std::string error =
        _("erase wipes the device's program memory; pass --yes to run it without a terminal");
    ui.ShowErrorBox(error);
    return error;
  }
  const std::string question =
      Fill(_("Erase the whole program memory of the device on %1?"), {session.station().portName});
  if (ui.Confirm(question) == Answer::Yes) return {};
  std::string error = _("not erased: the device keeps its firmware");
  session.Human() << error << '\n' << std::flush;
  return error;
}

// The rate the boot loader answers at: --baud, else found by asking it.
bool FindRate(Station& st, const EraseOptions& options) {
  if (options.baud) return true;
  return DetectBootBaudRate(st);
}

int Erase(CliSession& session, const EraseOptions& options) {
  Station& st = session.station();
  if (options.baud) st.baudRate = *options.baud;
  session.CancelOnInterrupt();  // also during the question
  DeviceCommandRun run;
  run.error = RefusalToErase(session, options);
  if (run.error.empty()) {
    bool answered = true;
    // No erase starts once a stop was asked for.
    run = RunDeviceCommand(
        session,
        [&] {
          return (answered = FindRate(st, options)) && !session.Interrupted() &&
                 EraseAttachedDevice(st);
        },
        [&] {
          const std::string& port = st.portName;
          return NoBootLoaderAnswer(
              session,
              Fill(answered ? _("the erase failed on %1") : _("no boot loader answered on %1"),
                   {port}),
              !answered);
        });
  }
  EndAsCancelledIfStopped(session, run);
  if (session.json()) {
    nlohmann::json out{{"ok", run.ok}, {"port", st.portName}, {"baudRate", st.baudRate}};
    if (!run.error.empty()) out["error"] = run.error;
    session.EmitJson(out);
  }
  return run.status;
}

}  // namespace

void AddEraseCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("erase", _("Erase the device's whole program memory (Erase)"));
  auto options = std::make_shared<EraseOptions>();
  AddSessionOptions(cmd, options->session, true);
  cmd->add_option_function<uint16_t>(
         "--baud", [options](const uint16_t& rate) { options->baud = rate; },
         _("Boot loader's rate (default: found by asking the boot loader)"))
      ->check(CLI::IsMember({kSlowBootRate, kFastBootRate}));
  cmd->add_flag("--yes", options->yes, _("Erase without asking (needed without a terminal)"));
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    *exitCode = Erase(session, *options);
  });
}

}  // namespace bq::cli
