// The link's receiver fed byte by byte, with arrival times chosen by the test.

#include <gtest/gtest.h>

#include <vector>

#include "discovery/accessory_link.h"
#include "shell/silent_operator.h"

namespace bq {
namespace {

using std::chrono::milliseconds;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// n bytes counting up from 1: none of them is 'K', so a dropped frame stays dropped.
Bytes CountingPayload(size_t n) {
  Bytes payload(n);
  for (size_t i = 0; i < n; ++i) payload[i] = static_cast<uint8_t>(i + 1);
  return payload;
}

// A KE frame of such a payload with its correct check byte, whatever n is.
Bytes FrameOfLength(size_t n) {
  const Bytes payload = CountingPayload(n);
  Bytes frame{'K', 'E', static_cast<uint8_t>(n)};
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(LinkCheckByte(payload.data(), n));
  return frame;
}

const Bytes kEnterBootReply{0x4B, 0x45, 0x01, 0xC4, 0xC5};

struct FeedCase {
  const char* name;
  Bytes bytes;
  std::vector<Bytes> packets;     // payloads expected, in order
  size_t pauseBefore = SIZE_MAX;  // index of the byte that ends a pause
  int pauseMs = 0;
};

void PrintTo(const FeedCase& c, std::ostream* os) {
  *os << c.name;
}

class Receiver : public ::testing::TestWithParam<FeedCase> {};

// Bytes 1 ms apart, plus the pause the case asks for.
TEST_P(Receiver, DeliversExactlyTheVerifiedPayloads) {
  const FeedCase& c = GetParam();
  TComPortGPS port;
  SilentOperator ui;
  TuRxTxArvex link(port, ui);
  std::vector<Bytes> packets;
  link.SetOnPacket([&](const Bytes& payload) { packets.push_back(payload); });
  auto at = TuRxTxArvex::Clock::time_point{};
  for (size_t i = 0; i < c.bytes.size(); ++i) {
    at += milliseconds(i == c.pauseBefore ? c.pauseMs : 1);
    link.FeedByte(c.bytes[i], at);
  }
  EXPECT_EQ(packets, c.packets);
}

INSTANTIATE_TEST_SUITE_P(
    Link, Receiver,
    ::testing::Values(
        FeedCase{"EnterBootReply", kEnterBootReply, {{0xC4}}},
        FeedCase{"ReadIdentityFrame",
                 {0x4B, 0x45, 0x04, 0x20, 0x00, 0x00, 0x00, 0x21},
                 {{0x20, 0x00, 0x00, 0x00}}},
        FeedCase{"WrongCheckByte", {0x4B, 0x45, 0x01, 0xC4, 0xC6}, {}},
        FeedCase{"OnlyKEPrefixIsAReply", {0x4E, 0x4B, 0x04, 0x20, 0x00, 0x00, 0x00, 0x21}, {}},
        FeedCase{"NoiseThenFrame", Concat({{0x00, 'E', 0x4B, 0x00}, kEnterBootReply}), {{0xC4}}},
        FeedCase{"TwoFramesBackToBack",
                 Concat({kEnterBootReply, FrameOfLength(2)}),
                 {{0xC4}, {0x01, 0x02}}},
        FeedCase{"Length39IsAccepted", FrameOfLength(39), {CountingPayload(39)}},
        FeedCase{"Length40ResetsThenNextFrameIsTaken",
                 Concat({FrameOfLength(40), kEnterBootReply}),
                 {{0xC4}}},
        FeedCase{"Length0ResetsThenNextFrameIsTaken",
                 Concat({{'K', 'E', 0x00}, kEnterBootReply}),
                 {{0xC4}}},
        FeedCase{"PauseOf30MsKeepsTheFrame", kEnterBootReply, {{0xC4}}, 4, 30},
        FeedCase{"PauseOf31MsDropsThePartialFrame", kEnterBootReply, {}, 4, 31},
        FeedCase{"ByteEndingAPauseStartsANewFrame",
                 Concat({{'K', 'E', 0x01}, kEnterBootReply}),
                 {{0xC4}},
                 3,
                 31},
        FeedCase{"KKEDoesNotSynchronise", {'K', 'K', 'E', 0x01, 0xC4, 0xC5}, {}},
        FeedCase{"KKEThenAFreshFrame", Concat({{'K', 'K', 'E'}, kEnterBootReply}), {{0xC4}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bq
