// bootquarn-cli generate SOURCE --first N --end M [--json]: "Gera Varios KFX"
// from SOURCE: block folders of 100 serial numbers beside it, from N in steps
// of 100 below M, each with one KFX file per serial number.
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/kfx_generation.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"

namespace bq::cli {

namespace {

struct GenerateOptions {
  std::string source;
  int32_t first = 0;
  int32_t end = 0;
  SessionOptions session;
};

int RunGenerate(CliSession& session, const GenerateOptions& opt) {
  Context& ctx = session.ctx();
  // A stop request ends the batch before its next file.
  session.CancelOnInterrupt();
  session.ui().SetProcessMessagesHook([&session, &ctx] {
    session.PressCancelOnInterrupt();
    if (session.Interrupted()) ctx.batchStop = true;
  });
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(opt.source, ec).lexically_normal();
  const KfxBatchOutcome out =
      GenerateKfxBatch(ctx, {ec ? opt.source : absolute.string(), opt.first, opt.end});

  if (session.json()) {
    session.EmitJson({{"ok", out.ok() && !session.Interrupted()},
                      {"folders", out.folders},
                      {"files", out.files},
                      {"failed", out.failed},
                      {"cancelled", out.stopped || session.Interrupted()}});
  } else {
    for (const auto& folder : out.folders) session.Human() << folder << '\n';
    session.Human() << out.files << " arquivos gerados, " << out.failed.size()
                    << " pastas com falha\n";
  }
  if (out.stopped || session.Interrupted()) return kExitCancelled;
  return out.ok() ? kExitOk : kExitFailure;
}

}  // namespace

void AddGenerateCommand(CLI::App& app, int* exitCode) {
  auto opt = std::make_shared<GenerateOptions>();
  auto* cmd = app.add_subcommand(
      "generate", _("Write one KFX file per serial number, 100 to a folder, from a firmware file"));
  cmd->add_option("SOURCE", opt->source, _("Firmware file (.kfx or .hex) to copy"))->required();
  cmd->add_option("--first", opt->first, _("First serial number of the first block"))->required();
  cmd->add_option("--end", opt->end, _("Blocks start below this number"))->required();
  AddSessionOptions(cmd, opt->session, false);
  cmd->callback([exitCode, opt] {
    // The window's own fields may ask for no block at all; on the command
    // line such a range is a mistake, said before anything is touched.
    if (opt->end <= opt->first) {
      throw CLI::ValidationError(Fill(_("--end must be above --first (%1 is not above %2)"),
                                      {std::to_string(opt->end), std::to_string(opt->first)}));
    }
    CliSession session(opt->session);
    const int status = session.Run([&] { return RunGenerate(session, *opt); });
    session.Close();  // a failed save is a warning; the command's outcome stands
    *exitCode = status;
  });
}

}  // namespace bq::cli
