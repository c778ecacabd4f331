#include "cli/bench_console.h"

#include <atomic>
#include <iostream>

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
