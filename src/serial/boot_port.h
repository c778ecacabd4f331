#pragma once
// The routines around the one serial port that every device operation uses.

#include <cstdint>
#include <string>

#include "serial/com_port.h"
#include "serial/timeouts.h"

namespace bq {

class OperatorInterface;

// Closes the port first when open (then waits 150 ms), prepares and opens it.
// Fails without a message; an empty name shows " Falta configurar porta".
bool OpenBootPort(TComPortGPS& port, OperatorInterface& ui, uint16_t baud,
                  const std::string& portName);
// Lets queued output drain (at most 11 waits of 100 ms, then until the line
// has sent it), discards unread input, then closes.
void CloseBootPort(TComPortGPS& port);
// One byte under the current time-outs, or false on a time-out or a closed port.
bool ReadByteTimed(TComPortGPS& port, uint8_t& byte);
// Applies a set's read values, keeping the port's write values.
void ApplyReadTimeouts(TComPortGPS& port, const Timeouts& set);

}  // namespace bq
