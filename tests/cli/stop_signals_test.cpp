// A request to stop (SIGTERM, as Ctrl+C or a hang-up) that lands while a
// command works: the command ends at its next step, closes the port, saves
// the settings, prints its report and exits as cancelled.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_process.h"
#include "virtual_device.h"

namespace bq::cli::testing {
namespace {

using sim::Personality;

class StopSignals : public CliProcess {};

TEST_F(StopSignals, EveryCommandEndsAsCancelledAndStillReports) {
  struct Case {
    const char* name;
    std::optional<Personality> device;  // none: the command needs no device
    std::vector<std::string> args;      // "PORT" stands for the device's port
  };
  const std::string source = dataHome_ + "/fw.kfx";
  fs::copy_file(kKfx, source);
  const Case cases[] = {
      {"identify", Personality::kBoot, {"identify", "--port", "PORT"}},
      {"erase", Personality::kBoot, {"erase", "--port", "PORT", "--yes"}},
      {"reset", Personality::kBoot, {"reset", "--port", "PORT"}},
      {"scan", Personality::kBoot, {"scan", "--ports", "PORT"}},
      {"scan-zircon", Personality::kSensorZircon, {"scan-zircon", "--ports", "PORT"}},
      {"accessory-id", Personality::kSensorZircon, {"accessory-id", "--port", "PORT"}},
      {"arvex-boot", Personality::kArvex, {"arvex-boot", "--port", "PORT"}},
      {"generate", std::nullopt, {"generate", source, "--first", "0", "--end", "5000"}},
  };
  const std::string settings = dataHome_ + "/Quarn/BootQuarn/BootQuarn.Ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::function<bool()> started;
    std::vector<std::string> args = c.args;
    if (c.device) {
      sim::SimOptions options;
      options.personality = *c.device;
      options.replyDelayMs = 300;  // each reply takes long enough to be interrupted
      sim::VirtualDevice& device = StartDevice(options);
      for (auto& a : args) {
        if (a == "PORT") a = device.PortPath();
      }
      started = [&device] { return device.Stats().bytesReceived > 0; };
    } else {
      // The first block in the making, in its hidden folder beside the source.
      started = [&] {
        for (const auto& e : fs::directory_iterator(dataHome_)) {
          if (e.path().filename().string().find(".partial-") != std::string::npos) return true;
        }
        return false;
      };
    }
    args.push_back("--json");
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn(args, null);
    ::close(null);
    const bool seen = WaitUntil(started);
    // What the run saves at its end, and only then, is what is looked for.
    fs::remove(settings);
    ::kill(pid, seen ? SIGTERM : SIGKILL);
    const CliRun r = Finish(pid);
    ASSERT_TRUE(seen) << r.err;
    EXPECT_TRUE(r.exited) << "ended by signal " << r.status;
    EXPECT_EQ(r.status, 130) << r.err;
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out;
    EXPECT_TRUE(j.is_object());
    EXPECT_EQ(j["ok"], false);
    EXPECT_TRUE(fs::exists(settings));
    if (device_) {
      device_->Stop();
      device_.reset();
    }
  }
  // The stopped batch left no half block behind.
  for (const auto& e : fs::directory_iterator(dataHome_)) {
    const std::string name = e.path().filename().string();
    if (name.find("_v3_7") == std::string::npos) continue;
    EXPECT_EQ(std::distance(fs::directory_iterator(e.path()), fs::directory_iterator()), 100)
        << name;
  }
}

}  // namespace
}  // namespace bq::cli::testing
