// bootquarn-cli erase [--port P] [--baud R] [--json]: "Erase", the whole-device
// erase of newer boot loaders, at the stored rate without detection.
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/device_commands.h"
#include "boot/boot_connection.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"

namespace bq::cli {
namespace {

struct EraseOptions {
  SessionOptions session;
  // The rate of this run; the window uses the last rate found, which a fresh
  // command-line run only knows from the settings file.
  std::optional<uint16_t> baud;
};

// A stored rate the boot loader never uses explains a silent device.
std::string UnusualRate(CliSession& session, uint16_t rate) {
  if (rate == kSlowBootRate || rate == kFastBootRate) return {};
  std::string error = "the boot loader talks at " + std::to_string(kSlowBootRate) + " or " +
                      std::to_string(kFastBootRate) + " baud, not " + std::to_string(rate) +
                      "; pass --baud";
  session.ui().ShowErrorBox(error);
  return error;
}

int Erase(CliSession& session, const EraseOptions& options) {
  Context& ctx = session.ctx();
  if (options.baud) ctx.settings.baudRate = *options.baud;
  const DeviceCommandRun run = RunDeviceCommand(
      session, [&] { return EraseAttachedDevice(ctx); },
      [&] { return UnusualRate(session, ctx.settings.baudRate); });
  if (session.json()) {
    nlohmann::json out{
        {"ok", run.ok}, {"port", ctx.settings.portName}, {"baudRate", ctx.settings.baudRate}};
    if (!run.error.empty()) out["error"] = run.error;
    session.EmitJson(out);
  }
  return run.status;
}

}  // namespace

void AddEraseCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("erase", "Erase the device's whole program memory (Erase)");
  auto options = std::make_shared<EraseOptions>();
  AddSessionOptions(cmd, options->session, true);
  cmd->add_option_function<uint16_t>(
         "--baud", [options](const uint16_t& rate) { options->baud = rate; },
         "Boot loader's rate (default: the stored rate)")
      ->check(CLI::IsMember({kSlowBootRate, kFastBootRate}));
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    *exitCode = Erase(session, *options);
  });
}

}  // namespace bq::cli
