#pragma once
// What the boot subcommands (identify, reset, erase) tell a shell user beyond the
// operator's own messages.

#include <functional>
#include <ostream>
#include <string>

#include "boot/boot_connection.h"
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

// The port opened and no boot loader answered at either rate: names the port
// and the rates in the order they were tried, and what to check.
inline std::string NoAnswerAdvice(const Station& st) {
  const bool slowFirst = st.baudRate == kSlowBootRate;
  const uint16_t first = slowFirst ? kSlowBootRate : kFastBootRate;
  const uint16_t second = slowFirst ? kFastBootRate : kSlowBootRate;
  return Fill(_("no answer on %1 at %2 or %3 baud"),
              {st.portName, std::to_string(first), std::to_string(second)}) +
         "\n" +
         _("Check that the device is in boot mode, then look for it with 'bootquarn-cli scan' "
           "or list the ports with 'bootquarn-cli ports'.");
}

// The reason given when the port opened but no boot loader answered; the
// advice follows when no rate answered at all.
inline std::string NoBootLoaderAnswer(CliSession& session, const std::string& text,
                                      bool noRateAnswered) {
  session.ui().ShowErrorBox(Fill(_("%1 (is it in boot mode?)"), {text}));
  if (noRateAnswered) session.ui().ShowErrorBox(NoAnswerAdvice(session.station()));
  return text;
}

}  // namespace bq::cli
