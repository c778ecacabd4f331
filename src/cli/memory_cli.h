#pragma once
// What verify and read tell a shell user about a memory run that did not finish.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "app/memory_commands.h"
#include "cli/boot_cli.h"
#include "cli/i18n.h"
#include "programming/programming_plan.h"

namespace bq::cli {

// "0x" and six hex digits: flash addresses and the loader's EEPROM ones alike.
inline std::string AddressText(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", address);
  return text;
}

// The reason for a run that ended short of its end; shown on stderr.
// failedAddress names the block a ReadFailed run could not read.
inline std::string MemoryRunError(CliSession& session, MemoryRunResult result,
                                  std::optional<uint32_t> failedAddress = std::nullopt) {
  std::string error;
  switch (result) {
    case MemoryRunResult::NoBootLoader:
      error = ReportPortTrouble(session);
      if (error.empty()) {
        return NoBootLoaderAnswer(
            session, Fill(_("no boot loader answered on %1"), {session.station().portName}),
            !session.station().foundBaudRate);
      }
      return error;
    case MemoryRunResult::ReadFailed:
      error = failedAddress
                  ? Fill(_("the device gave no good reply to the read of %1 after %2 attempts"),
                         {AddressText(*failedAddress), std::to_string(kWriteAttempts)})
                  : _("the device stopped answering the memory reads");
      break;
    case MemoryRunResult::Cancelled:
      error = _("cancelled");
      break;
    case MemoryRunResult::FileFailed:
      return _("the firmware file did not load");  // the loader has said why
    default:
      return {};
  }
  session.ui().ShowErrorBox(error);
  return error;
}

}  // namespace bq::cli
