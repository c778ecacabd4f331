#include "cli/write_summary.h"

#include <cstdio>

#include "cli/i18n.h"
#include "shell/utilities.h"

namespace bq::cli {
namespace {

bool StartsWith(const std::string& text, const char* head) {
  return text.rfind(head, 0) == 0;
}

// The operator's status texts name the phase: "Gravando ..." writes (the newer
// loaders' "Gravando e conferindo ..." reads each block back as it goes),
// "Verificando ..." reads the memory back.
bool Writes(const std::string& status) {
  return StartsWith(TrimBlanks(status), "Gravando");
}
bool Verifies(const std::string& status) {
  return StartsWith(TrimBlanks(status), "Verificando") ||
         status.find("conferindo") != std::string::npos;
}

std::string Seconds(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f s", seconds);
  return buf;
}

}  // namespace

std::string RateText(double bytesPerSecond) {
  char buf[32];
  if (bytesPerSecond >= 1024.0) {
    std::snprintf(buf, sizeof buf, "%.1f KB/s", bytesPerSecond / 1024.0);
  } else {
    std::snprintf(buf, sizeof buf, "%.0f B/s", bytesPerSecond);
  }
  return buf;
}

std::string WriteSummary(const std::vector<ConsoleOperator::Phase>& phases) {
  uint64_t written = 0;
  double writing = 0.0, total = 0.0;
  bool verified = false;
  for (const auto& phase : phases) {
    total += phase.seconds;
    verified = verified || Verifies(phase.status);
    if (!Writes(phase.status)) continue;
    written += phase.bytes;
    writing += phase.seconds;
  }
  const std::string rate = writing > 0.0 ? RateText(written / writing) : "-";
  return Fill(verified ? _("Wrote %1 bytes in %2 (%3), verified")
                       : _("Wrote %1 bytes in %2 (%3), not verified"),
              {std::to_string(written), Seconds(total), rate});
}

}  // namespace bq::cli
