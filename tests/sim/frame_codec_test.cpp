#include "frame_codec.h"

#include <gtest/gtest.h>

#include "requests.h"

namespace bq::sim {
namespace {

using test::Bytes;

TEST(DeviceFrameCodec, EncodesLengthPayloadAndChecksum) {
  struct Case {
    Bytes payload;
    Bytes frame;
  };
  const Case cases[] = {
      {{0x11, 0x00, 0x00, 0x00, 0x00}, {0x0F, 0x0F, 0x05, 0x11, 0x00, 0x00, 0x00, 0x00, 0xEA}},
      {{}, {0x0F, 0x0F, 0x00, 0x00}},
      {{0x41, 0x41}, {0x0F, 0x0F, 0x02, 0x41, 0x41, 0x7C}},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeFrame(c.payload), c.frame);
}

struct HuntResult {
  std::vector<Bytes> frames;
  int badChecksums = 0;
};

HuntResult Hunt(const Bytes& stream) {
  FrameHunter hunter;
  HuntResult result;
  for (uint8_t b : stream) {
    switch (hunter.Feed(b)) {
      case FrameHunter::Event::kFrame:
        result.frames.push_back(hunter.Payload());
        break;
      case FrameHunter::Event::kBadChecksum:
        ++result.badChecksums;
        break;
      case FrameHunter::Event::kNone:
        break;
    }
  }
  return result;
}

TEST(DeviceFrameCodec, HuntsForSyncAndDropsBadChecksums) {
  const Bytes version{0x01, 0xFF, 0xFF, 0xFF};
  struct Case {
    const char* name;
    Bytes stream;
    size_t frames;
    int badChecksums;
  };
  Bytes good = test::Frame(version);
  Bytes bad = good;
  bad.back() ^= 1;
  const Case cases[] = {
      {"clean", good, 1, 0},
      {"garbage first", test::Join({0x00, 0x0F, 0x55, 0xFF}, good), 1, 0},
      {"bad checksum then good", test::Join(bad, good), 1, 1},
      {"empty payload", {0x0F, 0x0F, 0x00, 0x00}, 1, 0},
      {"two in a row", test::Join(good, good), 2, 0},
  };
  for (const auto& c : cases) {
    const HuntResult r = Hunt(c.stream);
    EXPECT_EQ(r.frames.size(), c.frames) << c.name;
    EXPECT_EQ(r.badChecksums, c.badChecksums) << c.name;
    for (const auto& f : r.frames) {
      EXPECT_TRUE(f == version || f.empty()) << c.name;
    }
  }
}

}  // namespace
}  // namespace bq::sim
