// bootquarn-cli info, run as a program against a private data folder, and
// the console operator's routing of boxes, questions and statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/console_operator.h"
#include "cli_quick_run.h"

namespace bq::cli {
namespace {

namespace fs = std::filesystem;

using CliRun = QuickRun;

class InfoCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_cli_XXXXXX";
    dataHome_ = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dataHome_); }

  // Runs the program with stdout captured and stderr discarded.
  CliRun Cli(const std::string& args) { return RunCliQuietly(dataHome_, args); }
  std::string Settings() const {
    std::ifstream in(dataHome_ + "/Quarn/BootQuarn/BootQuarn.Ini", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dataHome_;
  const std::string kfx_ = BQ_SOURCE_DIR "/examples/demo_firmware_v3_07.kfx";
};

TEST_F(InfoCommand, ExampleKfxShowsItsHeaderAndIsRemembered) {
  CliRun r = Cli("info --json '" + kfx_ + "'");
  ASSERT_EQ(r.status, 0);
  auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["file"], fs::path(kfx_).lexically_normal().string());
  EXPECT_EQ(j["loaded"], true);
  EXPECT_EQ(j["serialNumber"], 1234);
  EXPECT_EQ(j["version"], 3);
  EXPECT_EQ(j["revision"], 7);
  EXPECT_EQ(j["productCode"], 0);
  EXPECT_EQ(j["productName"], "Produto 00");
  EXPECT_EQ(j["memory"], "64K");
  EXPECT_NE(Settings().find("Arquivo hexa________=" + j["file"].get<std::string>() + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(fs::is_directory(dataHome_ + "/Quarn/BootQuarn/Log_Producao"));
}

TEST_F(InfoCommand, PlainHexAndDumps) {
  CliRun r = Cli("info '" BQ_SOURCE_DIR "/examples/demo_app_v2_05.hex' --dump eeprom");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Versão:          2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n0FF0: FF FF"), std::string::npos);
  r = Cli("info --json --dump flash '" BQ_SOURCE_DIR "/examples/demo_app_v2_05.hex'");
  ASSERT_EQ(r.status, 0);
  auto dump = nlohmann::json::parse(r.out)["dump"];
  ASSERT_EQ(dump.size(), 8064u);
  EXPECT_EQ(dump[0].get<std::string>().substr(0, 20), "000800: 85 D8 6B AC ");
}

TEST_F(InfoCommand, FailuresAndUsage) {
  const std::string bad = dataHome_ + "/bad.hex";
  std::ofstream(bad) << ":0108000001F5\n";  // checksum off by one
  struct Case {
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"info '" + bad + "'", 1},
      {"info '" + dataHome_ + "/missing.kfx'", 1},
      {"info", 2},
      {"info '" + kfx_ + "' --dump rom", 2},
      {"info '" + kfx_ + "' --bogus", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(Cli(c.args).status, c.status) << c.args;
  CliRun r = Cli("info --json '" + bad + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(nlohmann::json::parse(r.out)["loaded"], false);
}

TEST(ConsoleOperatorTest, RoutesBoxesStatusesAndQuestions) {
  std::ostringstream out, err;
  std::istringstream in("talvez\ns\n");
  ConsoleOperator ui(out, err, in, /*inIsTerminal=*/true, /*errIsTerminal=*/false);
  ui.ShowStatus(" Carregando hex.", false);
  ui.ShowMessage("Pasta x  não encontrada.\r\n\r\nPasta será criada!!");
  EXPECT_EQ(ui.Confirm("Gravar?"), Answer::Yes);  // asks again after an unclear reply
  EXPECT_EQ(out.str(), " Carregando hex.\n");
  EXPECT_EQ(err.str(), "Pasta x  não encontrada.\n\nPasta será criada!!\nGravar? [s/n]  [s/n] ");

  ui.SetPresetAnswer(Answer::No);
  EXPECT_EQ(ui.Confirm("Gravar?"), Answer::No);
  ui.SetJsonMode(true);
  ui.ShowStatus("Operação Ok", true);
  EXPECT_EQ(out.str(), " Carregando hex.\n");  // stdout stays for the JSON object
  EXPECT_TRUE(ui.LastStatusSuccess());
}

TEST(ConsoleOperatorTest, PrintsTheLinesOfAnEchoedListOnly) {
  std::ostringstream out, err;
  std::istringstream in;
  ConsoleOperator ui(out, err, in, /*inIsTerminal=*/false, /*errIsTerminal=*/false);
  ui.EchoList(OperatorList::LoopSteps);
  ui.Show(shown::ListLine{OperatorList::LoopSteps, "Achou NS=7"});
  ui.Show(shown::ListLine{OperatorList::PacketTimes, "Time para PACK Ok =3"});
  ui.Show(shown::DeviceIdentity{7, 1, 2, 3});
  EXPECT_EQ(out.str(), "Achou NS=7\n");
  EXPECT_EQ(err.str(), "");
}

TEST(ConsoleOperatorTest, UnattendedQuestionsAnswerNo) {
  std::ostringstream out, err;
  std::istringstream in("s\n");
  ConsoleOperator ui(out, err, in, /*inIsTerminal=*/false, /*errIsTerminal=*/false);
  EXPECT_EQ(ui.Confirm("Versão mais antiga. Gravar?"), Answer::No);
  ui.SetPresetAnswer(Answer::Yes);
  EXPECT_EQ(ui.Confirm("Gravar?"), Answer::Yes);
}

// A phase's range is inclusive: the engine steps to the next address to go and,
// when done, to the last address of the range.
TEST(ConsoleOperatorTest, PlainProgressSumsUpEachPhase) {
  struct Case {
    const char* name;
    uint32_t stop;  // the last position reached
    const char* line;
  };
  const Case cases[] = {
      {"whole range", 0x17FF, "   Gravando: 0x000800..0x0017FF, 4096 bytes"},
      {"stopped half way", 0x1000, "   Gravando: 0x000800..0x001000, 2048 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out, err;
    std::istringstream in;
    ConsoleOperator ui(out, err, in, false, false);
    ui.ShowStatus(" Gravando", false);
    ui.PhaseStarted(WorkPhase::WriteFlash, 0x800, 0x17FF);
    for (uint32_t a = 0x800; a < c.stop; a += 0x80) ui.SetProgressPosition(a);
    ui.SetProgressPosition(c.stop);
    ui.PhaseEnded(WorkPhase::WriteFlash, c.stop == 0x17FF);
    ui.ShowStatus(" Verificando", false);
    const std::string text = err.str();
    EXPECT_EQ(text.rfind(c.line, 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
}

// As the engine moves from the erase to the write, the bar's position falls
// back from the erase end to the write start; the rate must still be measured
// from where the write phase began.
TEST(ConsoleOperatorTest, TerminalBarShowsTheRateOfEachPhase) {
  std::ostringstream out, err;
  std::istringstream in;
  ConsoleOperator ui(out, err, in, false, true);
  ui.ShowStatus("Apagando", false);
  ui.PhaseStarted(WorkPhase::Erase, 0x800, 0x17FF);
  ui.SetProgressPosition(0x17FF);
  ui.PhaseEnded(WorkPhase::Erase, true);
  ui.ShowStatus("Gravando", false);
  ui.PhaseStarted(WorkPhase::WriteFlash, 0x800, 0x17FF);
  for (uint32_t a = 0x880; a < 0x1000; a += 0x80) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ui.SetProgressPosition(a);
  }
  // Redraws are throttled: repeat the last step until the bar shows it.
  auto lastBar = [&] {
    const std::string text = err.str();
    return text.substr(text.rfind('\r'));
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ui.SetProgressPosition(0x1000);
  } while (lastBar().find("0x001000") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline);
  EXPECT_NE(lastBar().find("Gravando  0x001000"), std::string::npos) << lastBar();
  EXPECT_NE(lastBar().find("B/s  faltam "), std::string::npos) << lastBar();
}

}  // namespace
}  // namespace bq::cli
