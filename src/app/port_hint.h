#pragma once
// Turns the reason a port would not open into advice for the operator; the
// command line and the window give the same words.

#include <string>

#include "serial/com_port.h"

namespace bq {

// Empty when the port's last open did not fail.
std::string PortFailureHint(const TComPortGPS& port, const std::string& portName);

}  // namespace bq
