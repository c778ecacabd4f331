// Number, date and text forms, folders and log files.
#include "shell/utilities.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "recording_operator.h"
#include "shell/app_paths.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

TEST(TextForms, NumbersAddressesAndVersions) {
  struct Case {
    std::string got, expected;
  };
  const Case cases[] = {
      {HexByte(0x0A), "0A"},
      {HexByte(0xFF), "FF"},
      {HexAddress24(0x800), "000800"},
      {HexAddress24(0x1F800), "01F800"},
      {HexAddress24(0x12345678), "345678"},
      {ZeroPadded(2, 7), "07"},
      {ZeroPadded(6, 36), "000036"},
      {ZeroPadded(6, 1234567), "1234567"},
      {ZeroPadded(0, 0), "0"},
      {ZeroPadded(4, -5), "-0005"},
      {VersionText(554), "5.54"},
      {VersionText(502), "5.02"},
      {VersionText(7), "0.07"},
      {VersionText(514), "5.14"},
      {FormatElapsed(6149), "00:01:01"},
      {FormatElapsed(6150), "00:01:02"},
      {FormatElapsed(100u * 360000u), "100:00:00"},
      {FormatElapsed(0), "00:00:00"},
      {FormatElapsed(359999), "01:00:00"},
      {TextBefore("P00_0_99_v1_5", "_v"), "P00_0_99"},
      {TextBefore("abc", "_"), ""},
      {ParentFolderName("/a/b/file.kfx"), "b"},
      {ParentFolderName("file.kfx"), ""},
      {FolderOf("/a/b/file.kfx"), "/a/b/"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(TextForms, ParseIntOrZero) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {{"  ", 0},         {"12", 12},
                        {"12 ", 0},        {"x", 0},
                        {" 12", 12},       {"-7", -7},
                        {"+3", 3},         {"2147483647", INT32_MAX},
                        {"2147483648", 0}, {"-2147483648", INT32_MIN},
                        {"", 0},           {"1e3", 0}};
  for (const Case& c : cases) EXPECT_EQ(ParseIntOrZero(c.text), c.value) << "'" << c.text << "'";
  EXPECT_TRUE(ContainsTextCI("ver", "XX_VERSAO"));
  EXPECT_FALSE(ContainsTextCI("rev", "XX_VERSAO"));
}

TEST(DateForms, StampsAndPortugueseMonths) {
  EXPECT_EQ(DateStamp({2025, 1, 31}), "a2025_m01_d31");
  EXPECT_EQ(DateStamp({2024, 3, 7}), "a2024_m03_d07");
  const char* months[] = {"jan", "fev", "mar", "abr", "mai", "jun",
                          "jul", "ago", "set", "out", "nov", "dez"};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(LogTimestamp({2024, m, 5, 9, 3, 7, 45}),
              std::string("05/") + months[m - 1] + "  09:03:07.045");
  }
}

class FolderAndLog : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_util_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_;
  test::RecordingOperator ui_;
};

TEST_F(FolderAndLog, EnsureFolderAnnouncesOnlyWhenMissing) {
  const std::string nested = dir_ + "/a/b/";
  EXPECT_TRUE(EnsureFolder(ui_, nested, false));
  EXPECT_TRUE(fs::is_directory(nested));
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0], "Pasta " + nested + "  não encontrada.\r\n\r\nPasta será criada!!");
  EXPECT_TRUE(EnsureFolder(ui_, nested, false));
  EXPECT_EQ(ui_.Messages().size(), 1u);
  EXPECT_TRUE(EnsureFolder(ui_, dir_ + "/silent", true));
  EXPECT_EQ(ui_.Messages().size(), 1u);
}

TEST_F(FolderAndLog, EnsureFolderReportsWhyItFailed) {
  std::ofstream(dir_ + "/file") << "x";
  EXPECT_FALSE(EnsureFolder(ui_, dir_ + "/file/sub", true));
  ASSERT_EQ(ui_.Errors().size(), 1u);
  EXPECT_EQ(ui_.Errors()[0].rfind("Erro criação da pasta [" + dir_ + "/file/sub] =", 0), 0u);
}

TEST_F(FolderAndLog, AppendLogLineStartsANewFileWithItsHeader) {
  const std::string log = dir_ + "/Log_Producao/Log_Producao_a2024_m03_d07.txt";
  EXPECT_TRUE(AppendLogLine(ui_, log, "Firmware gravado OK P00_v3"));
  EXPECT_FALSE(AppendLogLine(ui_, log, "segunda"));
  EXPECT_FALSE(AppendLogLine(ui_, "", "nada"));
  const std::regex layout(
      "#### Arquivo Criado ######\r\n"
      "\\d\\d/(jan|fev|mar|abr|mai|jun|jul|ago|set|out|nov|dez)  \\d\\d:\\d\\d:\\d\\d\\.\\d{3}"
      ">Firmware gravado OK P00_v3\r\n"
      "\\d\\d/[a-z]{3}  \\d\\d:\\d\\d:\\d\\d\\.\\d{3}>segunda\r\n");
  EXPECT_TRUE(std::regex_match(Slurp(log), layout)) << Slurp(log);
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_TRUE(ui_.Errors().empty());
}

// Stations of one bench log into one file: one header, every line once and whole.
TEST_F(FolderAndLog, StationsStartingALogAtOnceWriteOneHeader) {
  constexpr int kStations = 8;
  for (int round = 0; round < 100; ++round) {
    const std::string log = dir_ + "/race" + std::to_string(round) + ".txt";
    std::atomic<bool> go{false};
    std::vector<std::thread> stations;
    std::vector<test::RecordingOperator> uis(kStations);
    for (int s = 0; s < kStations; ++s) {
      stations.emplace_back([&, s] {
        while (!go) std::this_thread::yield();
        AppendLogLine(uis[s], log, "estacao " + std::to_string(s));
      });
    }
    go = true;
    for (auto& t : stations) t.join();
    const std::string text = Slurp(log);
    size_t headers = 0;
    for (size_t at = text.find("#### Arquivo Criado"); at != std::string::npos;
         at = text.find("#### Arquivo Criado", at + 1))
      ++headers;
    EXPECT_EQ(headers, 1u) << text;
    // The header is the file's first line: no station appends before it.
    EXPECT_EQ(text.rfind("#### Arquivo Criado ######\r\n", 0), 0u) << text;
    for (int s = 0; s < kStations; ++s)
      EXPECT_NE(text.find(">estacao " + std::to_string(s) + "\r\n"), std::string::npos) << text;
    for (const auto& ui : uis) EXPECT_TRUE(ui.Errors().empty());
  }
}

TEST_F(FolderAndLog, AppendLogLineWithoutFolderDropsTheLineLoudly) {
  std::ofstream(dir_ + "/file") << "x";
  EXPECT_FALSE(AppendLogLine(ui_, dir_ + "/file/sub/log.txt", "linha"));
  ASSERT_EQ(ui_.Errors().size(), 2u);
  EXPECT_EQ(ui_.Errors()[1], "Não criou pasta. Msg descartada =linha");
}

TEST_F(FolderAndLog, ResetUsageLogDeletesTheFile) {
  const std::string log = dir_ + "/LogUsoBoot.txt";
  std::ofstream(log) << "old";
  ResetUsageLog(log);
  EXPECT_FALSE(fs::exists(log));
  ResetUsageLog(log);  // a missing file is fine
}

TEST_F(FolderAndLog, SoundsComeFromTheShareFolder) {
  AppPaths paths;
  paths.shareFolder = dir_ + "/share/bootquarn/";
  EXPECT_EQ(SoundFilePath(paths, kSuccessSound), "");  // no share folder yet
  fs::create_directories(paths.shareFolder + "sounds");
  EXPECT_EQ(FindProgramFilesFolder(paths).value_or(""), dir_ + "/share/");
  EXPECT_EQ(SoundFilePath(paths, kSuccessSound), paths.shareFolder + "sounds/NovoSuccess.wav");
  EXPECT_EQ(SoundFilePath(paths, 3), "");
  EXPECT_FALSE(PlaySoundNumber(paths, kSuccessSound));  // the file itself is missing
}

TEST(AppPathsTest, DataRootFollowsXdgDataHome) {
  const char* old = std::getenv("XDG_DATA_HOME");
  std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", "/tmp/xdg-test", 1);
  AppPaths p = DefaultAppPaths();
  EXPECT_EQ(p.dataRoot, "/tmp/xdg-test/Quarn/BootQuarn/");
  EXPECT_EQ(p.settingsFile, p.dataRoot + "BootQuarn.Ini");
  EXPECT_EQ(p.usageLog, p.dataRoot + "LogUsoBoot.txt");
  EXPECT_EQ(p.productionLog,
            p.dataRoot + "Log_Producao/Log_Producao_" + DateStamp(NowLocal()) + ".txt");
  EXPECT_EQ(p.programFolder.back(), '/');
  EXPECT_EQ(p.shareFolder.size() > 16 ? p.shareFolder.substr(p.shareFolder.size() - 16) : "",
            "share/bootquarn/");
  if (old) {
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace
}  // namespace bq
