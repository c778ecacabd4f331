// Names holding a line break are refused before they reach the settings file,
// which stays well formed.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_process.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

class SettingsInjection : public CliProcess {
 protected:
  std::string Settings() const { return ReadWhole(dataHome_ + "/Quarn/BootQuarn/BootQuarn.Ini"); }
};

TEST_F(SettingsInjection, NamesWithLineBreaksAreRefusedAndNeverStored) {
  // Where a crafted name would set the port's rate on the next start.
  const std::string injected = "\r\nBaudRate_____________=1200\r\n";
  const std::string file = dataHome_ + "/fw" + injected + ".kfx";
  fs::copy_file(kKfx, file);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {"info, file name", {"info", "--json", file}, 1},
      {"write, file name", {"write", file, "--port", dataHome_ + "/ttyNone", "--json"}, 1},
      {"identify, port name", {"identify", "--port", "/dev/ttyS9" + injected, "--json"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun r = Cli(c.args);
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find("line break"), std::string::npos) << r.err;
    const std::string settings = Settings();
    EXPECT_EQ(settings.find("=1200"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("/fw"), std::string::npos) << settings;
  }
}

}  // namespace
}  // namespace bq::cli
