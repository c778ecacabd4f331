#pragma once
// The operator's commands on the port list cbPortaSerial.

#include <functional>
#include <optional>
#include <string>

namespace bq {

struct Context;
class Station;

// The list opens: refill it from the ports present, keeping the selection.
void cbPortaSerialDropDown(Context& ctx);
// The operator chose an entry: it becomes the settings' port and is opened at the
// settings' rate. A port that does not open is not reported here; the next device
// operation reports its own failure.
void cbPortaSerialChange(Station& st);

// Shows the cable finder modally; returns its found name when it ended with OK.
using CableFinderRunner = std::function<std::optional<std::string>()>;
// "Qual Porta?": on OK selects the found port in the list (the first entry when it
// is not listed). Neither the settings nor the port change.
void btnDescobrirPortaSerialClick(Context& ctx, const CableFinderRunner& runFinder);
// The list refreshed, then the entry named (without regard to case) selected.
void SelectFoundPort(Context& ctx, const std::string& foundName);

}  // namespace bq
