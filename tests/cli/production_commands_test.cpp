// upgrade-zircon and loop run as programs: accessories on one link, swapped
// by a second virtual device taking the link over, each written with the file
// of its own serial number from a generated batch.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_process.h"
#include "image/firmware_loader.h"

namespace bq::cli::testing {
namespace {

using sim::Personality;

class ProductionCli : public CliProcess {
 protected:
  void SetUp() override {
    CliProcess::SetUp();
    link_ = dataHome_ + "/tty";
    const std::string source = dataHome_ + "/fw.kfx";
    fs::copy_file(kKfx, source);
    ASSERT_EQ(Cli({"generate", source, "--first", "0", "--end", "150"}).status, 0);
  }
  void TearDown() override {
    for (auto& d : boards_) d->Stop();
    CliProcess::TearDown();
  }

  // A board on the link in place of the one before (stopped once replaced).
  sim::VirtualDevice& Swap(Personality personality, uint16_t serial) {
    sim::SimOptions options;
    options.personality = personality;
    options.serialNumber = serial;
    options.linkPath = link_;
    boards_.push_back(std::make_unique<sim::VirtualDevice>(options));
    boards_.back()->Start();
    if (boards_.size() > 1) boards_[boards_.size() - 2]->Stop();
    return *boards_.back();
  }
  void Unplug() {
    for (auto& d : boards_) d->Stop();
  }

  // The generated file of serial: blocks 0..99 and 100..199 beside fw.kfx.
  std::string FileOf(int serial) const {
    const std::string block = serial < 100 ? "0_99" : "100_199";
    for (const auto& dir : fs::directory_iterator(dataHome_)) {
      if (dir.path().filename().string().find("_" + block + "_v") == std::string::npos) continue;
      for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.find("_NS" + std::string(6 - std::to_string(serial).size(), '0') +
                      std::to_string(serial) + ".") != std::string::npos) {
          return e.path().string();
        }
      }
    }
    return {};
  }

  std::string link_;
  std::vector<std::unique_ptr<sim::VirtualDevice>> boards_;
};

TEST_F(ProductionCli, UpgradeZirconWritesTheFileOfEachSerialNumber) {
  struct Case {
    int serial;  // 0: nothing on the link
    bool withFile;
    int status;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {150, true, 0, {"Inicia Upgrade", "NS=150", "OK (NS150)", "NS=150 grava Ok"}},
      // Without FILE: the last file used, from the settings, in the other block.
      {42, false, 0, {"Inicia Upgrade", "NS=42", "OK (NS42)", "NS=42 grava Ok"}},
      {0, false, 1, {"Inicia Upgrade", "Falha Boot"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    if (c.serial) {
      Swap(Personality::kZirconBox, static_cast<uint16_t>(c.serial));
    } else {
      Unplug();
    }
    std::vector<std::string> args = {"upgrade-zircon", "--port", link_, "--json"};
    if (c.withFile) args.push_back(FileOf(36));
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["ok"], c.status == 0);
    EXPECT_EQ(j["lines"], c.lines);
    if (c.serial) {
      EXPECT_EQ(j["serialNumber"], c.serial);
      EXPECT_EQ(j["file"], FileOf(c.serial));
      EXPECT_EQ(j["write"]["ok"], true);
      EXPECT_EQ(j["write"]["header"]["serialNumber"], c.serial);
    } else {
      EXPECT_TRUE(j["write"].is_null());
    }
  }
  const std::string log = ProductionLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), '>'), 2);
}

TEST_F(ProductionCli, LoopWritesEachSwappedBoardUntilTheLimit) {
  Swap(Personality::kSensorZircon, 42);
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"loop", FileOf(36), "--port", link_, "--max", "2", "--json"}, null);
  ::close(null);
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadWhole(ErrPath()).find("NS 42: written") != std::string::npos; }, 60s));
  Swap(Personality::kSensorZircon, 57);
  const CliRun r = Finish(pid);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["ok"], true);
  EXPECT_GE(j["turns"], 2);
  const nlohmann::json devices = {{{"serialNumber", 42}, {"file", FileOf(42)}, {"ok", true}},
                                  {{"serialNumber", 57}, {"file", FileOf(57)}, {"ok", true}}};
  EXPECT_EQ(j["devices"], devices);
  EXPECT_EQ(r.err.find("Cancelado"), std::string::npos);
}

TEST_F(ProductionCli, CtrlCEndsTheLoop) {
  Swap(Personality::kBoot, 7);  // a port that opens, where no accessory answers
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"loop", FileOf(36), "--port", link_, "--json"}, null);
  ::close(null);
  ASSERT_TRUE(
      WaitUntil([&] { return ReadWhole(ErrPath()).find("NSxxxxxx") != std::string::npos; }));
  ::kill(pid, SIGINT);
  const CliRun r = Finish(pid);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0) << r.err;  // no device met, none left unwritten
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["devices"], nlohmann::json::array());
  EXPECT_NE(r.err.find("Cancelado"), std::string::npos);

  EXPECT_EQ(Cli({"loop", dataHome_ + "/fw.kfx", "--port", link_}).status, 2);  // no "_NS"
}

// A port that will not open is said once; the loop then waits for it, trying
// a few times a second, not spinning. Never opened, the loop ends as a
// failure; once it comes back, its board is written.
TEST_F(ProductionCli, LoopWaitsForAPortThatWillNotOpen) {
  const std::string said = "cannot open " + link_;
  const auto count = [](const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn({"loop", FileOf(36), "--port", link_, "--json"}, null);
    ::close(null);
    const bool reported =
        WaitUntil([&] { return ReadWhole(ErrPath()).find(said) != std::string::npos; });
    ::kill(pid, reported ? SIGTERM : SIGKILL);
    const CliRun r = Finish(pid);
    ASSERT_TRUE(reported) << r.err;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 1) << r.err;
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out;
    EXPECT_EQ(j["ok"], false);
    EXPECT_GE(j["turns"], 1);
    EXPECT_LE(j["turns"].get<double>(), seconds / 0.25 + 2) << seconds << " s";
    EXPECT_EQ(count(r.err, said), 1u) << r.err;
  }
  {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn({"loop", FileOf(36), "--port", link_, "--max", "1", "--json"}, null);
    ::close(null);
    const bool reported =
        WaitUntil([&] { return ReadWhole(ErrPath()).find(said) != std::string::npos; });
    if (reported) Swap(Personality::kSensorZircon, 42);
    if (!reported) ::kill(pid, SIGKILL);
    const CliRun r = Finish(pid);
    ASSERT_TRUE(reported) << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["devices"].size(), 1u);
    EXPECT_EQ(j["ok"], true);
    EXPECT_EQ(count(r.err, said), 1u) << r.err;
  }
}

// loop --ports: one loop per port in one process. Each board is written with
// the file of its own serial number and told on a line naming its port; a
// port that will not open is said once and does not hold the others up.
TEST_F(ProductionCli, LoopOnSeveralPortsWritesEachPortsBoard) {
  const std::vector<uint16_t> serials = {42, 57};
  std::string ports;
  for (size_t i = 0; i < serials.size(); ++i) {
    sim::SimOptions options;
    options.personality = Personality::kSensorZircon;
    options.serialNumber = serials[i];
    options.linkPath = link_ + std::to_string(i);
    boards_.push_back(std::make_unique<sim::VirtualDevice>(options));
    boards_.back()->Start();
    ports += options.linkPath + ",";
  }
  const std::string missing = link_ + "_missing";
  ports += missing;

  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"loop", FileOf(36), "--ports", ports, "--max", "1", "--json"}, null);
  ::close(null);
  const auto told = [&](const std::string& line) {
    return ReadWhole(ErrPath()).find(line) != std::string::npos;
  };
  // Both boards written, the missing port reported: its loop alone waits on.
  const bool ready = WaitUntil(
      [&] {
        return told(link_ + "0: NS 42: written") && told(link_ + "1: NS 57: written") &&
               told(missing + ": cannot open " + missing);
      },
      60s);
  ::kill(pid, SIGINT);
  const CliRun r = Finish(pid);
  ASSERT_TRUE(ready) << r.err;
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 1) << r.err;  // one port never opened

  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["ok"], false);
  ASSERT_EQ(j["stations"].size(), 3u) << r.out;
  for (size_t i = 0; i < serials.size(); ++i) {
    const nlohmann::json& s = j["stations"][i];
    SCOPED_TRACE(s.dump());
    EXPECT_EQ(s["port"], link_ + std::to_string(i));
    EXPECT_EQ(s["ok"], true);
    EXPECT_EQ(s["status"], 0);
    const nlohmann::json devices = {
        {{"serialNumber", serials[i]}, {"file", FileOf(serials[i])}, {"ok", true}}};
    EXPECT_EQ(s["devices"], devices);
    // The board holds its own file's application.
    FirmwareImage image;
    FirmwareHeader header;
    ASSERT_TRUE(LoadFirmwareFile(FileOf(serials[i]), image, header).ok());
    const std::vector<uint8_t> flash = boards_[i]->Flash();
    EXPECT_TRUE(std::equal(image.flash.begin() + ApplicationStart, image.flash.end(),
                           flash.begin() + ApplicationStart));
    EXPECT_TRUE(told(s["port"].get<std::string>() + ": turns: ")) << r.err;
    EXPECT_TRUE(told(", written: 1, not written: 0")) << r.err;
  }
  const nlohmann::json& gone = j["stations"][2];
  EXPECT_EQ(gone["port"], missing);
  EXPECT_EQ(gone["ok"], false);
  EXPECT_EQ(gone["status"], 1);
  EXPECT_EQ(gone["devices"], nlohmann::json::array());
  EXPECT_NE(gone["portError"].get<std::string>().find("cannot open " + missing), std::string::npos);
  const std::string said = missing + ": cannot open " + missing;
  size_t times = 0;
  for (size_t at = r.err.find(said); at != std::string::npos; at = r.err.find(said, at + 1))
    ++times;
  EXPECT_EQ(times, 1u) << r.err;
  const std::string log = ProductionLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), '>'), 2) << log;
}

// Each port's loop ends as a single loop ends: Ctrl+C ends them all, and with
// no board left unwritten the run is a success.
TEST_F(ProductionCli, CtrlCEndsTheLoopOfEveryPort) {
  std::string ports;
  for (int i = 0; i < 2; ++i) {
    sim::SimOptions options;
    options.personality = Personality::kBoot;  // opens, no accessory answers
    options.serialNumber = static_cast<uint16_t>(7 + i);
    options.linkPath = link_ + std::to_string(i);
    boards_.push_back(std::make_unique<sim::VirtualDevice>(options));
    boards_.back()->Start();
    ports += (ports.empty() ? "" : ",") + options.linkPath;
  }
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"loop", FileOf(36), "--ports", ports, "--json"}, null);
  ::close(null);
  // Both loops are watching their ports.
  const bool turning = WaitUntil([&] {
    const std::string err = ReadWhole(ErrPath());
    return err.find(link_ + "0: watching") != std::string::npos &&
           err.find(link_ + "1: watching") != std::string::npos;
  });
  ::kill(pid, SIGINT);
  const CliRun r = Finish(pid);
  ASSERT_TRUE(turning) << r.err;
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["ok"], true);
  ASSERT_EQ(j["stations"].size(), 2u);
  for (const auto& s : j["stations"]) {
    EXPECT_EQ(s["devices"], nlohmann::json::array()) << s.dump();
    EXPECT_GE(s["turns"], 1) << s.dump();
  }

  EXPECT_EQ(Cli({"loop", dataHome_ + "/fw.kfx", "--ports", ports}).status, 2);  // no "_NS"
  EXPECT_EQ(Cli({"loop", FileOf(36), "--ports", ports, "--port", link_}).status, 2);
}

// Ctrl+C while every port writes its board: each write stops at its next
// block, each loop ends, and the run ends as cancelled.
TEST_F(ProductionCli, CtrlCStopsTheWriteOnEveryPort) {
  std::string ports;
  for (int i = 0; i < 2; ++i) {
    sim::SimOptions options;
    options.personality = Personality::kSensorZircon;
    options.serialNumber = static_cast<uint16_t>(42 + i);
    options.linkPath = link_ + std::to_string(i);
    options.writeDelayMs = 50;
    boards_.push_back(std::make_unique<sim::VirtualDevice>(options));
    boards_.back()->Start();
    ports += (ports.empty() ? "" : ",") + options.linkPath;
  }
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"loop", FileOf(36), "--ports", ports, "--json"}, null);
  ::close(null);
  const bool writing = WaitUntil(
      [&] {
        return CountRequests(*boards_[0], IsFlashWrite) > 0 &&
               CountRequests(*boards_[1], IsFlashWrite) > 0;
      },
      60s);
  ::kill(pid, SIGINT);
  const CliRun r = Finish(pid);
  ASSERT_TRUE(writing) << r.err;
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 130) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["ok"], false);
  ASSERT_EQ(j["stations"].size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const nlohmann::json& s = j["stations"][i];
    SCOPED_TRACE(s.dump());
    EXPECT_EQ(s["status"], 130);
    ASSERT_EQ(s["devices"].size(), 1u);
    EXPECT_EQ(s["devices"][0]["ok"], false);
    // Stopped at its next block, long before the whole flash.
    EXPECT_LT(CountRequests(*boards_[i], IsFlashWrite), 50u);
  }
  const std::string log = ProductionLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), '>'), 0) << log;
}

}  // namespace
}  // namespace bq::cli::testing
