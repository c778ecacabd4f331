#include "app/phase_tap.h"

namespace bq {

void PhaseTap::NoteInto(records::ProductionRecord* record) {
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
    live_ = {phase, first, last, first, 0};
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
