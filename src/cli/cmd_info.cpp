// bootquarn-cli info FILE [--dump flash|eeprom] [--json]: opens a firmware
// file as "&Procurar" does and shows its header (and, on request, a dump).
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/firmware_commands.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/header_view.h"
#include "cli/i18n.h"
#include "image/catalogue.h"
#include "image/dump_view.h"
#include "image/firmware_loader.h"

namespace bq::cli {

namespace {

struct InfoOptions {
  std::string file;
  std::string dump;  // "", "flash" or "eeprom"
  SessionOptions session;
};

nlohmann::json HeaderJson(const std::string& file, bool loaded, const FirmwareHeader& h) {
  return {{"file", file},
          {"loaded", loaded},
          {"serialNumber", h.serialNumber},
          {"version", h.version},
          {"revision", h.revision},
          {"productCode", h.productCode},
          {"productName", ProductDisplayName(h.productCode)},
          {"memory", MemorySizeText(h.memory128K)}};
}

int RunInfo(CliSession& session, const InfoOptions& opt) {
  Context& ctx = session.ctx();
  FirmwareHeader header;
  const bool loaded = ChooseFirmwareFile(ctx, opt.file, header);
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(opt.file, ec).lexically_normal();
  const std::string file = ec ? opt.file : absolute.string();

  std::vector<std::string> dump;
  if (loaded && opt.dump == "flash") dump = FlashDumpLines(*ctx.image);
  if (loaded && opt.dump == "eeprom") dump = EepromDumpLines(*ctx.image);

  if (session.json()) {
    nlohmann::json out = HeaderJson(file, loaded, header);
    if (!opt.dump.empty()) out["dump"] = dump;
    session.EmitJson(out);
  } else if (loaded) {
    PrintHeader(session.Human(), file, header);
    for (const auto& line : dump) session.Human() << line << '\n';
  }
  return loaded ? kExitOk : kExitFailure;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int* exitCode) {
  auto opt = std::make_shared<InfoOptions>();
  auto* cmd =
      app.add_subcommand("info", _("Open a firmware file (.kfx or .hex) and show its header"));
  cmd->add_option("FILE", opt->file, _("Firmware file to open"))->required();
  cmd->add_option("--dump", opt->dump, _("Also list the flash (0x0800..0x1FFFF) or the EEPROM"))
      ->check(CLI::IsMember({"flash", "eeprom"}));
  AddSessionOptions(cmd, opt->session, false);
  cmd->callback([exitCode, opt] {
    CliSession session(opt->session);
    const int status = session.Run([&] { return RunInfo(session, *opt); });
    session.Close();  // a failed save is a warning; the command's outcome stands
    *exitCode = status;
  });
}

}  // namespace bq::cli
