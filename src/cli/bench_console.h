#pragma once
// The console of one station of a bench run (write --ports, loop --ports).
// Its status lines and boxes are kept, since the bench shows a line per
// station instead; a question without a scripted answer is asked on the
// terminal, naming the station's port and device, one station at a time.

#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>

#include "app/phase_tap.h"
#include "cli/console_operator.h"

namespace bq::cli {

// The terminal is shared: one station asks its question at a time, and the
// station lines are not drawn meanwhile.
std::mutex& BenchScreenMutex();
// Set when a question was printed below the station lines: the next redraw
// starts again under it. Read and cleared by the redraw.
bool TakeBenchScreenMoved();

// "connecting", "writing", "done", ...: a station's state on its line.
const char* BenchStateText(StationState state);

class BenchConsole : public ConsoleOperator {
 public:
  BenchConsole(std::ostream& kept, std::istream& none, std::string port);

  // ask: questions go to the terminal; serial, when set, names the device.
  void SetAsking(bool ask, std::optional<uint16_t>* serial) {
    ask_ = ask;
    serial_ = serial;
  }

  Answer Confirm(const std::string& text) override;

 private:
  std::string port_;
  bool ask_ = false;
  std::optional<uint16_t>* serial_ = nullptr;
};

}  // namespace bq::cli
