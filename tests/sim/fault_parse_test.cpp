#include <gtest/gtest.h>

#include <stdexcept>

#include "sim_options.h"

namespace bq::sim {
namespace {

TEST(ParseFault, ReadsEveryForm) {
  struct Case {
    const char* text;
    FaultKind kind;
    std::optional<uint64_t> request;
    std::optional<uint32_t> address;
    unsigned times;
    int replugAfterMs;
  };
  const Case cases[] = {
      {"drop@3", FaultKind::kDropReply, 3, {}, 1, -1},
      {"corrupt@0", FaultKind::kCorruptReply, 0, {}, 1, -1},
      {"wrongcode@12", FaultKind::kWrongCode, 12, {}, 1, -1},
      {"unplug@4", FaultKind::kUnplug, 4, {}, 1, -1},
      {"unplug@4+250", FaultKind::kUnplug, 4, {}, 1, 250},
      {"failwrite@7", FaultKind::kFailWrite, 7, {}, 1, -1},
      {"failwrite:0x880*3", FaultKind::kFailWrite, {}, 0x880, 3, -1},
      {"corruptwrite:2304", FaultKind::kCorruptWrite, {}, 2304, 1, -1},
  };
  for (const auto& c : cases) {
    const Fault f = ParseFault(c.text);
    EXPECT_EQ(f.kind, c.kind) << c.text;
    EXPECT_EQ(f.request, c.request) << c.text;
    EXPECT_EQ(f.address, c.address) << c.text;
    EXPECT_EQ(f.times, c.times) << c.text;
    EXPECT_EQ(f.replugAfterMs, c.replugAfterMs) << c.text;
  }
}

TEST(ParseFault, RejectsMalformedText) {
  for (const char* text : {"", "drop", "drop@", "drop@x", "drop@-1", "explode@1", "drop:0x800",
                           "failwrite:0x800*", "unplug@1+", "drop@1+5", "failwrite@2junk"}) {
    EXPECT_THROW(ParseFault(text), std::invalid_argument) << text;
  }
}

}  // namespace
}  // namespace bq::sim
