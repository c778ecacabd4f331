// File and port names the commands must survive: bytes that are not UTF-8
// still give one parseable JSON object per run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_process.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

class OddNames : public CliProcess {};

// A Latin-1 "ã" (0xE3) alone is not valid UTF-8.
constexpr const char* kLatin1 = "\xE3";

TEST_F(OddNames, JsonSurvivesNamesThatAreNotUtf8) {
  const std::string file = dataHome_ + "/firmware_" + kLatin1 + ".kfx";
  fs::copy_file(kKfx, file);
  // A link with the odd name, pointing at each case's fresh device.
  const std::string port = dataHome_ + "/tty" + kLatin1;

  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* named;  // where the JSON carries the odd name
  };
  const Case cases[] = {
      {"info, odd file", {"info", "--json", file}, "/file"},
      {"write, odd file", {"write", file, "--port", port, "--json"}, "/file"},
      {"write, odd port", {"write", kKfx, "--port", port, "--json"}, "/device/port"},
      {"identify, odd port", {"identify", "--port", port, "--json"}, "/port"},
      // The odd port is now the stored one.
      {"identify, stored odd port", {"identify", "--json"}, "/port"},
      {"reset, odd port", {"reset", "--port", port, "--json"}, "/port"},
      {"erase, odd port", {"erase", "--port", port, "--baud", "38400", "--yes", "--json"}, "/port"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::VirtualDevice& device = StartDevice({});
    fs::remove(port);
    fs::create_symlink(device.PortPath(), port);
    const CliRun r = Cli(c.args);
    ASSERT_TRUE(r.exited) << "ended by signal " << r.status << "\n" << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out << r.err;
    const std::string named = j[nlohmann::json::json_pointer(c.named)].get<std::string>();
    EXPECT_NE(named.find("\xEF\xBF\xBD"), std::string::npos) << named;  // U+FFFD
    device.Stop();
  }
}

}  // namespace
}  // namespace bq::cli
