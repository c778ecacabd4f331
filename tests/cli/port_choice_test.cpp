// Which port a bootquarn-cli run uses (--port, then BOOTQUARN_PORT, then the
// settings, then the one USB adapter attached) and what it keeps; the
// program's version and port listing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "shell/ini_file.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

namespace fs = std::filesystem;

class PortChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_port_XXXXXX";
    dataHome_ = ::mkdtemp(tmpl);
    ::setenv("XDG_DATA_HOME", dataHome_.c_str(), 1);
    ::unsetenv(kPortVariable);
  }
  void TearDown() override {
    ::unsetenv(kPortVariable);
    ::unsetenv("XDG_DATA_HOME");
    fs::remove_all(dataHome_);
  }

  // One session: the port it works on, and the one the settings keep after it.
  std::pair<std::string, std::string> Run(const std::optional<std::string>& option,
                                          const char* environment) {
    if (environment) {
      ::setenv(kPortVariable, environment, 1);
    } else {
      ::unsetenv(kPortVariable);
    }
    std::string used;
    {
      SessionOptions options;
      options.port = option;
      CliSession session(options);
      used = session.ctx().settings.portName;
    }
    ::unsetenv(kPortVariable);
    SessionOptions plain;
    CliSession after(plain);
    return {used, after.ctx().settings.portName};
  }

  std::string dataHome_;
};

TEST_F(PortChoice, OptionThenEnvironmentThenSettings) {
  struct Case {
    const char* name;
    std::optional<std::string> option;
    const char* environment;
    const char* used;
    const char* kept;
  };
  const Case cases[] = {
      {"settings only", std::nullopt, nullptr, "/dev/ttySET", "/dev/ttySET"},
      {"environment over settings, settings kept", std::nullopt, "/dev/ttyENV", "/dev/ttyENV",
       "/dev/ttySET"},
      {"empty environment ignored", std::nullopt, "", "/dev/ttySET", "/dev/ttySET"},
      {"option over environment, and kept", "/dev/ttyOPT", "/dev/ttyENV", "/dev/ttyOPT",
       "/dev/ttyOPT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run("/dev/ttySET", nullptr);  // the settings' port
    auto [used, kept] = Run(c.option, c.environment);
    EXPECT_EQ(used, c.used);
    EXPECT_EQ(kept, c.kept);
  }
}

PortInfo Uart(const std::string& path) {
  PortInfo port;
  port.path = path;
  port.driver = "serial";
  return port;
}

PortInfo Adapter(const std::string& path, const std::string& serial) {
  PortInfo port;
  port.path = path;
  port.driver = "ftdi_sio";
  port.vendorId = "0403";
  port.productId = "6001";
  port.manufacturer = "FTDI";
  port.product = "FT232R USB UART";
  port.serial = serial;
  return port;
}

// What a run wrote on stderr while it lived.
class CapturedErr {
 public:
  CapturedErr() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~CapturedErr() { std::cerr.rdbuf(old_); }
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

// A run that names no port of its own takes the one USB adapter attached and
// says so; with none or several it stops, listing the ports. Whatever names a
// port (--port, the environment, a port the settings chose) wins over that.
class AdapterChoice : public PortChoice {
 protected:
  void TearDown() override {
    SetPortListing(nullptr);
    PortChoice::TearDown();
  }
};

TEST_F(AdapterChoice, TheOneUsbAdapterOrAStopThatListsThePorts) {
  struct Case {
    const char* name;
    std::vector<PortInfo> ports;
    const char* settings;  // the settings' port before the run; null: a fresh data folder
    std::optional<std::string> option;
    const char* environment;
    bool choosesPort;
    const char* used;  // null: the run stops
    std::vector<const char*> said;
  };
  const std::vector<PortInfo> one = {Uart("/dev/ttyS0"), Adapter("/dev/ttyUSB3", "A50285BI")};
  const std::vector<PortInfo> two = {Uart("/dev/ttyS0"), Adapter("/dev/ttyUSB0", "A1"),
                                     Adapter("/dev/ttyUSB1", "B2")};
  const std::vector<PortInfo> none = {Uart("/dev/ttyS0"), Uart("/dev/ttyS1")};
  const Case cases[] = {
      {"one adapter",
       one,
       nullptr,
       std::nullopt,
       nullptr,
       true,
       "/dev/ttyUSB3",
       {"Using /dev/ttyUSB3 (FTDI FT232R USB UART [0403:6001] serial A50285BI)"}},
      {"one adapter, settings at the default port",
       one,
       "/dev/ttyS0",
       std::nullopt,
       nullptr,
       true,
       "/dev/ttyUSB3",
       {"Using /dev/ttyUSB3"}},
      {"no adapter: the UARTs are listed, none is opened",
       none,
       nullptr,
       std::nullopt,
       nullptr,
       true,
       nullptr,
       {"no USB serial adapter", "  /dev/ttyS0  serial port (serial)\n", "  /dev/ttyS1  ",
        "--port"}},
      {"no port at all",
       {},
       nullptr,
       std::nullopt,
       nullptr,
       true,
       nullptr,
       {"(no serial port found)", "--port"}},
      {"two adapters",
       two,
       nullptr,
       std::nullopt,
       nullptr,
       true,
       nullptr,
       {"2 USB serial adapters", "  /dev/ttyUSB0  FTDI", "  /dev/ttyUSB1  FTDI", "--port"}},
      {"--port wins", two, nullptr, "/dev/ttyUSB1", nullptr, true, "/dev/ttyUSB1", {}},
      {"--port wins over the one adapter",
       one,
       nullptr,
       "/dev/ttyS0",
       nullptr,
       true,
       "/dev/ttyS0",
       {}},
      {"the environment wins", none, nullptr, std::nullopt, "/dev/ttyENV", true, "/dev/ttyENV", {}},
      {"a port the settings chose wins",
       one,
       "/dev/ttyUSB7",
       std::nullopt,
       nullptr,
       true,
       "/dev/ttyUSB7",
       {}},
      {"a command without a port looks for none",
       two,
       nullptr,
       std::nullopt,
       nullptr,
       false,
       "/dev/ttyS0",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dataHome_);
    fs::create_directories(dataHome_);
    if (c.settings) Run(c.settings, nullptr);
    SetPortListing([&c] { return c.ports; });
    if (c.environment) ::setenv(kPortVariable, c.environment, 1);
    SessionOptions options;
    options.port = c.option;
    options.choosesPort = c.choosesPort;
    std::string said;
    std::optional<std::string> used;
    std::optional<std::string> stop;
    {
      CapturedErr err;
      try {
        CliSession session(options);
        used = session.ctx().settings.portName;
      } catch (const PortNotChosen& e) {
        EXPECT_NE(e.get_exit_code(), 0);
        stop = e.what();
      }
      said = err.Text();
    }
    ::unsetenv(kPortVariable);
    SetPortListing(nullptr);
    if (c.used) {
      ASSERT_TRUE(used.has_value()) << stop.value_or("");
      EXPECT_EQ(*used, c.used);
      for (const char* part : c.said) EXPECT_NE(said.find(part), std::string::npos) << said;
      if (c.said.empty()) {
        EXPECT_EQ(said.find("Using"), std::string::npos) << said;
      }
    } else {
      ASSERT_TRUE(stop.has_value()) << used.value_or("");
      for (const char* part : c.said) EXPECT_NE(stop->find(part), std::string::npos) << *stop;
    }
    // A port found for one run is not kept: the next run looks again.
    if (!c.option) {
      SessionOptions plain;
      CliSession after(plain);
      EXPECT_EQ(after.ctx().settings.portName, c.settings ? c.settings : "/dev/ttyS0");
    }
  }
}

// Runs one command as the program does: a usage error gives the usage status.
int RunCommand(const std::vector<std::string>& words) {
  CLI::App app;
  int exitCode = kExitOk;
  AddIdentifyCommand(app, &exitCode);
  std::vector<std::string> reversed(words.rbegin(), words.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }
  return exitCode;
}

// End to end: the adapter found is the one the command talks to, and a run
// that stops sends nothing, even to a port that would answer.
TEST_F(AdapterChoice, ACommandTalksToTheAdapterFoundAndAStoppedOneToNoPort) {
  sim::VirtualDevice device(sim::SimOptions{});
  device.Start();
  PortInfo simulated = Adapter(device.PortPath(), "SIM1");
  PortInfo asUart = Uart(device.PortPath());
  struct Case {
    const char* name;
    std::vector<PortInfo> ports;
    int status;
    bool talked;
  };
  const Case cases[] = {
      {"the one adapter", {Uart("/dev/ttyS0"), simulated}, kExitOk, true},
      {"a serial port that is no USB adapter", {asUart}, kExitUsage, false},
      {"beside a second adapter", {simulated, Adapter("/dev/ttyUSB9", "X")}, kExitUsage, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = device.Requests().size();
    SetPortListing([&c] { return c.ports; });
    std::string said;
    int status = -1;
    {
      CapturedErr err;
      status = RunCommand({"identify"});
      said = err.Text();
    }
    EXPECT_EQ(status, c.status) << said;
    EXPECT_EQ(device.Requests().size() > before, c.talked) << said;
    const std::string wanted = c.talked ? "Using " + device.PortPath() : "--port";
    EXPECT_NE(said.find(wanted), std::string::npos) << said;
  }
  device.Stop();
}

struct Output {
  int status;
  std::string out;
};

Output RunCli(const std::string& args) {
  const std::string cmd = "'" BQ_BIN_DIR "/bootquarn-cli' " + args + " 2>/dev/null </dev/null";
  FILE* pipe = ::popen(cmd.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(CliProgram, Version) {
  const Output r = RunCli("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "bootquarn-cli 5.54\n");
}

// Whatever ports this machine has, each is one object with the same keys,
// strings or null, and the text lists each path first.
TEST(CliProgram, PortsAsJsonAndText) {
  const Output json = RunCli("ports --json");
  ASSERT_EQ(json.status, 0);
  const nlohmann::json parsed = nlohmann::json::parse(json.out);
  ASSERT_TRUE(parsed.at("ports").is_array());
  std::string paths;
  for (const auto& port : parsed["ports"]) {
    for (const char* key :
         {"path", "byId", "driver", "vendorId", "productId", "manufacturer", "product", "serial"}) {
      ASSERT_TRUE(port.contains(key)) << key;
      EXPECT_TRUE(port[key].is_string() || port[key].is_null()) << key;
    }
    EXPECT_TRUE(port["path"].is_string());
    paths += port["path"].get<std::string>() + "\n";
  }
  const Output text = RunCli("ports");
  ASSERT_EQ(text.status, 0);
  std::string firstWords;
  size_t start = 0;
  while (start < text.out.size()) {
    const size_t end = text.out.find('\n', start);
    firstWords += text.out.substr(start, text.out.find(' ', start) - start) + "\n";
    start = end + 1;
  }
  EXPECT_EQ(firstWords, paths);
}

}  // namespace
}  // namespace bq::cli
