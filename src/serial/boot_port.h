#pragma once
// The main window's routines around ComPortQuarn that every device operation uses.

#include <cstdint>
#include <string>

#include "serial/timeouts.h"

namespace bq {

struct Context;

// Closes the port first when open (then waits 150 ms), prepares and opens it.
// Fails without a message; an empty name shows " Falta configurar porta".
bool OpenBootPort(Context& ctx, uint16_t baud, const std::string& portName);
// Lets queued output drain (at most 11 waits of 100 ms), then closes.
void CloseBootPort(Context& ctx);
// One byte under the current time-outs, or false on a time-out or a closed port.
bool ReadByteTimed(Context& ctx, uint8_t& byte);
// Applies a set's read values, keeping the port's write values.
void ApplyReadTimeouts(Context& ctx, const Timeouts& set);

}  // namespace bq
