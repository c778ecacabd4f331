#pragma once
// Keeping the port list cbPortaSerial in step with the ports present and with
// names the operator typed.

#include <string>

namespace bq {

class PortLister;
class PortListControl;

// A device path the operator typed (a virtual device, /dev/serial/by-id/...) is
// not among the system's listed ports. When name is such a path and the device
// exists, it is added to the list and selected; returns whether it was. Names
// of the system's own form (/dev/tty...) are never kept: unlisted, they are absent.
bool KeepTypedPort(PortListControl& list, const std::string& name);

// The list refreshed, keeping the selected entry (or a typed one) selected.
void RefreshKeepingSelection(PortLister& lister, PortListControl& list);

// The list refreshed, then the entry named (without regard to case) selected;
// the first entry when it is not listed.
void SelectFoundPort(PortLister& lister, PortListControl& list, const std::string& foundName);

}  // namespace bq
