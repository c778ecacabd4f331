// The boot frame on the wire: encoding, sending and byte-by-byte receiving.

#include "serial/boot_frame.h"

#include <gtest/gtest.h>

#include "port_fixture.h"

namespace bq::test {
namespace {

TEST(BootFrameEncode, WireBytes) {
  struct Case {
    Bytes payload;
    Bytes wire;
  };
  const Case cases[] = {
      {{0x11, 0x00, 0x00, 0x00, 0x00}, {0x0F, 0x0F, 0x05, 0x11, 0x00, 0x00, 0x00, 0x00, 0xEA}},
      {{}, {0x0F, 0x0F, 0x00, 0x00}},
      {{0x41, 0x41}, {0x0F, 0x0F, 0x02, 0x41, 0x41, 0x7C}},
      // The sum wraps: 1 + 0xFF = 0x100, so the checksum is 0.
      {{0xFF}, {0x0F, 0x0F, 0x01, 0xFF, 0x00}},
  };
  for (const Case& c : cases) {
    const auto length = static_cast<uint8_t>(c.payload.size());
    EXPECT_EQ(EncodeBootFrame(length, c.payload.data()), c.wire);
  }
}

TEST(BootFrameEncode, LongestFrameChecksumBalances) {
  PayloadBuffer payload{};
  for (size_t i = 0; i < 255; ++i) payload[i] = static_cast<uint8_t>(i * 7 + 3);
  Bytes wire = EncodeBootFrame(255, payload.data());
  ASSERT_EQ(wire.size(), 259u);
  unsigned sum = 0;
  for (size_t i = 2; i < wire.size(); ++i) sum += wire[i];
  EXPECT_EQ(sum % 256, 0u);
}

using BootFrameWire = PortFixture;

TEST_F(BootFrameWire, SendPurgesStaleInputAndWritesTheFrame) {
  OpenPort();
  peer.Write({0x0F, 0x0F, 0x00});  // a late reply to an earlier request
  ASSERT_TRUE([&] {
    for (int i = 0; i < 100 && port().InputCount() < 3; ++i) usleep(1000);
    return port().InputCount() == 3;
  }());
  PayloadBuffer request{};
  request[0] = 0x11;
  SendBootFrame(port_, 5, request);
  EXPECT_EQ(port().InputCount(), 0u);
  EXPECT_EQ(peer.Read(9), (Bytes{0x0F, 0x0F, 0x05, 0x11, 0x00, 0x00, 0x00, 0x00, 0xEA}));
}

TEST_F(BootFrameWire, Receive) {
  struct Case {
    const char* name;
    Bytes incoming;
    bool ok;
    uint8_t length;     // as stored by the receive
    Bytes bufferStart;  // the first bytes of the buffer afterwards
    size_t leftUnread;  // bytes still queued after the receive
  };
  const Case cases[] = {
      {"good frame", {0x0F, 0x0F, 0x02, 0x41, 0x41, 0x7C}, true, 2, {0x41, 0x41, 0x7C, 0x00}, 0},
      {"bad checksum keeps the length",
       {0x0F, 0x0F, 0x02, 0x41, 0x41, 0x7D},
       false,
       2,
       {0x41, 0x41, 0x7D, 0x00},
       0},
      {"empty payload", {0x0F, 0x0F, 0x00, 0x00}, true, 0, {0x00, 0x00}, 0},
      {"leftover byte before the frame", {0x00, 0x0F, 0x0F, 0x00, 0x00}, false, 0xEE, {0x00}, 4},
      {"second sync wrong", {0x0F, 0x0E, 0x00, 0x00}, false, 0xEE, {0x00}, 2},
      {"only the frame is read", {0x0F, 0x0F, 0x00, 0x00, 0x55}, true, 0, {0x00}, 1},
  };
  OpenPort();
  ApplyReadTimeouts(port_, ProbeTimeouts);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port().PurgeInput();
    peer.Write(c.incoming);
    for (int i = 0; i < 200 && port().InputCount() < c.incoming.size(); ++i) usleep(1000);
    PayloadBuffer buffer;
    buffer.fill(0x99);  // the receive clears it
    uint8_t length = 0xEE;
    bool ok = false;
    double ms = ElapsedMs([&] { ok = ReceiveBootFrame(port_, buffer, length); });
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.bufferStart.size()), c.bufferStart);
    EXPECT_EQ(buffer[999], 0);
    EXPECT_EQ(port().InputCount(), c.leftUnread);
    EXPECT_LT(ms, 60.0) << "every byte was there; nothing should wait for a time-out";
  }
}

TEST_F(BootFrameWire, FrameCutShortFailsOneByteWaitAfterItsLastByte) {
  OpenPort();
  ApplyReadTimeouts(port_, ProbeTimeouts);
  peer.Write({0x0F, 0x0F, 0x03, 0x01});
  PayloadBuffer buffer;
  uint8_t length = 0;
  bool ok = true;
  double ms = ElapsedMs([&] { ok = ReceiveBootFrame(port_, buffer, length); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(buffer[0], 0x01);
  EXPECT_GE(ms, 100.0);
  EXPECT_LT(ms, 300.0);
}

TEST_F(BootFrameWire, SendOnClosedPortRaises) {
  PayloadBuffer request{};
  try {
    SendBootFrame(port_, 0, request);
    FAIL() << "no error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kClosedPortText);
  }
}

}  // namespace
}  // namespace bq::test
