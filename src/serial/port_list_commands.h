#pragma once
// The operator's commands on the port list cbPortaSerial.

#include <functional>
#include <optional>
#include <string>

namespace bq {

struct Context;
class PortListControl;

// The list opens: refill it from the ports present, keeping the selection.
void cbPortaSerialDropDown(Context& ctx);
// The operator chose an entry: it becomes the settings' port and is opened at the
// settings' rate. A port that does not open is not reported here; the next device
// operation reports its own failure.
void cbPortaSerialChange(Context& ctx);

// Shows the cable finder modally; returns its found name when it ended with OK.
using CableFinderRunner = std::function<std::optional<std::string>()>;
// "Qual Porta?": on OK selects the found port in the list (the first entry when it
// is not listed). Neither the settings nor the port change.
void btnDescobrirPortaSerialClick(Context& ctx, const CableFinderRunner& runFinder);
// The list refreshed, then the entry named (without regard to case) selected.
void SelectFoundPort(Context& ctx, const std::string& foundName);

// A device path the operator typed (a virtual device, /dev/serial/by-id/...) is
// not among the system's listed ports. When name is such a path and the device
// exists, it is added to the list and selected; returns whether it was. Names
// of the system's own form (/dev/tty...) are never kept: unlisted, they are absent.
bool KeepTypedPort(PortListControl& list, const std::string& name);

}  // namespace bq
