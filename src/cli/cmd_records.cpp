// bootquarn-cli records sync [--json] [--timeout S]: sends the production
// records queued on this bench to the records server, and says how many still
// wait.
#include <chrono>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"
#include "records/record_store.h"
#include "shell/app_paths.h"

namespace bq::cli {

namespace {

struct SyncOptions {
  bool json = false;
  double timeout = 10;
};

int RunSync(const SyncOptions& o) {
  const AppPaths paths = DefaultAppPaths();
  records::RecordStore store(records::RecordsConfigFor(paths.dataRoot, paths.settingsFile));
  const auto budget = std::chrono::milliseconds(static_cast<int64_t>(o.timeout * 1000));
  const records::SyncReport report = store.Sync(budget);
  std::ostream& human = o.json ? std::cerr : std::cout;
  std::vector<std::string> warnings;
  if (!store.HasServer()) {
    const std::string text =
        Fill(_("No records server is named: set %1 or [%2] %3 in BootQuarn.Ini."),
             {records::kRecordsVariable, records::kRecordsSection, records::kRecordsServerKey});
    warnings.push_back(text);
    std::cerr << text << '\n';
  } else if (!report.warning.empty()) {
    warnings.push_back(report.warning);
    std::cerr << report.warning << '\n';
  }
  const std::string waiting = report.waiting < 0 ? "?" : std::to_string(report.waiting);
  if (store.HasServer()) {
    human << Fill(_("Sent %1 records to %2; %3 waiting."),
                  {std::to_string(report.sent), store.ServerName(), waiting})
          << '\n';
  } else {
    human << Fill(_("%1 records waiting in %2."), {waiting, store.LocalPath()}) << '\n';
  }
  if (o.json) {
    nlohmann::json object = {
        {"server", store.HasServer() ? nlohmann::json(store.ServerName()) : nlohmann::json()},
        {"file", store.LocalPath()},
        {"sent", report.sent},
        {"waiting", report.waiting < 0 ? nlohmann::json() : nlohmann::json(report.waiting)},
        {"warnings", warnings}};
    std::cout << DumpJson(object) << '\n' << std::flush;
  }
  return warnings.empty() ? kExitOk : kExitFailure;
}

}  // namespace

void AddRecordsCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("records", _("The production records of this bench"));
  cmd->require_subcommand(1);
  auto* sync =
      cmd->add_subcommand("sync", _("Send the records queued on this bench to the records server"));
  auto o = std::make_shared<SyncOptions>();
  sync->add_flag("--json", o->json,
                 _("Print {\"server\", \"file\", \"sent\", \"waiting\", \"warnings\"} on stdout"));
  sync->add_option("--timeout", o->timeout, _("Give up sending after this many seconds"))
      ->check(CLI::PositiveNumber);
  sync->callback([exitCode, o] {
    try {
      *exitCode = RunSync(*o);
    } catch (const std::exception& e) {
      std::cerr << Fill(_("Cannot send the production records: %1."), {e.what()}) << '\n';
      *exitCode = kExitFailure;
    }
  });
}

}  // namespace bq::cli
