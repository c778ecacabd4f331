// identify and erase run as programs against a virtual device, and the usage
// mistakes a new user makes first.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "boot/boot_protocol.h"
#include "cli_process.h"
#include "serial/com_port.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

class BootCommands : public CliProcess {};

bool IsErase(uint8_t command) {
  return command == boot::kEraseAll;
}

// The loader talks at 19200 while the settings hold 38400: erase finds the
// rate itself, as identify does. Nothing is sent without the operator's word.
TEST_F(BootCommands, EraseAsksFirstAndFindsTheRate) {
  struct Case {
    const char* name;
    std::vector<std::string> flags;
    std::optional<std::string> typed;  // stdin is a terminal holding this; else /dev/null
    bool erased;
    const char* said;
  };
  const Case cases[] = {
      {"unattended without --yes", {}, std::nullopt, false, "pass --yes"},
      {"--yes", {"--yes"}, std::nullopt, true, "Ok erase !"},
      {"operator types s", {}, "s\n", true, "Ok erase !"},
      {"operator types n", {}, "n\n", false, "the device keeps its firmware"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimOptions options;
    options.baudRate = 19200;
    sim::VirtualDevice& device = StartDevice(options);
    std::vector<std::string> args = {"erase", "--port", device.PortPath(), "--json"};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const CliRun r = c.typed ? CliOnTerminal(args, *c.typed) : Cli(args);
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, c.erased ? 0 : 1) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["ok"], c.erased);
    if (c.erased) {
      EXPECT_EQ(j["baudRate"], 19200);
      EXPECT_EQ(CountRequests(device, IsErase), 1u);
    } else {
      EXPECT_TRUE(device.Requests().empty());
    }
    device.Stop();
  }
}

TEST_F(BootCommands, IdentifySaysWhenTheDeviceHoldsNoApplication) {
  for (sim::MemoryContent memory : {sim::MemoryContent::kBlank, sim::MemoryContent::kProgrammed}) {
    const bool blank = memory == sim::MemoryContent::kBlank;
    SCOPED_TRACE(blank ? "blank" : "programmed");
    sim::SimOptions options;
    options.memory = memory;
    sim::VirtualDevice& device = StartDevice(options);
    const CliRun r = Cli({"identify", "--port", device.PortPath()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("holds no firmware") != std::string::npos, blank) << r.out;
    device.Stop();
  }
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// A port that opens where no boot loader answers: each command says so once,
// then names the port, the rates tried and what to check.
TEST_F(BootCommands, AFailedConnectionNamesThePortTheRatesAndWhatToCheck) {
  struct Case {
    std::vector<std::string> args;
    const char* said;
  };
  const Case cases[] = {
      {{"identify"}, "no device identified on "},
      {{"reset"}, "no boot loader answered on "},
      {{"write", kKfx, "--no"},
       "Antes de iniciar a operação coloque o equipamento em [ Modo Boot ]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    sim::SimOptions options;
    options.personality = sim::Personality::kDelmo;  // listens, but not as a boot loader
    sim::VirtualDevice& device = StartDevice(options);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--port", device.PortPath()});
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Occurrences(r.err, c.said), 1u) << r.err;
    EXPECT_EQ(Occurrences(r.err, "no answer on " + device.PortPath() + " at 38400 or 19200 baud"),
              1u)
        << r.err;
    EXPECT_NE(r.err.find("boot mode"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("'bootquarn-cli scan'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("'bootquarn-cli ports'"), std::string::npos) << r.err;
    device.Stop();
  }
}

// What goes wrong before any device is involved gets one message naming the problem.
// A scan names the port it could not open, and why, in its text and its JSON.
TEST_F(BootCommands, ScanNamesAPortItCouldNotOpen) {
  sim::VirtualDevice& held = StartDevice({});
  TComPortGPS other;
  other.SetDeviceName(held.PortPath());
  other.Open();
  const std::string missing = dataHome_ + "/ttyGone";
  const CliRun r = Cli({"scan", "--ports", held.PortPath() + "," + missing, "--json"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("could not open " + held.PortPath() + ": Device or resource busy"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("(0 ports scanned"), std::string::npos) << r.err;
  nlohmann::json j;
  ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out;
  EXPECT_EQ(j["portsScanned"], 0);
  ASSERT_EQ(j["skipped"].size(), 2u) << r.out;
  EXPECT_EQ(j["skipped"][0]["port"], held.PortPath());
  EXPECT_EQ(j["skipped"][0]["reason"], "Device or resource busy");
  EXPECT_EQ(j["skipped"][1]["port"], missing);
  EXPECT_EQ(j["skipped"][1]["reason"], "No such file or directory");
  EXPECT_TRUE(held.Requests().empty());
}

TEST_F(BootCommands, UsageMistakesAreNamed) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* said;
    const char* notSaid;
  };
  const std::string folder = dataHome_;
  const std::string file = dataHome_ + "/stdout.txt";  // exists while the program runs
  const Case cases[] = {
      {{"idnetify"}, 2, "'idnetify' is not a command", ""},
      {{"identify", "--port", ""}, 2, "the port name is empty", "Falta configurar porta"},
      {{"identify", "--port", "/dev/null"}, 1, "not a serial port", "dialout"},
      {{"identify", "--port", folder}, 1, "not a serial port", "dialout"},
      {{"identify", "--port", file}, 1, "not a serial port", "dialout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    if (*c.notSaid) {
      EXPECT_EQ(r.err.find(c.notSaid), std::string::npos) << r.err;
    }
  }
}

}  // namespace
}  // namespace bq::cli
