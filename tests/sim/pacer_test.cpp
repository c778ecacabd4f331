#include "pacer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>

namespace bq::sim {
namespace {

using std::chrono::milliseconds;

// At 10000 baud a byte takes exactly 1 ms, so every step reads in whole
// milliseconds from the first read. One request, its reply, a second request
// sent early (before the reply was through) and a third sent late.
TEST(DevicePacer, RequestsAndRepliesShareOneTimeline) {
  struct Step {
    const char* what;
    bool send;     // a reply of `bytes` going out, else one byte received
    int atMs;      // received: when it was read; sent: the earliest it may start
    size_t bytes;  // sent only
    int expectMs;  // received: its arrival; sent: when its last byte has left
  };
  const Step steps[] = {
      {"request byte 1, read at once", false, 0, 0, 1},
      {"request byte 2, read in the same burst", false, 0, 0, 2},
      {"request byte 3, read in the same burst", false, 0, 0, 3},
      {"reply of 4 bytes right after the request", true, 3, 4, 7},
      {"a byte read while the reply is on the line", false, 5, 0, 8},
      {"a byte read long after the line fell idle", false, 20, 0, 21},
      {"reply after 5 ms of think time", true, 26, 2, 28},
      {"reply that may start before the line is free", true, 27, 3, 31},
  };
  const auto t0 = Pacer::Clock::time_point{} + std::chrono::hours(1);
  Pacer pacer(10000);
  for (const Step& step : steps) {
    const auto at = t0 + milliseconds(step.atMs);
    const auto got = step.send ? pacer.Send(step.bytes, at) : pacer.Arrive(at);
    EXPECT_EQ(got - t0, milliseconds(step.expectMs)) << step.what;
  }
}

}  // namespace
}  // namespace bq::sim
