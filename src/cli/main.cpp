// bootquarn-cli: the command-line front end over the core.

#include <clocale>
#include <vector>

#include "cli/cli_commands.h"
#include "app/startup.h"
#include "shell/utilities.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");  // numbers and dates never follow the user's locale
  CLI::App app{"BootQuarn: replaces the firmware of Quarn devices through their boot loader"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "bootquarn-cli " + bq::VersionText(bq::kProgramVersion),
                       "Print the program version and exit");

  int exitCode = bq::cli::kExitOk;
  const std::vector<bq::cli::CommandAdder> commands = {
      bq::cli::AddInfoCommand,
      bq::cli::AddPortsCommand,
      bq::cli::AddIdentifyCommand,
      bq::cli::AddResetCommand,
      bq::cli::AddEraseCommand,
      bq::cli::AddWriteCommand,
      bq::cli::AddGenerateCommand,
      bq::cli::AddKfxFileCommand,
      bq::cli::AddVerifyCommand,
      bq::cli::AddReadCommand,
      bq::cli::AddScanCommand,
      bq::cli::AddScanZirconCommand,
      bq::cli::AddAccessoryIdCommand,
      bq::cli::AddArvexBootCommand,
      bq::cli::AddZirconBootCommand,
      bq::cli::AddUpgradeZirconCommand,
      bq::cli::AddLoopCommand,
  };
  for (const auto& add : commands) add(app, &exitCode);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? bq::cli::kExitOk : bq::cli::kExitUsage;
  }
  return exitCode;
}
