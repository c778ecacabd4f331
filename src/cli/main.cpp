// bootquarn-cli: the command-line front end over the core.

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"
#include "shell/utilities.h"

namespace {

// CLI11's own words in the help (headings, badges, value types) in the user's language.
void TranslateHelpLabels(CLI::App& app) {
  using bq::_;
  auto formatter = app.get_formatter();
  for (const char* label :
       {"Usage", "OPTIONS", "SUBCOMMAND", "SUBCOMMANDS", "Positionals", "REQUIRED", "Env", "Needs",
        "Excludes", "TEXT", "UINT", "INT", "FLOAT", "BOOLEAN"}) {
    formatter->label(label, _(label));
  }
  app.option_defaults()->group(_("Options"));
}

// The commands' heading, and each command's help flag (made with the command,
// before the options' group had its name), at every level.
void NameCommandGroups(CLI::App& app) {
  using bq::_;
  for (CLI::App* command : app.get_subcommands({})) {
    command->group(_("Subcommands"));
    if (CLI::Option* help = command->get_help_ptr()) help->group(_("Options"));
    NameCommandGroups(*command);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");  // numbers and dates never follow the user's locale
  bq::cli::SetUpTranslations();
  using bq::_;
  CLI::App app{_("BootQuarn: replaces the firmware of Quarn devices through their boot loader")};
  TranslateHelpLabels(app);
  app.set_help_flag("-h,--help", _("Print this help message and exit"));
  app.require_subcommand(1);
  app.set_version_flag("--version", "bootquarn-cli " + bq::VersionText(bq::kProgramVersion),
                       _("Print the program version and exit"));

  int exitCode = bq::cli::kExitOk;
  const std::vector<bq::cli::CommandAdder> commands = {
      bq::cli::AddInfoCommand,          bq::cli::AddPortsCommand,     bq::cli::AddIdentifyCommand,
      bq::cli::AddResetCommand,         bq::cli::AddEraseCommand,     bq::cli::AddWriteCommand,
      bq::cli::AddGenerateCommand,      bq::cli::AddKfxFileCommand,   bq::cli::AddVerifyCommand,
      bq::cli::AddReadCommand,          bq::cli::AddScanCommand,      bq::cli::AddScanZirconCommand,
      bq::cli::AddAccessoryIdCommand,   bq::cli::AddArvexBootCommand, bq::cli::AddZirconBootCommand,
      bq::cli::AddUpgradeZirconCommand, bq::cli::AddLoopCommand,      bq::cli::AddHistoryCommand,
      bq::cli::AddRecordsCommand,
  };
  for (const auto& add : commands) add(app, &exitCode);
  NameCommandGroups(app);

  // The first word names the command; say which word was not understood.
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.empty() || word[0] == '-') continue;
    try {
      app.get_subcommand(word);
    } catch (const CLI::OptionNotFound&) {
      std::cerr << bq::cli::Fill(
                       _("bootquarn-cli: '%1' is not a command; run 'bootquarn-cli --help' "
                         "for the list."),
                       {word})
                << '\n';
      return bq::cli::kExitUsage;
    }
    break;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? bq::cli::kExitOk : bq::cli::kExitUsage;
  }
  return exitCode;
}
