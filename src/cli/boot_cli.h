#pragma once
// What the boot subcommands (identify, reset, erase) tell a shell user beyond the
// operator's own messages.

#include <functional>
#include <ostream>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"
#include "cli/port_hint.h"

namespace bq::cli {

// Explains, on stderr, why the port would not open; returns the hint (empty when the
// port opened, or was never tried).
inline std::string ReportPortTrouble(CliSession& session) {
  Station& st = session.station();
  std::string hint = PortFailureHint(st.ComPortQuarn, st.portName);
  if (!hint.empty()) session.ui().ShowErrorBox(hint);
  return hint;
}

// How one device command went, with the reason to report when it failed.
struct DeviceCommandRun {
  int status = kExitFailure;
  bool ok = false;
  std::string error;  // empty on success
};

// Runs the command; when it fails, the reason is the port's trouble or, when
// the port opened, whatever `otherwise` says (it may show its own box).
// A stop request (Ctrl+C, SIGTERM, SIGHUP) that came while the command ran
// makes it a cancelled one, whatever it got done.
inline void EndAsCancelledIfStopped(CliSession& session, DeviceCommandRun& run) {
  if (!session.Interrupted()) return;
  run.status = kExitCancelled;
  run.ok = false;
  if (run.error.empty()) run.error = _("cancelled");
}

// Stop requests end the command at its next step instead of the program.
inline DeviceCommandRun RunDeviceCommand(CliSession& session, const std::function<bool()>& command,
                                         const std::function<std::string()>& otherwise) {
  session.CancelOnInterrupt();
  DeviceCommandRun run;
  run.status = session.Run([&] {
    run.ok = command();
    return run.ok ? kExitOk : kExitFailure;
  });
  if (!run.ok) {
    run.error = ReportPortTrouble(session);
    if (run.error.empty() && !session.Interrupted()) run.error = otherwise();
  }
  EndAsCancelledIfStopped(session, run);
  return run;
}

// The reason given when the port opened but no boot loader answered.
inline std::string NoBootLoaderAnswer(CliSession& session, const std::string& text) {
  session.ui().ShowErrorBox(Fill(_("%1 (is it in boot mode?)"), {text}));
  return text;
}

}  // namespace bq::cli
