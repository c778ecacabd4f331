// A record the program could not keep (the settings, a production-log line)
// is a warning: on stderr and in the report's "warnings", never a change of
// the command's outcome. The data folder is broken in two ways a station
// meets: a full disk (a file-size limit) and a data folder that cannot be made.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "image/firmware_loader.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

namespace fs = std::filesystem;
using namespace bq::cli::testing;

struct Breakage {
  const char* name;
  bool diskFull;              // else a file stands where the data folder goes
  const char* lostLogPrefix;  // how the lost production-log line is reported
};

void PrintTo(const Breakage& b, std::ostream* os) {
  *os << b.name;
}

const Breakage kBreakages[] = {
    {"disk full", true, "Erro gravação do log ["},
    {"data folder blocked", false,
     "Não criou pasta. Msg descartada =Firmware gravado OK P00_V3_07_NS001234"},
};

class LostRecords : public CliProcess, public ::testing::WithParamInterface<Breakage> {
 protected:
  void Break() {
    if (GetParam().diskFull) {
      fileSizeLimit_ = 0;
    } else {
      std::ofstream(dataHome_ + "/Quarn") << "not a folder";
    }
  }
  std::string SettingsPath() const { return dataHome_ + "/Quarn/BootQuarn/BootQuarn.Ini"; }

  // Every warning of the report was also said on stderr, and one of them
  // names the settings file.
  void ExpectSettingsWarning(const nlohmann::json& report, const std::string& err) {
    ASSERT_TRUE(report.contains("warnings")) << report.dump();
    std::vector<std::string> warnings = report["warnings"];
    for (const std::string& w : warnings) EXPECT_NE(err.find(w), std::string::npos) << w;
    const std::string named = "configuração [" + SettingsPath() + "] =";
    EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [&](const std::string& w) {
      return w.rfind("Erro gravando " + named, 0) == 0 || w.rfind("Erro lendo " + named, 0) == 0;
    })) << report["warnings"].dump();
  }
};

bool HasWarningStartingWith(const nlohmann::json& report, const std::string& prefix) {
  for (const auto& w : report["warnings"]) {
    if (w.get<std::string>().rfind(prefix, 0) == 0) return true;
  }
  return false;
}

TEST_P(LostRecords, WriteStillSucceedsAndWarns) {
  sim::VirtualDevice& device = StartDevice(sim::SimOptions{});
  Break();
  const CliRun r = Cli({"write", kKfx, "--port", device.PortPath(), "--json"});

  ASSERT_TRUE(r.exited) << r.err;
  EXPECT_EQ(r.status, 0) << r.err;
  nlohmann::json j;
  ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out << r.err;
  EXPECT_EQ(j["ok"], true);
  EXPECT_EQ(j["status"], "Operação Ok");
  ExpectSettingsWarning(j, r.err);
  EXPECT_TRUE(HasWarningStartingWith(j, GetParam().lostLogPrefix)) << j["warnings"].dump();

  FirmwareImage image;
  FirmwareHeader header;
  ASSERT_TRUE(LoadFirmwareFile(kKfx, image, header).ok());
  const std::vector<uint8_t> flash = device.Flash();
  EXPECT_TRUE(std::equal(image.flash.begin() + ApplicationStart, image.flash.end(),
                         flash.begin() + ApplicationStart));
}

TEST_P(LostRecords, InfoKeepsItsOwnOutcome) {
  Break();
  struct Case {
    std::string file;
    bool ok;
  };
  for (const Case& c : {Case{kKfx, true}, Case{dataHome_ + "/missing.kfx", false}}) {
    SCOPED_TRACE(c.file);
    const CliRun r = Cli({"info", c.file, "--json"});
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, c.ok ? 0 : 1) << r.err;
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out << r.err;
    EXPECT_EQ(j["loaded"], c.ok);
    ExpectSettingsWarning(j, r.err);
  }
}

TEST_P(LostRecords, WithoutJsonTheWarningIsOnStderrOnly) {
  Break();
  const CliRun r = Cli({"info", kKfx});
  ASSERT_TRUE(r.exited) << r.err;
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("configuração [" + SettingsPath() + "] ="), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("configuração"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Breakages, LostRecords, ::testing::ValuesIn(kBreakages),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

}  // namespace
}  // namespace bq::cli
