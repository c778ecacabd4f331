// bootquarn-cli arvex-boot [--port P] [--json]: "Arvex - Modo Atualização ( Boot )",
// switching an Arvex bridge (or a Delmo) into its boot loader.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/accessory_boot.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"

namespace bq::cli {
namespace {

const char* AnswerName(ArvexAnswer answer) {
  switch (answer) {
    case ArvexAnswer::Bridge:
      return "bridge";
    case ArvexAnswer::VersionQuery:
      return "versionQuery";
    case ArvexAnswer::None:
      break;
  }
  return nullptr;
}

int EnterBoot(CliSession& session) {
  Station& st = session.station();
  ArvexBootOutcome outcome;
  const DeviceCommandRun run = RunDeviceCommand(
      session,
      [&] {
        outcome = ArvexEnterBoot(st);
        return outcome.answered != ArvexAnswer::None;
      },
      [&] {
        const std::string text =
            Fill(_("neither a bridge nor a version query answered on %1"), {st.portName});
        session.ui().ShowErrorBox(text);
        return text;
      });
  const char* answered = AnswerName(outcome.answered);
  if (run.ok) {
    session.Human() << Fill(_("Boot entry sent (%1 answered at %2 baud)"),
                            {answered, std::to_string(*outcome.baudRate)})
                    << '\n';
  }
  if (session.json()) {
    nlohmann::json report = {
        {"ok", run.ok},
        {"answered", answered ? nlohmann::json(answered) : nlohmann::json(nullptr)},
        {"baudRate", outcome.baudRate ? nlohmann::json(*outcome.baudRate) : nullptr},
        {"port", st.portName}};
    if (!run.ok) report["error"] = run.error;
    session.EmitJson(report);
  }
  return run.status;
}

}  // namespace

void AddArvexBootCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<SessionOptions>();
  auto* cmd = app.add_subcommand("arvex-boot",
                                 _("Switch an Arvex (or a Delmo) into boot mode (Arvex - Modo "
                                   "Atualização)"));
  AddSessionOptions(cmd, *options, true);
  cmd->callback([exitCode, options] {
    CliSession session(*options);
    *exitCode = EnterBoot(session);
  });
}

}  // namespace bq::cli
