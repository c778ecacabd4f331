// The command line's own words follow the user's language; the system's
// operator texts and the JSON keys do not.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "cli_process.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

class Language : public CliProcess {
 protected:
  // gettext honours LANGUAGE under any locale but "C"; C.UTF-8 is always there.
  void Portuguese() { extraEnv_ = {"LANGUAGE=pt_BR", "LANG=C.UTF-8", "LC_ALL=", "LC_MESSAGES="}; }
};

TEST_F(Language, PortugueseHelpAndWrite) {
  Portuguese();
  const CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Mostra esta ajuda e sai"), std::string::npos) << help.out;

  sim::VirtualDevice& device = StartDevice({});
  const CliRun r = Cli({"write", kKfx, "--port", device.PortPath(), "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Gravados 4096 bytes em "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Wrote"), std::string::npos) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["status"], "Operação Ok");
  EXPECT_EQ(j["ok"], true);
}

TEST_F(Language, OtherLanguagesReadEnglish) {
  extraEnv_ = {"LANGUAGE=fr", "LANG=C.UTF-8", "LC_ALL=", "LC_MESSAGES="};
  const CliRun help = Cli({"--help"});
  EXPECT_NE(help.out.find("Print this help message and exit"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace bq::cli
