// write --ports: one process writes a bench of devices at once. Each station
// ends on its own (written, failed, declined, cancelled), one that fails does
// not stop the others, and every success is logged once and whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "image/firmware_loader.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

class BenchWrite : public CliProcess {
 protected:
  void SetUp() override {
    CliProcess::SetUp();
    FirmwareHeader header;
    ASSERT_TRUE(LoadFirmwareFile(kKfx, image_, header).ok());
  }
  void TearDown() override {
    for (auto& d : devices_) d->Stop();
    CliProcess::TearDown();
  }

  // One device per entry; the ports as --ports takes them.
  std::string StartBench(std::vector<sim::SimOptions> options) {
    std::string ports;
    uint16_t serial = 500;
    for (auto& o : options) {
      o.serialNumber = serial++;
      devices_.push_back(std::make_unique<sim::VirtualDevice>(o));
      devices_.back()->Start();
      paths_.push_back(devices_.back()->PortPath());
      ports += (ports.empty() ? "" : ",") + paths_.back();
    }
    return ports;
  }

  bool Holds(const sim::VirtualDevice& d) const {
    const std::vector<uint8_t> flash = d.Flash();
    return std::equal(image_.flash.begin() + ApplicationStart, image_.flash.end(),
                      flash.begin() + ApplicationStart);
  }

  static size_t LoggedWrites(const std::string& log) {
    size_t n = 0;
    for (size_t at = log.find(">Firmware gravado OK "); at != std::string::npos;
         at = log.find(">Firmware gravado OK ", at + 1))
      ++n;
    return n;
  }

  FirmwareImage image_;
  std::vector<std::unique_ptr<sim::VirtualDevice>> devices_;
  std::vector<std::string> paths_;  // as the devices started (an unplugged one has none)
};

sim::SimOptions Unplugged() {
  sim::SimOptions o;
  sim::Fault f;
  f.kind = sim::FaultKind::kUnplug;
  f.request = 12;  // in the middle of the flash blocks
  o.faults = {f};
  return o;
}

sim::SimOptions Newer() {
  sim::SimOptions o;
  o.firmwareVersion = 9;
  return o;
}

struct BenchCase {
  const char* name;
  std::vector<sim::SimOptions> devices;
  int exitStatus;
  std::vector<std::string> results;  // per station
};

class BenchWriteEnds : public BenchWrite, public ::testing::WithParamInterface<BenchCase> {};

TEST_P(BenchWriteEnds, EachStationEndsOnItsOwn) {
  const BenchCase& c = GetParam();
  const std::string ports = StartBench(c.devices);
  const CliRun r = Cli({"write", kKfx, "--ports", ports, "--no", "--json"});
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, c.exitStatus) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["ok"], c.exitStatus == 0);
  EXPECT_EQ(j["file"], kKfx);
  ASSERT_EQ(j["stations"].size(), c.devices.size()) << r.out;
  size_t written = 0;
  for (size_t i = 0; i < c.devices.size(); ++i) {
    const nlohmann::json& s = j["stations"][i];
    SCOPED_TRACE(c.results[i] + " on " + paths_[i]);
    EXPECT_EQ(s["port"], paths_[i]);
    EXPECT_EQ(s["result"], c.results[i]);
    EXPECT_EQ(s["ok"], c.results[i] == "ok");
    EXPECT_EQ(Holds(*devices_[i]), c.results[i] == "ok");
    if (c.results[i] == "ok") ++written;
    if (c.results[i] == "failed") {
      // The station names where its device stopped answering.
      EXPECT_EQ(s["failure"]["phase"], "writeFlash") << s.dump();
      EXPECT_GT(s["failure"]["address"].get<uint32_t>(), ApplicationStart) << s.dump();
    }
  }
  EXPECT_EQ(LoggedWrites(ProductionLog()), written) << ProductionLog();
}

INSTANTIATE_TEST_SUITE_P(
    Bench, BenchWriteEnds,
    ::testing::Values(
        BenchCase{"FourWritten", std::vector<sim::SimOptions>(4), 0, {"ok", "ok", "ok", "ok"}},
        BenchCase{"OneUnpluggedMidway", {{}, Unplugged(), {}, {}}, 1, {"ok", "failed", "ok", "ok"}},
        BenchCase{
            "OneDowngradeDeclined", {{}, {}, Newer(), {}}, 1, {"ok", "ok", "declined", "ok"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Without a terminal each station leaves one summary line as it ends.
TEST_F(BenchWrite, OneSummaryLinePerStation) {
  const std::string ports = StartBench({{}, Unplugged()});
  const CliRun r = Cli({"write", kKfx, "--ports", ports});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find(paths_[0] + ": done, NS 500, 3.01 -> 3.07"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(paths_[1] + ": failed, NS 501"), std::string::npos) << r.out;
}

// Ctrl+C cancels every station at its next block; the run ends as cancelled.
TEST_F(BenchWrite, ACancelStopsEveryStation) {
  std::vector<sim::SimOptions> slow(3);
  for (auto& o : slow) o.writeDelayMs = 50;
  const std::string ports = StartBench(slow);
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"write", kKfx, "--ports", ports, "--json"}, null);
  ::close(null);
  // Every station has started writing its flash.
  ASSERT_TRUE(WaitUntil([&] {
    for (auto& d : devices_) {
      if (CountRequests(*d, IsFlashWrite) == 0) return false;
    }
    return true;
  }));
  ::kill(pid, SIGINT);
  const CliRun r = Finish(pid);
  EXPECT_EQ(r.status, 130) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  for (const auto& s : j["stations"]) EXPECT_EQ(s["result"], "cancelled") << s.dump();
  for (auto& d : devices_) EXPECT_FALSE(Holds(*d)) << d->PortPath();
  EXPECT_EQ(LoggedWrites(ProductionLog()), 0u);
}

// On a terminal the stations' lines are drawn in place: after the first
// drawing each redraw moves the cursor back up over one line per station, and
// the last drawing leaves every station done at 100%.
TEST_F(BenchWrite, OnATerminalEachStationsLineIsRedrawnInPlace) {
  std::vector<sim::SimOptions> paced(2);
  for (auto& o : paced) o.writeDelayMs = 25;  // several redraws while the flash is written
  const std::string ports = StartBench(paced);
  Terminal t;
  OpenTerminal(t);
  std::string screen;
  std::atomic<bool> done{false};
  std::jthread reader([&] {
    // The terminal is read while the program runs, so that it never fills up.
    char buffer[4096];
    for (;;) {
      pollfd p{t.master, POLLIN, 0};
      const int ready = ::poll(&p, 1, 50);
      if (ready > 0) {
        const ssize_t n = ::read(t.master, buffer, sizeof buffer);
        if (n > 0) screen.append(buffer, static_cast<size_t>(n));
        if (n <= 0) break;
      } else if (done) {
        break;
      }
    }
  });
  errTerminal_ = t.slave;
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"write", kKfx, "--ports", ports, "--no"}, null);
  ::close(null);
  const CliRun r = Finish(pid);
  done = true;
  reader.join();
  EXPECT_EQ(r.status, 0) << r.out;

  // The drawings: each starts with the cursor moved up two lines.
  const std::string up = "\033[2A";
  std::vector<std::string> drawings;
  for (size_t at = screen.find(up); at != std::string::npos;) {
    const size_t next = screen.find(up, at + up.size());
    drawings.push_back(screen.substr(at + up.size(), next - at - up.size()));
    at = next;
  }
  ASSERT_GE(drawings.size(), 2u) << screen;
  bool sawProgress = false;
  for (const std::string& d : drawings) {
    // One cleared line per station, in the order of the ports.
    std::vector<std::string> lines;
    for (size_t at = d.find("\r\033[K"); at != std::string::npos;) {
      const size_t next = d.find("\r\033[K", at + 1);
      std::string line = d.substr(at + 4, next - at - 4);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      lines.push_back(line);
      at = next;
    }
    ASSERT_EQ(lines.size(), 2u) << d;
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(lines[i].rfind(paths_[i] + "  ", 0), 0u) << lines[i];
      if (lines[i].find("writing") != std::string::npos) sawProgress = true;
    }
  }
  EXPECT_TRUE(sawProgress) << screen;
  const std::string& last = drawings.back();
  for (const auto& port : paths_)
    EXPECT_NE(last.find(port + "  done  100%"), std::string::npos) << last;
  // The summary lines follow, on stdout.
  EXPECT_NE(r.out.find(paths_[0] + ": done"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(paths_[1] + ": done"), std::string::npos) << r.out;
}

TEST_F(BenchWrite, APortListThatCannotBeUsedIsAUsageError) {
  for (const char* ports : {"/dev/ttyUSB0,,/dev/ttyUSB1", "/dev/ttyUSB0,/dev/ttyUSB0"}) {
    const CliRun r = Cli({"write", kKfx, "--ports", ports});
    EXPECT_EQ(r.status, 2) << ports << "\n" << r.err;
  }
  const CliRun both = Cli({"write", kKfx, "--ports", "/dev/ttyUSB0", "--port", "/dev/ttyUSB1"});
  EXPECT_EQ(both.status, 2) << both.err;
}

}  // namespace
}  // namespace bq::cli
