#pragma once
// What the boot subcommands (identify, reset, erase) tell a shell user beyond the
// operator's own messages.

#include <ostream>
#include <string>

#include "cli/cli_session.h"
#include "cli/port_hint.h"

namespace bq::cli {

// Explains, on stderr, why the port would not open; returns the hint (empty when the
// port opened, or was never tried).
inline std::string ReportPortTrouble(CliSession& session) {
  Context& ctx = session.ctx();
  std::string hint = PortFailureHint(ctx.ComPortQuarn, ctx.settings.portName);
  if (!hint.empty()) session.ui().ShowErrorBox(hint);
  return hint;
}

}  // namespace bq::cli
