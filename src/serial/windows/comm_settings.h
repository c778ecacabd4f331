#pragma once
// The Windows serial back end's decisions, apart from the calls that act on
// them so that they can be tested anywhere the back end builds: the device
// name of a port, its DCB, its time-outs and what an error means.

#include <windows.h>

#include <cstdint>
#include <string>

#include "serial/com_port.h"

namespace bq::win32 {

// The name CreateFileW opens for a port: "COM5" and "com12" become
// "\\.\COM5" and "\\.\com12" (COM10 and above work only that way); a name that
// already starts with "\\" is kept.
std::wstring CommDeviceName(const std::string& port);

// The DCB for the line: raw 8N1 at the rate, no flow control of any kind, DTR
// and RTS held as their controls say.
void ApplyLineToDcb(const SerialBackend::LineSettings& line, DCB& dcb);

// Time-outs that make one ReadFile return at once with what has arrived, or
// wait up to waitMs for the first byte and return with it (0: never wait;
// MAXDWORD: wait without limit). The port's own time-out sets are applied
// around these calls, exactly as the POSIX back end applies them.
COMMTIMEOUTS ReadTimeouts(DWORD waitMs);
// The write time-outs of the port's set, one to one (0 and 0: no limit).
void ApplyWriteTimeouts(const Timeouts& t, COMMTIMEOUTS& timeouts);

// The errno value a failed open reports: a port another program holds gives
// ERROR_ACCESS_DENIED (or a sharing violation) and counts as busy.
int OpenErrno(DWORD error);
// A modem-line request the driver has no lines for (a virtual port, Wine on a
// pseudo-terminal): ignored, as on POSIX systems.
bool NoModemLines(DWORD error);
// An error after which the device is gone (an adapter pulled out).
bool DeviceGone(DWORD error);
// WaitCommEvent is not offered on this handle: fall back on polling.
bool NoCommEvents(DWORD error);

// The text of a Win32 error for PortError: its message and its number.
std::string PortErrorText(DWORD error);

}  // namespace bq::win32
