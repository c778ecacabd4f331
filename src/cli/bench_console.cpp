#include "cli/bench_console.h"

#include <atomic>
#include <iostream>

#include "cli/i18n.h"

namespace bq::cli {
namespace {

std::mutex gScreen;
std::atomic<bool> gScreenMoved{false};

}  // namespace

std::mutex& BenchScreenMutex() {
  return gScreen;
}

bool TakeBenchScreenMoved() {
  return gScreenMoved.exchange(false);
}

const char* BenchStateText(StationState state) {
  switch (state) {
    case StationState::Waiting:
      return _("waiting");
    case StationState::Connecting:
      return _("connecting");
    case StationState::Erasing:
      return _("erasing");
    case StationState::Writing:
      return _("writing");
    case StationState::Verifying:
      return _("verifying");
    case StationState::Done:
      return _("done");
    case StationState::Refused:
      return _("refused");
    case StationState::Cancelled:
      return _("cancelled");
    case StationState::Failed:
      break;
  }
  return _("failed");
}

BenchConsole::BenchConsole(std::ostream& kept, std::istream& none, std::string port)
    : ConsoleOperator(kept, kept, none, false, false), port_(std::move(port)) {}

Answer BenchConsole::Confirm(const std::string& text) {
  if (!ask_) return ConsoleOperator::Confirm(text);
  std::lock_guard screen(gScreen);
  std::string who = port_;
  if (serial_ != nullptr && *serial_) who += " NS " + std::to_string(**serial_);
  ConsoleOperator terminal(std::cout, std::cerr, std::cin, true, true);
  std::cerr << '\n';
  const Answer a = terminal.Confirm("[" + who + "] " + text);
  gScreenMoved = true;
  // Kept with the station's other output, as a scripted answer is.
  SetPresetAnswer(a);
  ConsoleOperator::Confirm(text);
  SetPresetAnswer(std::nullopt);
  return a;
}

}  // namespace bq::cli
