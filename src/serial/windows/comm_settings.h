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
// A whole DCB for a port whose present state the driver cannot report (Wine
// on a pseudo-terminal left at a rate it has no name for): the line fields
// come from ApplyLineToDcb, the rest are Windows's own defaults.
DCB FreshDcb();
// Empty when the driver took the rate; otherwise the error's text. Some
// drivers take any rate and quietly set another (Wine sets 38400 for 4545):
// a line at the wrong rate talks to no device, so that is an error.
std::string RateProblem(DWORD wanted, DWORD taken);

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
// A read or write ended by its time-out. Windows reports that as success with
// fewer bytes; Wine as ERROR_TIMEOUT.
bool TimedOut(DWORD error);
// A pending WaitCommEvent that ended in an error without being interrupted:
// the driver gives no receive notification after all.
bool EventWaitEndedByDriver(DWORD error);
// GetCommState failed without the port being gone: the DCB is then built
// whole (FreshDcb) and SetCommState, which must succeed, is the judge.
bool StateUnreadable(DWORD error);

// The text of a Win32 error for PortError: its message and its number.
std::string PortErrorText(DWORD error);

}  // namespace bq::win32
