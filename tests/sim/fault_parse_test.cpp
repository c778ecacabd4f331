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

// "I:FAULT" for one device of several, a bare fault for all; the rest is ParseFault's.
TEST(ParseDeviceFault, ReadsTheDeviceNumber) {
  struct Case {
    const char* text;
    std::optional<unsigned> device;
    FaultKind kind;
  };
  const Case cases[] = {
      {"drop@5", {}, FaultKind::kDropReply},
      {"2:unplug@40", 2u, FaultKind::kUnplug},
      {"0:failwrite:0x800*2", 0u, FaultKind::kFailWrite},
      {"010:corrupt@1", 10u, FaultKind::kCorruptReply},  // decimal, not octal
  };
  for (const auto& c : cases) {
    const DeviceFault f = ParseDeviceFault(c.text);
    EXPECT_EQ(f.device, c.device) << c.text;
    EXPECT_EQ(f.fault.kind, c.kind) << c.text;
  }
  const DeviceFault full = ParseDeviceFault("3:failwrite:0x880*4");
  EXPECT_EQ(full.fault.address, 0x880u);
  EXPECT_EQ(full.fault.times, 4u);
}

TEST(ParseDeviceFault, RejectsMalformedTextWithItsWholeText) {
  for (const char* text : {"2:", ":drop@1", "2drop@1", "x:drop@1", "-1:drop@1", "2:explode@1",
                           "99999999999:drop@1", "1:2:drop@1"}) {
    try {
      ParseDeviceFault(text);
      ADD_FAILURE() << text << " was accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace bq::sim
