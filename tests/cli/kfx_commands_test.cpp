// bootquarn-cli generate and kfx-file, run as a program against a private data folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli_quick_run.h"

namespace bq::cli {
namespace {

namespace fs = std::filesystem;

class KfxCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_cli_kfx_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    fs::copy_file(BQ_SOURCE_DIR "/examples/demo_app_v2_05.hex", dir_ + "/app.hex");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the program with stdout captured; the exit status and the JSON object.
  std::pair<int, nlohmann::json> Cli(const std::string& args) {
    const QuickRun run = RunCliQuietly(dir_ + "/data", args + " --json");
    return {run.status, nlohmann::json::parse(run.out, nullptr, false)};
  }

  // Runs the program without --json: the exit status and stdout and stderr together.
  QuickRun CliText(const std::string& args) {
    const std::string cmd = "XDG_DATA_HOME='" + dir_ + "/data' '" BQ_BIN_DIR "/bootquarn-cli' " +
                            args + " 2>&1 </dev/null";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 4096> buf;
    for (size_t n; (n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0;)
      out.append(buf.data(), n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
  }

  std::string dir_;
};

TEST_F(KfxCommands, GenerateWritesBlocksBesideTheSourceAndRefusesThemAfterwards) {
  auto [status, j] = Cli("generate '" + dir_ + "/app.hex' --first 0 --end 150");
  ASSERT_EQ(status, 0);
  EXPECT_EQ(j["ok"], true);
  EXPECT_EQ(j["files"], 200);
  ASSERT_EQ(j["folders"].size(), 2u);
  const std::string block = j["folders"][0];
  EXPECT_EQ(fs::path(block).parent_path().parent_path(), fs::path(dir_));
  EXPECT_TRUE(j["failed"].empty());

  auto [again, k] = Cli("generate '" + dir_ + "/app.hex' --first 0 --end 150");
  EXPECT_EQ(again, 1);
  EXPECT_EQ(k["ok"], false);
  EXPECT_EQ(k["files"], 0);
  EXPECT_EQ(k["failed"], j["folders"]);
}

TEST_F(KfxCommands, GenerateFromAMissingSourceFails) {
  auto [status, j] = Cli("generate '" + dir_ + "/none.hex' --first 0 --end 100");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(j["ok"], false);
  EXPECT_EQ(j["files"], 0);
  EXPECT_EQ(Cli("generate --first 0").first, 2);
}

// An end at or below the first number names no block: a usage error, nothing written.
TEST_F(KfxCommands, GenerateRefusesAnEndNotAboveTheFirst) {
  for (const char* range : {"--first 300 --end 300", "--first 300 --end 200"}) {
    SCOPED_TRACE(range);
    const QuickRun run = CliText("generate '" + dir_ + "/app.hex' " + range + " --json");
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.out.find("--end must be above --first"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Arquivos gerados"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\"ok\""), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir_ + "/P00_300_399_v2_5"));
  }
}

TEST_F(KfxCommands, KfxFileFollowsTheLastFileAndIsRemembered) {
  const std::string block = dir_ + "/P00_0_99_v2_5";
  fs::create_directory(block);
  std::ofstream(block + "/P00_V2_05_NS000036.kfx") << ":00000001FF\r\n";
  ASSERT_EQ(Cli("info '" + block + "/P00_V2_05_NS000036.kfx'").first, 0);

  auto [status, j] = Cli("kfx-file 150");
  ASSERT_EQ(status, 0);
  EXPECT_EQ(j["file"], dir_ + "/P00_100_199_v2_5/P00_V2_05_NS000150.kfx");
  EXPECT_EQ(j["exists"], false);

  auto [back, k] = Cli("kfx-file 36");
  EXPECT_EQ(back, 0);
  EXPECT_EQ(k["file"], block + "/P00_V2_05_NS000036.kfx");
  EXPECT_EQ(k["exists"], true);
  EXPECT_EQ(Cli("kfx-file -1").first, 2);
}

// A serial number has 16 bits: one beyond them is a usage error, said in
// those words, and the last firmware file stays as it was.
TEST_F(KfxCommands, KfxFileRefusesASerialNumberBeyondSixteenBits) {
  const std::string block = dir_ + "/P00_0_99_v2_5";
  fs::create_directory(block);
  std::ofstream(block + "/P00_V2_05_NS000036.kfx") << ":00000001FF\r\n";
  ASSERT_EQ(Cli("info '" + block + "/P00_V2_05_NS000036.kfx'").first, 0);
  for (const char* bad : {"65536", "-1", "99999999999"}) {
    SCOPED_TRACE(bad);
    const QuickRun run = CliText(std::string("kfx-file ") + bad);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("0 to 65535"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("1797"), std::string::npos) << run.out;
  }
  auto [status, j] = Cli("kfx-file 65535");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(j["file"], dir_ + "/P00_65500_65599_v2_5/P00_V2_05_NS065535.kfx");
  // The rejected numbers left the last file alone: 65535 was named from it.
}

// A per-serial name that is a folder is no firmware file: kfx-file says so.
TEST_F(KfxCommands, KfxFileNamesAFileThatIsAFolder) {
  const std::string block = dir_ + "/P00_0_99_v2_5";
  fs::create_directories(block + "/P00_V2_05_NS000037.kfx");
  std::ofstream(block + "/P00_V2_05_NS000036.kfx") << ":00000001FF\r\n";
  ASSERT_EQ(Cli("info '" + block + "/P00_V2_05_NS000036.kfx'").first, 0);
  const QuickRun run = CliText("kfx-file 37");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("is a folder, not a file"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace bq::cli
