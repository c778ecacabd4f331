// Pulling and re-plugging the cable: the tool sees a hang-up, and the stable
// link follows the device to its new pseudo-terminal.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "requests.h"

namespace bq::sim::test {
namespace {

namespace fs = std::filesystem;

class LinkDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "bq-sim-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Link() const { return dir_ / "ttyQuarn"; }

  fs::path dir_;
};

TEST_F(LinkDir, UnplugHangsUpAndReplugMovesTheLink) {
  SimOptions options;
  options.linkPath = Link();
  auto device = StartDevice(options);
  EXPECT_EQ(fs::read_symlink(Link()), device->SlavePath());
  {
    LineClient line(Link(), 38400);
    ASSERT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
    device->Unplug();
    EXPECT_TRUE(line.WaitForHangup(200));
  }
  EXPECT_FALSE(device->Plugged());
  EXPECT_FALSE(fs::is_symlink(Link()));

  device->Replug();
  ASSERT_TRUE(fs::is_symlink(Link()));
  EXPECT_EQ(fs::read_symlink(Link()), device->SlavePath());
  LineClient line(Link(), 38400);
  EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
}

TEST_F(LinkDir, UnplugFaultStrikesAtItsRequestAndComesBack) {
  SimOptions options;
  options.linkPath = Link();
  Fault f;
  f.kind = FaultKind::kUnplug;
  f.request = 1;
  f.replugAfterMs = 50;
  options.faults = {f};
  auto device = StartDevice(options);
  {
    LineClient line(Link(), 38400);
    ASSERT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
    line.Write(Frame(ReadVersionRequest()));
    EXPECT_TRUE(line.WaitForHangup(200));
  }
  ASSERT_TRUE(WaitUntil([&] { return device->Plugged(); }));
  LineClient line(Link(), 38400);
  EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
  const auto requests = device->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].outcome, RequestOutcome::kUnplugged);
  EXPECT_EQ(device->Stats().unplugs, 1u);
}

// A board swap on a production line: a second device started on the same
// link takes the port over; the first one, stopped later, leaves it alone.
TEST_F(LinkDir, SecondDeviceTakesTheLinkOverAndKeepsIt) {
  SimOptions first;
  first.linkPath = Link();
  first.serialNumber = 1000;
  SimOptions second = first;
  second.serialNumber = 2000;
  auto oldBoard = StartDevice(first);
  {
    LineClient line(Link(), 38400);
    EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x03, 0xE8, 3, 1, 5, 0x00}));
  }
  auto newBoard = StartDevice(second);
  EXPECT_EQ(fs::read_symlink(Link()), newBoard->SlavePath());
  oldBoard->Stop();
  ASSERT_TRUE(fs::is_symlink(Link())) << "the old board took the new one's link along";
  {
    LineClient line(Link(), 38400);
    EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x07, 0xD0, 3, 1, 5, 0x00}));
  }
  EXPECT_EQ(oldBoard->Requests().size(), 1u);
  newBoard->Stop();
  EXPECT_FALSE(fs::is_symlink(Link()));
}

}  // namespace
}  // namespace bq::sim::test
