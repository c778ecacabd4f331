#pragma once
// Turns the reason a port would not open into advice for the operator at a shell.

#include <string>

#include "serial/com_port.h"

namespace bq::cli {

// Empty when the port's last open did not fail.
std::string PortFailureHint(const TComPortGPS& port, const std::string& portName);

}  // namespace bq::cli
