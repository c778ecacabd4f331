// bootquarn-cli reset [--port P] [--json]: "Reseta", finding the boot loader and
// restarting the device into its application.
#include <memory>
#include <nlohmann/json.hpp>

#include "boot/boot_connection.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"

namespace bq::cli {
namespace {

int Reset(CliSession& session) {
  Context& ctx = session.ctx();
  bool restarted = false;
  const int status = session.Run([&] {
    restarted = RestartAttachedDevice(ctx);
    return restarted ? kExitOk : kExitFailure;
  });
  std::string error;
  if (restarted) {
    session.Human() << "Restart sent at " << ctx.settings.baudRate << " baud.\n";
  } else if (status == kExitFailure) {
    error = ReportPortTrouble(session);
    if (error.empty()) {
      error = "no boot loader answered on " + ctx.settings.portName;
      session.ui().ShowErrorBox(error + " (is it in boot mode?)");
    }
  }
  if (session.json()) {
    nlohmann::json out{{"ok", restarted}, {"port", ctx.settings.portName}};
    if (restarted) out["baudRate"] = ctx.settings.baudRate;
    if (!error.empty()) out["error"] = error;
    session.EmitJson(out);
  }
  return status;
}

}  // namespace

void AddResetCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("reset", "Restart the device into its firmware (Reseta)");
  auto options = std::make_shared<SessionOptions>();
  AddSessionOptions(cmd, *options, true);
  cmd->callback([exitCode, options] {
    CliSession session(*options);
    *exitCode = Reset(session);
  });
}

}  // namespace bq::cli
