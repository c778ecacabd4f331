// bootquarn-cli reset [--port P] [--json]: "Reseta", finding the boot loader and
// restarting the device into its application.
#include <memory>
#include <nlohmann/json.hpp>

#include "app/device_commands.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"

namespace bq::cli {
namespace {

int Reset(CliSession& session) {
  Station& st = session.station();
  const DeviceCommandRun run = RunDeviceCommand(
      session, [&] { return RestartAttachedDevice(st); },
      [&] {
        return NoBootLoaderAnswer(session, Fill(_("no boot loader answered on %1"), {st.portName}),
                                  !st.foundBaudRate);
      });
  if (run.ok)
    session.Human() << Fill(_("Restart sent at %1 baud."), {std::to_string(st.baudRate)}) << '\n';
  if (session.json()) {
    nlohmann::json out{{"ok", run.ok}, {"port", st.portName}};
    if (run.ok) out["baudRate"] = st.baudRate;
    if (!run.error.empty()) out["error"] = run.error;
    session.EmitJson(out);
  }
  return run.status;
}

}  // namespace

void AddResetCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("reset", _("Restart the device into its firmware (Reseta)"));
  auto options = std::make_shared<SessionOptions>();
  AddSessionOptions(cmd, *options, true);
  cmd->callback([exitCode, options] {
    CliSession session(*options);
    *exitCode = Reset(session);
  });
}

}  // namespace bq::cli
