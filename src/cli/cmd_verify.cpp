// bootquarn-cli verify FILE [--port P] [--json]: compares what the device holds
// with a firmware file, writing nothing.
#include <memory>
#include <nlohmann/json.hpp>

#include "app/memory_commands.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"
#include "cli/memory_cli.h"

namespace bq::cli {
namespace {

struct VerifyOptions {
  SessionOptions session;
  std::string file;
};

std::string BeyondReachText(uint32_t flashEnd) {
  return Fill(_("the file holds flash up to %1; read-back reaches only 0x00FFFF, so it cannot be "
                "verified"),
              {AddressText(flashEnd)});
}

int StatusOf(const VerifyOutcome& outcome) {
  if (outcome.result == MemoryRunResult::Ok) return kExitOk;
  return outcome.result == MemoryRunResult::Cancelled ? kExitCancelled : kExitFailure;
}

int Verify(CliSession& session, const VerifyOptions& options) {
  Station& st = session.station();
  session.CancelOnInterrupt();
  session.ui().SetVerifying(true);
  VerifyOutcome outcome;
  session.Run([&] {
    outcome = VerifyAttachedDevice(st, options.file);
    return kExitOk;
  });
  std::string error;
  if (outcome.result == MemoryRunResult::Ok) {
    session.Human() << Fill(outcome.eepromCompared
                                ? _("Device matches %1 (flash 0x000800..%2, EEPROM)")
                                : _("Device matches %1 (flash 0x000800..%2)"),
                            {options.file, AddressText(outcome.flashEnd)})
                    << '\n';
  } else if (outcome.result == MemoryRunResult::Differs) {
    session.Human() << Fill(_("Device differs from %1 at %2"),
                            {options.file, AddressText(*outcome.firstDifference)})
                    << '\n';
  } else if (outcome.result == MemoryRunResult::BeyondReach) {
    error = BeyondReachText(outcome.flashEnd);
    session.ui().ShowErrorBox(error);
  } else {
    error = MemoryRunError(session, outcome.result, outcome.failedAddress);
  }
  if (session.json()) {
    nlohmann::json out{{"ok", outcome.result == MemoryRunResult::Ok},
                       {"port", st.portName},
                       {"file", options.file},
                       {"eepromCompared", outcome.eepromCompared},
                       {"firstDifference", nullptr}};
    if (outcome.firstDifference) out["firstDifference"] = *outcome.firstDifference;
    if (!error.empty()) out["error"] = error;
    session.EmitJson(out);
  }
  return StatusOf(outcome);
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int* exitCode) {
  auto* cmd =
      app.add_subcommand("verify", _("Compare the device with a firmware file, writing nothing"));
  auto options = std::make_shared<VerifyOptions>();
  cmd->add_option("FILE", options->file, _("Firmware file (.kfx or .hex)"))->required();
  AddSessionOptions(cmd, options->session, true);
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    *exitCode = Verify(session, *options);
  });
}

}  // namespace bq::cli
