// bootquarn-cli read OUT [--port P] [--flash A:B] [--eeprom] [--force] [--json]:
// copies what the device holds into an Intel HEX file.
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/memory_commands.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"
#include "cli/memory_cli.h"
#include "image/hex_writer.h"

namespace bq::cli {
namespace {

struct ReadOptions {
  SessionOptions session;
  std::string out;
  uint32_t first = ApplicationStart;
  uint32_t last = kReadableFlashTop;
  bool eeprom = false;
  bool force = false;
};

// "A:B", each in decimal or 0x hex; empty when it is a readable range.
std::string ParseRange(const std::string& text, ReadOptions& options) {
  const size_t colon = text.find(':');
  try {
    if (colon == std::string::npos) throw std::invalid_argument(text);
    size_t end = 0;
    const unsigned long a = std::stoul(text.substr(0, colon), &end, 0);
    if (end != colon) throw std::invalid_argument(text);
    const std::string b_text = text.substr(colon + 1);
    const unsigned long b = std::stoul(b_text, &end, 0);
    if (end != b_text.size()) throw std::invalid_argument(text);
    if (a > b || b > kReadableFlashTop)
      return Fill(_("--flash %1: A:B with A <= B <= 0xFFFF"), {text});
    options.first = static_cast<uint32_t>(a);
    options.last = static_cast<uint32_t>(b);
  } catch (const std::logic_error&) {
    return Fill(_("--flash %1: expected A:B, e.g. 0x0800:0xFFFF"), {text});
  }
  return {};
}

std::string WriteOut(const ReadOptions& options, const FirmwareImage& image) {
  std::vector<HexSegment> segments = {FlashSegment(image, options.first, options.last)};
  if (options.eeprom) segments.push_back(EepromSegment(image, 0, kEepromSize - 1));
  auto error = WriteIntelHex(options.out, segments);
  return error ? Fill(_("cannot write %1: %2"), {options.out, HexWriteErrorText(*error)}) : "";
}

std::string ReadAndWrite(CliSession& session, const ReadOptions& options, int& status) {
  auto image = std::make_unique<FirmwareImage>();
  ReadOutcome read;
  status = session.Run([&] {
    read =
        ReadAttachedMemory(session.station(), options.first, options.last, options.eeprom, *image);
    return kExitOk;
  });
  if (read.result != MemoryRunResult::Ok) {
    status = read.result == MemoryRunResult::Cancelled ? kExitCancelled : kExitFailure;
    return MemoryRunError(session, read.result, read.failedAddress);
  }
  std::string error = WriteOut(options, *image);
  if (!error.empty()) {
    session.ui().ShowErrorBox(error);
    status = kExitFailure;
  }
  return error;
}

int Read(CliSession& session, const ReadOptions& options) {
  session.CancelOnInterrupt();
  std::string error;
  int status = kExitFailure;
  std::error_code ec;
  if (!options.force && std::filesystem::exists(std::filesystem::symlink_status(options.out, ec))) {
    error = Fill(_("%1 already exists; pass --force to replace it"), {options.out});
    session.ui().ShowErrorBox(error);
  } else {
    error = ReadAndWrite(session, options, status);
  }
  if (status == kExitOk) {
    session.Human() << Fill(options.eeprom ? _("Read flash %1..%2 and the EEPROM into %3")
                                           : _("Read flash %1..%2 into %3"),
                            {AddressText(options.first), AddressText(options.last), options.out})
                    << '\n';
  }
  if (session.json()) {
    nlohmann::json out{{"ok", status == kExitOk},   {"port", session.station().portName},
                       {"file", options.out},       {"flashFirst", options.first},
                       {"flashLast", options.last}, {"eeprom", options.eeprom}};
    if (!error.empty()) out["error"] = error;
    session.EmitJson(out);
  }
  return status;
}

}  // namespace

void AddReadCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("read", _("Copy the device's memory into an Intel HEX file"));
  auto options = std::make_shared<ReadOptions>();
  cmd->add_option("OUT", options->out, _("Intel HEX file to write"))->required();
  AddSessionOptions(cmd, options->session, true);
  cmd->add_option_function<std::string>(
      "--flash",
      [options](const std::string& text) {
        const std::string problem = ParseRange(text, *options);
        if (!problem.empty()) throw CLI::ValidationError(problem);
      },
      _("Flash range A:B to read (default 0x0800:0xFFFF)"));
  cmd->add_flag("--eeprom", options->eeprom, _("Also read the whole EEPROM"));
  cmd->add_flag("--force", options->force, _("Replace OUT if it exists"));
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    *exitCode = Read(session, *options);
  });
}

}  // namespace bq::cli
