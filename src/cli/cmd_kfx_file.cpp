// bootquarn-cli kfx-file N [--json]: the file of serial number N beside the
// settings' last firmware file (in the folder of N's block), which becomes the
// settings' firmware file whether or not it exists.
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/kfx_generation.h"
#include "app/production_commands.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"

namespace bq::cli {

namespace {

struct KfxFileOptions {
  int32_t serial = 0;
  SessionOptions session;
};

int RunKfxFile(CliSession& session, const KfxFileOptions& opt) {
  const std::optional<std::string> file = KfxFileForSerial(session.ctx(), opt.serial);
  std::error_code ec;
  const bool exists = file && std::filesystem::exists(*file, ec);
  // A folder, a FIFO or a device by that name is there, yet no firmware file.
  const std::string kind = exists ? FileKindText(*file) : std::string();
  if (session.json()) {
    nlohmann::json out{{"ok", file.has_value()}, {"file", file.value_or("")}, {"exists", exists}};
    if (!kind.empty()) out["problem"] = kind;
    session.EmitJson(out);
  } else if (file) {
    session.Human() << *file << (exists ? "" : "  (não existe)")
                    << (kind.empty() ? "" : "  (" + kind + ")") << '\n';
  }
  return file ? kExitOk : kExitFailure;
}

}  // namespace

void AddKfxFileCommand(CLI::App& app, int* exitCode) {
  auto opt = std::make_shared<KfxFileOptions>();
  auto* cmd = app.add_subcommand(
      "kfx-file", _("Name the firmware file of a serial number from the last firmware file"));
  cmd->add_option("N", opt->serial, _("Serial number (0 to 65535)"))
      ->required()
      ->check(
          [](const std::string& text) {
            // The device keeps 16 bits of serial number.
            try {
              size_t end = 0;
              const long long n = std::stoll(text, &end, 10);
              if (end == text.size() && n >= 0 && n <= 65535) return std::string();
            } catch (const std::logic_error&) {
            }
            return Fill(_("%1: a serial number is 0 to 65535"), {text});
          },
          _("0 to 65535"));
  AddSessionOptions(cmd, opt->session, false);
  cmd->callback([exitCode, opt] {
    CliSession session(opt->session);
    const int status = session.Run([&] { return RunKfxFile(session, *opt); });
    session.Close();  // a failed save is a warning; the command's outcome stands
    *exitCode = status;
  });
}

}  // namespace bq::cli
