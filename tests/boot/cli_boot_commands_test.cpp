// bootquarn-cli identify, reset and erase run as a separate process against a
// virtual device, the way a shell user runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "boot/boot_commands.h"
#include "device_fixture.h"

namespace bq::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class CliBootCommandTest : public DeviceFixture {
 protected:
  void SetUp() override {
    cli_ = fs::path(BQ_BIN_DIR) / "bootquarn-cli";
    if (!fs::exists(cli_)) GTEST_SKIP() << "bootquarn-cli is not built in " << BQ_BIN_DIR;
    home_ = fs::temp_directory_path() /
            ("bq-boot-cli-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(home_);
  }
  void TearDown() override {
    DeviceFixture::TearDown();
    if (!home_.empty()) fs::remove_all(home_);
  }

  // Runs the program with its data folder in a scratch directory.
  CliRun Run(const std::string& args) {
    const fs::path errFile = home_ / "stderr.txt";
    const std::string command = "XDG_DATA_HOME='" + home_.string() + "' '" + cli_.string() + "' " +
                                args + " 2>'" + errFile.string() + "'";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    return run;
  }

  fs::path cli_;
  fs::path home_;
};

TEST_F(CliBootCommandTest, IdentifyPrintsTheDeviceAsJson) {
  StartDevice(Options([](sim::SimOptions& o) {
    o.baudRate = 19200;
    o.serialNumber = 4321;
    o.productCode = 40;  // past the product table
    o.bootLoaderVersion = 0x030C;
    o.hardwareVersion = 6;
  }));
  const CliRun run = Run("identify --json --port " + device->PortPath());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["ok"], true);
  EXPECT_EQ(json["port"], device->PortPath());
  EXPECT_EQ(json["baudRate"], 19200);
  EXPECT_EQ(json["serialNumber"], 4321);
  EXPECT_EQ(json["firmwareVersion"], 3);
  EXPECT_EQ(json["firmwareRevision"], 1);
  EXPECT_EQ(json["productCode"], 40);
  EXPECT_EQ(json["productName"], "Indefinido");
  EXPECT_EQ(json["bootLoaderVersion"], 0x030C);
  EXPECT_EQ(json["bootLoaderVersionText"], "3.12");
  EXPECT_EQ(json["hardwareVersion"], 6);
}

TEST_F(CliBootCommandTest, CommandsOnAMissingPortExplainWhy) {
  for (const char* command : {"identify", "reset", "erase --yes --baud 38400"}) {
    SCOPED_TRACE(command);
    const CliRun run = Run(std::string(command) + " --json --port /dev/ttyBQ-not-there");
    EXPECT_EQ(run.exitCode, 1);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["ok"], false);
    EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
  }
}

TEST_F(CliBootCommandTest, IdentifyWithoutABootLoaderFails) {
  StartDevice();
  OpenAtDeviceRate();
  ResetRun(station.link());  // the application runs and ignores the loader's frames
  device->WaitForRequests(1, std::chrono::milliseconds(1000));
  CloseBootPort(station.ComPortQuarn);
  const CliRun run = Run("identify --port " + device->PortPath());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("no device identified"), std::string::npos) << run.err;
}

TEST_F(CliBootCommandTest, ResetRestartsTheApplication) {
  StartDevice();
  const CliRun run = Run("reset --port " + device->PortPath());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  device->WaitForRequests(2, std::chrono::milliseconds(1000));
  EXPECT_FALSE(device->InBootMode());
}

TEST_F(CliBootCommandTest, EraseAtTheGivenRate) {
  StartDevice(Options([](sim::SimOptions& o) { o.baudRate = 19200; }));
  const CliRun run = Run("erase --yes --baud 19200 --port " + device->PortPath());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Ok erase !"), std::string::npos) << run.err;
  EXPECT_EQ(ReceivedPayloads(), (Payloads{{0x11, 0x00, 0x00, 0x00, 0x00}}));
}

}  // namespace
}  // namespace bq::test
