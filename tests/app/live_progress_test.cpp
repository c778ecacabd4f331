// What a bench line or row shows of a station: its state, percent and rate
// from its live progress while it runs, and how it ended afterwards.
#include <gtest/gtest.h>

#include <optional>

#include "app/phase_tap.h"
#include "shell/silent_operator.h"

namespace bq {
namespace {

using records::RecordResult;

struct ViewCase {
  const char* name;
  LiveProgress live;
  std::optional<RecordResult> ended;
  StationState state;
  uint32_t percent;
  bool rate;
};

LiveProgress In(WorkPhase phase, uint32_t first, uint32_t last, uint32_t position,
                double seconds = 1.0) {
  return {phase, phase, first, last, position, seconds};
}

// A phase that has ended: nothing runs, the last one is remembered.
LiveProgress After(WorkPhase phase, uint32_t first, uint32_t last, uint32_t position) {
  return {std::nullopt, phase, first, last, position, 0.0};
}

TEST(LiveProgressView, StateAndPercent) {
  const ViewCase cases[] = {
      {"before any phase", {}, std::nullopt, StationState::Connecting, 0, false},
      {"erase starting", In(WorkPhase::Erase, 0x1000, 0x1FFFF, 0x1000, 0.0), std::nullopt,
       StationState::Erasing, 0, false},
      {"flash half written", In(WorkPhase::WriteFlash, 0x1000, 0x3000, 0x2000), std::nullopt,
       StationState::Writing, 50, true},
      {"eeprom written", In(WorkPhase::WriteEeprom, 0, 0xFF, 0x40), std::nullopt,
       StationState::Writing, 25, true},
      // The engine's last step stands on the range's last byte: the bar is full.
      {"flash verified to its last byte", In(WorkPhase::VerifyFlash, 0x1000, 0x1FFFF, 0x1FFFF),
       std::nullopt, StationState::Verifying, 100, true},
      {"position past the range", In(WorkPhase::VerifyEeprom, 0, 0xFF, 0x100), std::nullopt,
       StationState::Verifying, 100, true},
      {"position before the range", In(WorkPhase::WriteFlash, 0x1000, 0x1FFFF, 0), std::nullopt,
       StationState::Writing, 0, false},
      // A range near the top of the address space does not overflow.
      {"large range", In(WorkPhase::ReadFlash, 0, 0xFFFFFFFF, 0xC0000000), std::nullopt,
       StationState::Verifying, 75, true},
      // Between the erase and the write the station is not connecting again.
      {"between phases", After(WorkPhase::Erase, 0x1000, 0x1FFFF, 0x1FFFF), std::nullopt,
       StationState::Erasing, 100, false},
      {"done", After(WorkPhase::VerifyEeprom, 0, 0xFF, 0x80), RecordResult::kOk, StationState::Done,
       100, false},
      {"done before any phase", {}, RecordResult::kOk, StationState::Done, 100, false},
      {"failed midway keeps where it stood", After(WorkPhase::WriteFlash, 0x1000, 0x3000, 0x1800),
       RecordResult::kFailed, StationState::Failed, 25, false},
      {"cancelled", After(WorkPhase::WriteFlash, 0x1000, 0x3000, 0x2000), RecordResult::kCancelled,
       StationState::Cancelled, 50, false},
      {"refused", {}, RecordResult::kRefused, StationState::Refused, 0, false},
      {"declined", {}, RecordResult::kDeclined, StationState::Refused, 0, false},
  };
  for (const ViewCase& c : cases) {
    SCOPED_TRACE(c.name);
    const StationView view = ViewOf(c.live, c.ended);
    EXPECT_EQ(view.state, c.state);
    EXPECT_EQ(view.percent, c.percent);
    EXPECT_EQ(view.bytesPerSecond.has_value(), c.rate);
  }
}

TEST(LiveProgressView, RateIsTheBytesCoveredOverThePhasesTime) {
  const StationView view = ViewOf(In(WorkPhase::WriteFlash, 0x1000, 0x9000, 0x3000, 2.0), {});
  ASSERT_TRUE(view.bytesPerSecond);
  EXPECT_DOUBLE_EQ(*view.bytesPerSecond, 0x2000 / 2.0);
}

// The tap shows the phase under way, keeps the last one after it ends, and
// forgets it when the station's next command starts.
TEST(LiveProgressView, TheTapFollowsTheStationsPhases) {
  SilentOperator quiet;
  PhaseTap tap(quiet);
  records::ProductionRecord record;
  tap.NoteInto(&record);
  EXPECT_EQ(ViewOf(tap.Live(), {}).state, StationState::Connecting);
  tap.PhaseStarted(WorkPhase::WriteFlash, 0x1000, 0x1FFF);
  tap.SetProgressPosition(0x1800);
  EXPECT_EQ(ViewOf(tap.Live(), {}).state, StationState::Writing);
  EXPECT_EQ(ViewOf(tap.Live(), {}).percent, 50u);
  tap.SetProgressPosition(0x1FFF);
  tap.PhaseEnded(WorkPhase::WriteFlash, true);
  EXPECT_EQ(ViewOf(tap.Live(), {}).state, StationState::Writing);
  EXPECT_EQ(ViewOf(tap.Live(), {}).percent, 100u);
  tap.NoteInto(nullptr);
  tap.NoteInto(&record);
  EXPECT_EQ(ViewOf(tap.Live(), {}).state, StationState::Connecting);
  tap.NoteInto(nullptr);
}

}  // namespace
}  // namespace bq
