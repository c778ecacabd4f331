// Faults injected by request index or by write address.
#include <gtest/gtest.h>

#include "requests.h"

namespace bq::sim::test {
namespace {

SimOptions WithFaults(std::vector<Fault> faults) {
  SimOptions options;
  options.faults = std::move(faults);
  return options;
}

Fault At(FaultKind kind, uint64_t request) {
  Fault f;
  f.kind = kind;
  f.request = request;
  return f;
}

// Request 1 is struck; requests 0 and 2 must come through untouched.
TEST(DeviceFaults, ReplyFaultsStrikeOnlyTheirRequest) {
  const Bytes good{0x01, 0x02, 0x02, 0x01, 0x00, 0x00};
  struct Case {
    FaultKind kind;
    bool expectFrame;       // some frame comes back at all
    bool expectChecksumOk;  // ...with a good checksum
    RequestOutcome outcome;
  };
  const Case cases[] = {
      {FaultKind::kDropReply, false, false, RequestOutcome::kDropped},
      {FaultKind::kCorruptReply, true, false, RequestOutcome::kAnswered},
      {FaultKind::kWrongCode, true, true, RequestOutcome::kAnswered},
  };
  for (const auto& c : cases) {
    auto device = StartDevice(WithFaults({At(c.kind, 1)}));
    LineClient line(device->PortPath(), 38400);
    EXPECT_EQ(line.Exchange(ReadVersionRequest()), good);
    line.Write(Frame(ReadVersionRequest()));
    const Bytes struck = line.ReadFrame(100);
    EXPECT_EQ(!struck.empty(), c.expectFrame) << int(c.kind);
    if (c.expectFrame) {
      ASSERT_EQ(struck.size(), good.size() + 4) << "same length";
      EXPECT_EQ(ChecksumOk(struck), c.expectChecksumOk) << int(c.kind);
      if (c.kind == FaultKind::kWrongCode) {
        EXPECT_NE(struck[3], good[0]);
      }
    }
    EXPECT_EQ(line.Exchange(ReadVersionRequest()), good);
    EXPECT_EQ(device->Requests().at(1).outcome, c.outcome);
  }
}

TEST(DeviceFaults, FailedWriteByRequestLeavesFlashUntouched) {
  auto device = StartDevice(WithFaults({At(FaultKind::kFailWrite, 1)}));
  LineClient line(device->PortPath(), 38400);
  ASSERT_EQ(line.Exchange(EraseAllRequest()), (Bytes{0x41, 0x41}));
  EXPECT_EQ(line.Exchange(WriteVerifyRequest(0x0880, Ramp(128))), (Bytes{0xA0}));
  EXPECT_EQ(device->Flash()[0x0880], 0xFF);
  EXPECT_EQ(line.Exchange(WriteVerifyRequest(0x0880, Ramp(128))), (Bytes{0x40}));
}

// A block that fails a given number of times, then succeeds if tries remain.
TEST(DeviceFaults, FailedWritesByAddressCountAttempts) {
  for (unsigned times : {3u, 4u}) {
    Fault f;
    f.kind = FaultKind::kFailWrite;
    f.address = 0x0900;
    f.times = times;
    auto device = StartDevice(WithFaults({f}));
    LineClient line(device->PortPath(), 38400);
    ASSERT_EQ(line.Exchange(EraseAllRequest()), (Bytes{0x41, 0x41}));
    EXPECT_EQ(line.Exchange(WriteVerifyRequest(0x0880, Ramp(128))), (Bytes{0x40}));
    int failures = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (line.Exchange(WriteVerifyRequest(0x0900, Ramp(128))) == Bytes{0xA0}) ++failures;
    }
    EXPECT_EQ(failures, static_cast<int>(times));
    EXPECT_EQ(device->Flash()[0x0901] == 0x01, times < 4);
  }
}

// A plain write that stores a wrong bit answers '1' all the same; only a
// read-back shows it. A write-and-verify notices at once.
TEST(DeviceFaults, CorruptedWriteShowsOnlyInTheReadBack) {
  SimOptions options;
  options.bootLoaderVersion = 0x0105;
  Fault f;
  f.kind = FaultKind::kCorruptWrite;
  f.address = 0x0880;
  options.faults = {f};
  auto device = StartDevice(options);
  LineClient line(device->PortPath(), 38400);
  ASSERT_EQ(line.Exchange(EraseBlocksRequest(0x0800, 4)), (Bytes{0x30, 0x30}));
  const Bytes data = Ramp(128, 1);
  EXPECT_EQ(line.Exchange(WriteFlashRequest(0x0880, data)), (Bytes{0x31}));
  const auto readBack = line.Exchange(CompareFlashRequest(0x0880, 16));
  ASSERT_TRUE(readBack.has_value());
  EXPECT_NE(*readBack, Join({0x32}, data));
}

TEST(DeviceFaults, SeveralFaultsAtOnce) {
  auto device =
      StartDevice(WithFaults({At(FaultKind::kDropReply, 0), At(FaultKind::kWrongCode, 2)}));
  LineClient line(device->PortPath(), 38400);
  EXPECT_EQ(line.Exchange(ReadIdentityRequest(), 100), std::nullopt);
  EXPECT_TRUE(line.Exchange(ReadIdentityRequest()).has_value());
  const auto third = line.Exchange(ReadIdentityRequest());
  ASSERT_TRUE(third.has_value());
  EXPECT_NE((*third)[0], 0x38);
}

TEST(DeviceFaults, ReplyDelayHoldsTheReplyBack) {
  SimOptions options;
  options.replyDelayMs = 40;
  auto device = StartDevice(options);
  LineClient line(device->PortPath(), 38400);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
}

// With pacing a version exchange costs at least its bytes' wire time:
// 8 request and 10 reply bytes at 10 bits each.
TEST(DeviceFaults, PacingTakesTheWireTime) {
  SimOptions options;
  options.baudRate = 19200;
  options.pacing = true;
  auto device = StartDevice(options);
  LineClient line(device->PortPath(), 19200);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::microseconds(18 * 10 * 1'000'000 / 19200));
}

}  // namespace
}  // namespace bq::sim::test
