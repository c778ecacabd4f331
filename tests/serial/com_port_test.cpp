// The port over a pseudo-terminal: time-outs, writes, errors, exclusivity,
// the receive notification and a device that disappears.

#include "serial/com_port.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

#include "port_fixture.h"
#include "serial/linux/raw_line.h"

namespace bq::test {
namespace {

using std::chrono::milliseconds;

// Waits up to a second for cond.
bool Eventually(const std::function<bool()>& cond) {
  for (int i = 0; i < 1000; ++i) {
    if (cond()) return true;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return cond();
}

using ReadTimeouts = PortFixture;

TEST_F(ReadTimeouts, MissingByteUnderProbeSetCostsAbout110Ms) {
  OpenPort();
  ApplyReadTimeouts(port_, ProbeTimeouts);
  uint8_t byte = 0;
  bool got = true;
  double ms = ElapsedMs([&] { got = ReadByteTimed(port_, byte); });
  EXPECT_FALSE(got);
  EXPECT_GE(ms, 100.0);
  EXPECT_LT(ms, 300.0);
}

TEST_F(ReadTimeouts, MissingByteAfterOpenCostsAbout1100Ms) {
  OpenPort();
  EXPECT_EQ(port().GetTimeouts(), kOpenTimeouts);
  uint8_t byte = 0;
  bool got = true;
  double ms = ElapsedMs([&] { got = ReadByteTimed(port_, byte); });
  EXPECT_FALSE(got);
  EXPECT_GE(ms, 1090.0);
  EXPECT_LT(ms, 1400.0);
}

TEST_F(ReadTimeouts, ApplyKeepsTheWriteValues) {
  OpenPort();
  port().SetTimeouts({1, 2, 3, 40, 50});
  ApplyReadTimeouts(port_, kLongEraseTimeouts);
  EXPECT_EQ(port().GetTimeouts(), (Timeouts{500, 1000, 10000, 40, 50}));
}

TEST_F(ReadTimeouts, ByteThatArrivesLateIsReturnedWhenItComes) {
  OpenPort();
  std::thread late([&] {
    std::this_thread::sleep_for(milliseconds(200));
    peer.Write({0x5A});
  });
  uint8_t byte = 0;
  bool got = false;
  double ms = ElapsedMs([&] { got = ReadByteTimed(port_, byte); });
  late.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_GE(ms, 190.0);
  EXPECT_LT(ms, 400.0);
}

// A pause longer than readInterval after some bytes ends the read long before
// its total time-out, with what came.
TEST(ReadInterval, PauseBetweenBytesEndsTheRead) {
  PtyPeer peer;
  auto backend = MakeDefaultSerialBackend();
  backend->Open(peer.SlaveName());
  backend->ApplyLineSettings({38400, true, true});
  peer.Write({1, 2, 3});
  uint8_t buffer[10] = {};
  size_t got = 0;
  double ms = ElapsedMs([&] { got = backend->Read(buffer, 10, kOpenTimeouts); });
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_GE(ms, 45.0);
  EXPECT_LT(ms, 250.0) << "the total limit would be 2000 ms";
  backend->Close();
}

using PortOperations = PortFixture;

TEST_F(PortOperations, ShortReadWithWaitRaisesTimeout) {
  OpenPort();
  ApplyReadTimeouts(port_, ProbeTimeouts);
  peer.Write({7, 8});
  uint8_t buffer[4];
  try {
    port().ReadBytes(buffer, 4, true);
    FAIL() << "no error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kTimeoutText);
  }
}

TEST_F(PortOperations, ReadAvailableNeverWaits) {
  OpenPort();
  Bytes none;
  EXPECT_LT(ElapsedMs([&] { none = port().ReadAvailable(); }), 20.0);
  EXPECT_TRUE(none.empty());
  peer.Write({1, 2, 3, 4, 5});
  ASSERT_TRUE(Eventually([&] { return port().InputCount() == 5; }));
  EXPECT_EQ(port().ReadAvailable(), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(port().InputCount(), 0u);
}

// The peer reads nothing, so most of a large write cannot leave at once:
// WriteString still returns at once, and every byte arrives in order later.
// A waiting read takes every byte already there; the ones the caller did not
// ask for stay the port's input until read, counted or purged.
TEST_F(PortOperations, BytesReadAheadAreCountedReadAndPurged) {
  OpenPort();
  peer.Write({1, 2, 3, 4, 5});
  ASSERT_TRUE(Eventually([&] { return port().InputCount() == 5; }));
  EXPECT_EQ(port().ReadByte(), 1);
  EXPECT_EQ(port().InputCount(), 4u);
  uint8_t two[2] = {};
  EXPECT_EQ(port().ReadBytes(two, 2, false), 2u);
  EXPECT_EQ(two[1], 3);
  EXPECT_EQ(port().ReadAvailable(), (Bytes{4, 5}));

  peer.Write({6, 7, 8});
  ASSERT_TRUE(Eventually([&] { return port().InputCount() == 3; }));
  EXPECT_EQ(port().ReadByte(), 6);
  port().PurgeInput();  // a late reply must not be taken for the next one
  EXPECT_EQ(port().InputCount(), 0u);
  peer.Write({9});
  EXPECT_EQ(port().ReadByte(), 9);
}

// A read served partly from the read-ahead still waits for the rest.
TEST_F(PortOperations, ReadLongerThanTheReadAheadWaitsForTheRest) {
  OpenPort();
  port().SetTimeouts({1000, 100, 1000, 0, 0});  // a loaded machine must not end the read
  peer.Write({1, 2, 3});
  ASSERT_TRUE(Eventually([&] { return port().InputCount() == 3; }));
  EXPECT_EQ(port().ReadByte(), 1);
  std::thread late([&] {
    ASSERT_TRUE(Eventually([&] { return port().InputCount() == 0; }));
    peer.Write({4});
  });
  uint8_t three[3] = {};
  port().ReadBytes(three, 3, true);
  late.join();
  EXPECT_EQ(three[0], 2);
  EXPECT_EQ(three[2], 4);
}

TEST_F(PortOperations, WriteStringReturnsAtOnceAndLosesNothing) {
  OpenPort();
  Bytes big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 13);
  EXPECT_LT(ElapsedMs([&] { port().WriteString(big); }), 100.0);
  EXPECT_GT(port().OutputCount(), 0u);
  std::thread reader([&] { EXPECT_EQ(peer.Read(big.size()), big); });
  port().WriteString({0xAB});  // waits for the first write, then goes after it
  reader.join();
  EXPECT_EQ(peer.Read(1), Bytes{0xAB});
  EXPECT_EQ(port().OutputCount(), 0u);
}

TEST_F(PortOperations, PurgeOutputAbortsTheWriteUnderWay) {
  OpenPort();
  port().WriteString(Bytes(200000, 0x55));
  double ms = ElapsedMs([&] { port().PurgeOutput(); });
  EXPECT_LT(ms, 200.0);
  EXPECT_EQ(port().OutputCount(), 0u);
  port().WriteString({0x01});  // not refused for the aborted write
}

TEST_F(PortOperations, ClosedPortErrors) {
  struct Case {
    const char* name;
    std::function<void(TComPortGPS&)> call;
    std::string text;
  };
  uint8_t buffer[1];
  const Case cases[] = {
      {"ReadByte", [](TComPortGPS& p) { p.ReadByte(); }, kClosedPortText},
      {"ReadBytes", [&](TComPortGPS& p) { p.ReadBytes(buffer, 1, false); }, kClosedPortText},
      {"ReadAvailable", [](TComPortGPS& p) { p.ReadAvailable(); }, kClosedPortText},
      {"WriteString", [](TComPortGPS& p) { p.WriteString({1}); }, kClosedPortText},
      {"SetDTR", [](TComPortGPS& p) { p.SetDTR(); }, kClosedPortText},
      {"ClearRTS", [](TComPortGPS& p) { p.ClearRTS(); }, kClosedPortText},
      {"ResetDevice", [](TComPortGPS& p) { p.ResetDevice(); }, kClosedPortText},
      {"InputCount", [](TComPortGPS& p) { p.InputCount(); }, std::strerror(EBADF)},
      {"OutputCount", [](TComPortGPS& p) { p.OutputCount(); }, std::strerror(EBADF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.call(port());
      ADD_FAILURE() << "no error";
    } catch (const PortError& e) {
      EXPECT_EQ(e.what(), c.text);
    }
  }
  // Purges and Flush have nothing to do on a closed port.
  port().PurgeInput();
  port().PurgeOutput();
  port().ClearInput();
  port().ClearOutput();
  port().Flush();
}

TEST_F(PortOperations, DeviceNameCannotChangeWhileOpen) {
  OpenPort();
  try {
    port().SetDeviceName("/dev/null");
    FAIL() << "no error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kOpenPortText);
  }
  EXPECT_EQ(port().DeviceName(), peer.SlaveName());
}

TEST_F(PortOperations, AnyRateIsSetOnTheLine) {
  for (uint16_t rate : {4545, 9600, 38400}) {
    OpenPort(rate);
    unsigned in = 0, out = 0;
    ASSERT_EQ(rawline::GetRates(peer.Master(), &in, &out), 0);
    EXPECT_EQ(in, rate);
    EXPECT_EQ(out, rate);
  }
  port().SetBaudRate(19200);  // applied at once on an open port
  unsigned in = 0, out = 0;
  ASSERT_EQ(rawline::GetRates(peer.Master(), &in, &out), 0);
  EXPECT_EQ(out, 19200u);
}

using BootPortRoutines = PortFixture;

TEST_F(BootPortRoutines, OpenFailuresShowNothingButKeepTheReason) {
  EXPECT_FALSE(OpenBootPort(port_, ui, 38400, "/dev/ttyNoSuchPort99"));
  EXPECT_FALSE(port().IsOpen());
  EXPECT_EQ(port().LastErrorCode(), ENOENT);
  EXPECT_EQ(port().LastError(), std::strerror(ENOENT));
  EXPECT_TRUE(ui.events.empty());
}

TEST_F(BootPortRoutines, EmptyNameAsksForAPort) {
  EXPECT_FALSE(OpenBootPort(port_, ui, 38400, ""));
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{" Falta configurar porta"});
}

TEST_F(BootPortRoutines, PortHeldByAnotherProgramIsRefused) {
  TComPortGPS other;
  other.SetDeviceName(peer.SlaveName());
  other.Open();
  EXPECT_FALSE(OpenBootPort(port_, ui, 38400, peer.SlaveName()));
  EXPECT_EQ(port().LastErrorCode(), EBUSY);
  EXPECT_TRUE(ui.events.empty());
  other.Close();
  EXPECT_TRUE(OpenBootPort(port_, ui, 38400, peer.SlaveName()));
  EXPECT_TRUE(port().LastError().empty());
}

TEST_F(BootPortRoutines, PortLockedInAnotherProcessIsRefused) {
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = ::open(peer.SlaveName().c_str(), O_RDWR | O_NOCTTY);
    char c = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'L' : 'E';
    [[maybe_unused]] auto w = ::write(toParent[1], &c, 1);
    [[maybe_unused]] auto r = ::read(toChild[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(toParent[0], &c, 1), 1);
  ASSERT_EQ(c, 'L');
  EXPECT_FALSE(OpenBootPort(port_, ui, 38400, peer.SlaveName()));
  EXPECT_EQ(port().LastErrorCode(), EBUSY);
  ASSERT_EQ(::write(toChild[1], &c, 1), 1);
  waitpid(child, nullptr, 0);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
}

// Another program's ways of asking for the device; each says whether it got it.
struct Contender {
  const char* name;
  bool (*takes)(const std::string& device);
};

const Contender kContenders[] = {
    {"another port object",
     [](const std::string& device) {
       TComPortGPS rival;
       rival.SetDeviceName(device);
       try {
         rival.Open();
       } catch (const PortError& e) {
         return e.osCode() != EBUSY;  // only "busy" is the expected refusal
       }
       return true;
     }},
    {"an advisory lock",
     [](const std::string& device) {
       int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
       bool got = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
       if (fd >= 0) ::close(fd);
       return got;
     }},
};

using CommandHold = PortFixture;

TEST_F(CommandHold, ClosedPortStaysOursUntilTheHoldEnds) {
  for (const Contender& rival : kContenders) {
    SCOPED_TRACE(rival.name);
    port().BeginCommandHold();
    OpenPort(19200);
    CloseBootPort(port_);
    EXPECT_FALSE(rival.takes(peer.SlaveName()));
    OpenPort(38400);
    peer.Write({0x5A});
    uint8_t byte = 0;
    EXPECT_TRUE(ReadByteTimed(port_, byte));
    EXPECT_EQ(byte, 0x5A);
    CloseBootPort(port_);
    port().EndCommandHold();
    EXPECT_TRUE(rival.takes(peer.SlaveName()));
  }
}

TEST_F(CommandHold, PollingRivalNeverGetsThePortDuringTheReopenings) {
  std::atomic<bool> done{false};
  std::atomic<int> tries{0};
  std::atomic<bool> taken{false};
  port().BeginCommandHold();
  OpenPort(19200);
  std::thread rival([&] {
    while (!done) {
      if (kContenders[0].takes(peer.SlaveName())) taken = true;
      ++tries;
    }
  });
  ASSERT_TRUE(Eventually([&] { return tries > 0; }));
  for (uint16_t rate : {38400, 19200, 38400}) OpenPort(rate);  // each closes, waits, reopens
  done = true;
  rival.join();
  EXPECT_FALSE(taken);
  CloseBootPort(port_);
  port().EndCommandHold();
}

TEST_F(CommandHold, HoldTakenOnAnOpenPortCoversTheNextReopening) {
  OpenPort();
  port().BeginCommandHold();
  CloseBootPort(port_);
  EXPECT_FALSE(kContenders[1].takes(peer.SlaveName()));
  OpenPort();
  port().EndCommandHold();
  EXPECT_FALSE(kContenders[1].takes(peer.SlaveName()));  // still open, still locked
  CloseBootPort(port_);
  EXPECT_TRUE(kContenders[1].takes(peer.SlaveName()));
}

TEST_F(BootPortRoutines, ReopenClosesFirstAndTakesTheNewRate) {
  OpenPort(19200);
  ApplyReadTimeouts(port_, ProbeTimeouts);
  double ms = ElapsedMs([&] { OpenPort(38400); });
  EXPECT_GE(ms, 150.0);
  EXPECT_EQ(port().BaudRate(), 38400u);
  EXPECT_EQ(port().GetTimeouts(), kOpenTimeouts);
}

TEST_F(BootPortRoutines, CloseBootPortClosesAnOpenPortOnly) {
  CloseBootPort(port_);  // closed: nothing to do
  OpenPort();
  port().WriteString({1, 2, 3});
  EXPECT_EQ(peer.Read(3), (Bytes{1, 2, 3}));
  CloseBootPort(port_);
  EXPECT_FALSE(port().IsOpen());
  CloseBootPort(port_);
}

// Closing right after a write still delivers it: a scan's closing run or a
// restart request is the last thing a command says before it closes.
TEST_F(BootPortRoutines, CloseBootPortDeliversWhatWasWritten) {
  for (size_t size : {size_t{1}, size_t{24}, size_t{1000}}) {
    OpenPort(4545);
    port().WriteString(Bytes(size, 'N'));
    CloseBootPort(port_);
    EXPECT_EQ(peer.Read(size), Bytes(size, 'N')) << size;
  }
}

// Bytes that never leave (the peer reads nothing of a large write): the close
// gives up after eleven waits of 100 ms.
TEST_F(BootPortRoutines, CloseBootPortGivesUpOnOutputThatNeverLeaves) {
  OpenPort();
  port().WriteString(Bytes(200000, 0x55));
  double ms = ElapsedMs([&] { CloseBootPort(port_); });
  EXPECT_FALSE(port().IsOpen());
  EXPECT_GE(ms, 1090.0);
  EXPECT_LT(ms, 1500.0);
}

using Unplug = PortFixture;

TEST_F(Unplug, ReadFailsAndThePortClosesItself) {
  OpenPort();
  std::thread pull([&] {
    std::this_thread::sleep_for(milliseconds(50));
    peer.Unplug();
  });
  uint8_t byte = 0;
  bool got = true;
  double ms = ElapsedMs([&] { got = ReadByteTimed(port_, byte); });
  pull.join();
  EXPECT_FALSE(got);
  EXPECT_LT(ms, 500.0) << "the loss is seen at once, not at the time-out";
  EXPECT_FALSE(port().IsOpen());
  EXPECT_FALSE(ReadByteTimed(port_, byte));
  CloseBootPort(port_);
}

TEST_F(Unplug, IdlePortNoticesThroughItsEventThread) {
  OpenPort();
  peer.Unplug();
  EXPECT_TRUE(Eventually([&] { return !port().IsOpen(); }));
  try {
    port().WriteString({1});
    FAIL() << "no error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kClosedPortText);
  }
  // A fresh device at the same place opens again.
  PtyPeer replugged;
  EXPECT_TRUE(OpenBootPort(port_, ui, 38400, replugged.SlaveName()));
}

using RxNotification = PortFixture;

TEST_F(RxNotification, FiresWithoutConsumingAndStopsAtClose) {
  std::atomic<int> calls{0};
  port().SetRxCharHandler([&] { ++calls; });
  OpenPort();
  port().SetTimeouts({1000, 100, 1000, 0, 0});  // a loaded machine must not end the read
  peer.Write({1, 2, 3});
  ASSERT_TRUE(Eventually([&] { return calls > 0; }));
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_LE(calls, 3) << "unread bytes must not keep waking the thread";
  EXPECT_EQ(port().InputCount(), 3u);
  const int beforeSecond = calls;
  peer.Write({4});
  ASSERT_TRUE(Eventually([&] { return calls > beforeSecond; }));
  CloseBootPort(port_);
  int atClose = calls;
  peer.Write({5});
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(calls, atClose);
}

// A link exchange reads on the event thread, and may close the port from there.
TEST_F(RxNotification, HandlerMayReadAndClose) {
  Bytes seen;
  std::atomic<bool> done{false};
  port().SetRxCharHandler([&] {
    Bytes b = port().ReadAvailable();
    seen.insert(seen.end(), b.begin(), b.end());
    port().Close();
    done = true;
  });
  OpenPort();
  peer.Write({9, 8});
  ASSERT_TRUE(Eventually([&] { return done.load(); }));
  EXPECT_FALSE(port().IsOpen());
  EXPECT_EQ(seen, (Bytes{9, 8}));
  EXPECT_TRUE(OpenBootPort(port_, ui, 38400, peer.SlaveName()));
}

}  // namespace
}  // namespace bq::test
