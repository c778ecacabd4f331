#pragma once
// The one line a finished write leaves behind: bytes written, time, rate and
// whether the device's memory was read back.

#include <string>
#include <vector>

#include "cli/console_operator.h"

namespace bq::cli {

std::string WriteSummary(const std::vector<ConsoleOperator::Phase>& phases);

// "1.7 KB/s", or "512 B/s" below one kilobyte a second.
std::string RateText(double bytesPerSecond);

}  // namespace bq::cli
