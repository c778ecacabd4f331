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

TEST(DeviceLinkCodec, EncodesPrefixLengthPayloadAndCheckByte) {
  struct Case {
    const char* prefix;
    Bytes payload;
    Bytes frame;
  };
  const Case cases[] = {
      {"KE", {0x20, 0x00, 0x00, 0x00}, {0x4B, 0x45, 0x04, 0x20, 0x00, 0x00, 0x00, 0x21}},
      {"NK", {0x20, 0x00, 0x00, 0x00}, {0x4E, 0x4B, 0x04, 0x20, 0x00, 0x00, 0x00, 0x21}},
      {"QX", {0xE7}, {'Q', 'X', 0x01, 0xE7, 0xE8}},
      {"KE", {0xC4}, {0x4B, 0x45, 0x01, 0xC4, 0xC5}},
      {"KE",
       {0x24, 0x3A, 0xC5, 0x0E, 0x97},
       {0x4B, 0x45, 0x05, 0x24, 0x3A, 0xC5, 0x0E, 0x97, 0x43}},
      {"QX", {0xE5, 0xC7, 0xA5}, {'Q', 'X', 0x03, 0xE5, 0xC7, 0xA5, 0x88}},
      {"KE", {0xFF}, {0x4B, 0x45, 0x01, 0xFF, 0x00}},  // the check byte wraps
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeLinkFrame(c.prefix, c.payload), c.frame);
}

TEST(DeviceLinkCodec, HuntsForItsPrefixAndDropsBadFrames) {
  const Bytes identity{0x20, 0x00, 0x00, 0x00};
  const Bytes good = EncodeLinkFrame("KE", identity);
  Bytes bad = good;
  bad.back() ^= 1;
  struct Case {
    const char* name;
    Bytes stream;
    size_t frames;
    int badChecks;
  };
  const Case cases[] = {
      {"clean", good, 1, 0},
      {"another prefix", EncodeLinkFrame("NK", identity), 0, 0},
      {"K K E does not synchronise", test::Join({'K'}, good), 0, 0},
      {"bad check byte then good", test::Join(bad, good), 1, 1},
      {"length 0 is no frame", test::Join({'K', 'E', 0x00}, good), 1, 0},
      {"length 40 is no frame", test::Join({'K', 'E', 40}, good), 1, 0},
      {"length 39 is", EncodeLinkFrame("KE", Bytes(39, 0x11)), 1, 0},
  };
  for (const auto& c : cases) {
    LinkFrameHunter hunter("KE");
    size_t frames = 0;
    int badChecks = 0;
    for (uint8_t b : c.stream) {
      const auto event = hunter.Feed(b);
      frames += event == LinkFrameHunter::Event::kFrame;
      badChecks += event == LinkFrameHunter::Event::kBadChecksum;
    }
    EXPECT_EQ(frames, c.frames) << c.name;
    EXPECT_EQ(badChecks, c.badChecks) << c.name;
  }
}

}  // namespace
}  // namespace bq::sim
