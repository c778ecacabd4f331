// bootquarn-cli info FILE: to be completed with the loader.
#include "cli/cli_commands.h"

namespace bq::cli {

void AddInfoCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("info", "Show a firmware file's header");
  cmd->callback([exitCode] { *exitCode = kExitFailure; });
}

}  // namespace bq::cli
