#pragma once
// A station's event sink: it passes every event on to the front end's sink
// unchanged and, while the station keeps a production record, notes each
// phase there with its times and the bytes it covered.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "records/production_record.h"
#include "shell/operator_interface.h"

namespace bq {

// Where a station's work stands, for a display that watches several at once.
struct LiveProgress {
  std::optional<WorkPhase> phase;  // empty before the first phase and after the last
  // The phase that ran last, kept after it ends (and until the next command):
  // between phases and after the last one the station is past connecting.
  std::optional<WorkPhase> lastPhase;
  uint32_t first = 0, last = 0, position = 0;
  double seconds = 0;  // since the phase started
  // Bytes of the range covered so far, and their share as a bar shows it
  // (minimum first, maximum last).
  uint32_t Covered() const { return position > first ? position - first : 0; }
  uint32_t Percent() const;
};

// What a station's line or row shows as its state.
enum class StationState {
  Waiting,
  Connecting,
  Erasing,
  Writing,
  Verifying,
  Done,
  Refused,
  Failed,
  Cancelled
};

struct StationView {
  StationState state = StationState::Waiting;
  uint32_t percent = 0;
  std::optional<double> bytesPerSecond;  // while a phase runs and has covered something
};

// A station's state, percent and rate: from its live progress while it runs
// (ended empty), or how its command ended. A station that ended done shows
// its whole range; one that stopped shows where it stood.
StationView ViewOf(const LiveProgress& live, std::optional<records::RecordResult> ended);

class PhaseTap : public OperatorInterface {
 public:
  explicit PhaseTap(OperatorInterface& sink) : sink_(sink) {}

  // Phases and error boxes go into record from now on; null stops that.
  void NoteInto(records::ProductionRecord* record);
  // The last error box shown while noting, or empty.
  const std::string& LastError() const { return lastError_; }
  // Safe to call from any thread while the station works.
  LiveProgress Live() const;

  void ShowStatus(const std::string& text, bool success) override;
  void ShowMessage(const std::string& text) override { sink_.ShowMessage(text); }
  void ShowErrorBox(const std::string& text) override;
  void ShowWarning(const std::string& text) override { sink_.ShowWarning(text); }
  Answer Confirm(const std::string& text) override { return sink_.Confirm(text); }
  void ProcessMessages() override { sink_.ProcessMessages(); }
  void SetProgressMin(uint32_t value) override { sink_.SetProgressMin(value); }
  void SetProgressMax(uint32_t value) override { sink_.SetProgressMax(value); }
  void SetProgressPosition(uint32_t value) override;
  void PhaseStarted(WorkPhase phase, uint32_t first, uint32_t last) override;
  void PhaseEnded(WorkPhase phase, bool done) override;
  void Show(const Shown& event) override { sink_.Show(event); }
  void SetDeviceCommandsEnabled(bool enabled) override { sink_.SetDeviceCommandsEnabled(enabled); }
  void SetScanRunning(bool running) override { sink_.SetScanRunning(running); }
  std::optional<ShownSettings> SettingsAsShown() const override { return sink_.SettingsAsShown(); }

 private:
  using Clock = std::chrono::steady_clock;
  struct OpenPhase {
    WorkPhase phase;
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t position = 0;
    std::string startedAt;
    Clock::time_point started;
  };
  void Close(bool done);

  OperatorInterface& sink_;
  mutable std::mutex liveMutex_;
  LiveProgress live_;              // under liveMutex_
  Clock::time_point liveStarted_;  // under liveMutex_
  records::ProductionRecord* record_ = nullptr;
  std::optional<OpenPhase> open_;
  std::string lastError_;
};

}  // namespace bq
