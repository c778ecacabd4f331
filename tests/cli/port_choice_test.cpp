// Which port a bootquarn-cli run uses (--port, then BOOTQUARN_PORT, then the
// settings) and what it keeps; the program's version and port listing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/cli_session.h"

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
