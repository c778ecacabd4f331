#include "app/phase_tap.h"

namespace bq {

uint32_t LiveProgress::Percent() const {
  if (position <= first) return 0;
  if (position >= last) return 100;
  return static_cast<uint32_t>(uint64_t{position - first} * 100 / (last - first));
}

namespace {

StationState PhaseState(WorkPhase phase) {
  switch (phase) {
    case WorkPhase::Erase:
      return StationState::Erasing;
    case WorkPhase::WriteFlash:
    case WorkPhase::WriteEeprom:
      return StationState::Writing;
    default:
      return StationState::Verifying;
  }
}

StationState EndState(records::RecordResult result) {
  switch (result) {
    case records::RecordResult::kOk:
      return StationState::Done;
    case records::RecordResult::kRefused:
    case records::RecordResult::kDeclined:
      return StationState::Refused;
    case records::RecordResult::kCancelled:
      return StationState::Cancelled;
    case records::RecordResult::kFailed:
      break;
  }
  return StationState::Failed;
}

}  // namespace

StationView ViewOf(const LiveProgress& live, std::optional<records::RecordResult> ended) {
  StationView view;
  if (ended) {
    view.state = EndState(*ended);
    view.percent = view.state == StationState::Done ? 100 : live.Percent();
    return view;
  }
  const std::optional<WorkPhase> phase = live.phase ? live.phase : live.lastPhase;
  if (!phase) {
    view.state = StationState::Connecting;
    return view;
  }
  view.state = PhaseState(*phase);
  view.percent = live.Percent();
  if (live.phase && live.seconds > 0 && live.Covered() > 0)
    view.bytesPerSecond = live.Covered() / live.seconds;
  return view;
}

void PhaseTap::NoteInto(records::ProductionRecord* record) {
  if (record != nullptr) {
    // A new command: nothing of the last one is shown for it.
    std::lock_guard lock(liveMutex_);
    live_ = {};
  }
  if (record_ != nullptr && record == nullptr && open_) Close(false);
  record_ = record;
  open_.reset();
  lastError_.clear();
}

void PhaseTap::ShowStatus(const std::string& text, bool success) {
  sink_.ShowStatus(text, success);
}

void PhaseTap::ShowErrorBox(const std::string& text) {
  if (record_ != nullptr) lastError_ = text;
  sink_.ShowErrorBox(text);
}

LiveProgress PhaseTap::Live() const {
  std::lock_guard lock(liveMutex_);
  LiveProgress live = live_;
  if (live.phase) live.seconds = std::chrono::duration<double>(Clock::now() - liveStarted_).count();
  return live;
}

void PhaseTap::SetProgressPosition(uint32_t value) {
  {
    std::lock_guard lock(liveMutex_);
    live_.position = value;
  }
  if (open_) open_->position = value;
  sink_.SetProgressPosition(value);
}

void PhaseTap::PhaseStarted(WorkPhase phase, uint32_t first, uint32_t last) {
  {
    std::lock_guard lock(liveMutex_);
    live_ = {phase, phase, first, last, first, 0};
    liveStarted_ = Clock::now();
  }
  if (record_ != nullptr) {
    if (open_) Close(false);
    open_ = OpenPhase{phase, first, last, first, records::UtcNow(), Clock::now()};
  }
  sink_.PhaseStarted(phase, first, last);
}

void PhaseTap::PhaseEnded(WorkPhase phase, bool done) {
  {
    std::lock_guard lock(liveMutex_);
    if (live_.phase == phase) live_.phase.reset();
  }
  if (open_ && open_->phase == phase) Close(done);
  sink_.PhaseEnded(phase, done);
}

// A phase done covered its whole range; one stopped covered up to where it stood.
void PhaseTap::Close(bool done) {
  const OpenPhase& p = *open_;
  records::RecordPhase noted;
  noted.name = WorkPhaseName(p.phase);
  noted.start = p.startedAt;
  noted.end = records::UtcNow();
  const uint32_t reached = done ? p.last + 1 : std::max(p.position, p.first);
  noted.bytes = reached - p.first;
  noted.seconds = std::chrono::duration<double>(Clock::now() - p.started).count();
  if (record_ != nullptr) record_->phases.push_back(std::move(noted));
  open_.reset();
}

}  // namespace bq
