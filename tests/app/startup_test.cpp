#include "app/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/context.h"
#include "app/station.h"
#include "fake_port_lister.h"
#include "recording_operator.h"

namespace bq {
namespace {

namespace fs = std::filesystem;
using test::FakePortLister;
using test::RecordingOperator;

// A data folder of its own for every test, removed afterwards.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("bq-startup-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    paths_.dataRoot = root_.string() + "/Quarn/BootQuarn/";
    paths_.settingsFile = paths_.dataRoot + "BootQuarn.Ini";
    paths_.productionLogDir = paths_.dataRoot + "Log_Producao/";
    paths_.productionLog = paths_.productionLogDir + "Log_Producao_a2024_m03_d07.txt";
    paths_.usageLog = paths_.dataRoot + "LogUsoBoot.txt";
    paths_.programFolder = root_.string() + "/bin/";
  }
  void TearDown() override { fs::remove_all(root_); }

  Context& MakeContext(std::vector<std::string> ports) {
    auto lister = std::make_unique<FakePortLister>();
    lister->ports = std::move(ports);
    ctx_ = std::make_unique<Context>(ui_, paths_, std::move(lister));
    station_ = std::make_unique<Station>(*ctx_, ui_);
    return *ctx_;
  }

  std::string SettingsText() const {
    std::ifstream in(paths_.settingsFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path root_;
  AppPaths paths_;
  RecordingOperator ui_;
  std::unique_ptr<Context> ctx_;
  std::unique_ptr<Station> station_;
};

TEST(StartupTexts, CaptionAndAboutLine) {
  EXPECT_EQ(MainWindowCaption(), "Quarn Troca Firmware MSP430 2019 v5.54");
  EXPECT_EQ(AboutVersionLine(), "Versão 5.54   de   19/Ago/2019");
}

TEST_F(StartupTest, FirstRunCreatesTheLogFolderAndClosingWritesDefaults) {
  Context& ctx = MakeContext({"/dev/ttyUSB0"});
  FormCreate(ctx);
  EXPECT_TRUE(fs::is_directory(paths_.productionLogDir));
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0],
            "Pasta " + paths_.productionLogDir + "  não encontrada.\r\n\r\nPasta será criada!!");
  EXPECT_EQ(ctx.productNameList.size(), 29u);
  EXPECT_EQ(ctx.settings.baudRate, 9600);

  FormActivate(ctx);
  EXPECT_EQ(ui_.FieldText(Field::edBaudRate), "9600");
  EXPECT_EQ(ui_.FieldText(Field::edNomeArquivoKFX), "arqTeste");
  EXPECT_EQ(ui_.FieldText(Field::statusBarFile), "arqTeste");
  EXPECT_EQ(ui_.FieldText(Field::statusBarPort), "/dev/ttyUSB0");
  EXPECT_EQ(ui_.FieldText(Field::edNsHex2Kfx), "1");
  EXPECT_EQ(ui_.FieldText(Field::edNsWrIni), "1");

  FormClose(ctx, *station_);
  std::string ini = SettingsText();
  EXPECT_NE(ini.find("[Comum]\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Porta Serial_________=/dev/ttyUSB0\r\n"), std::string::npos);
  EXPECT_NE(ini.find("BaudRate_____________=9600\r\n"), std::string::npos);
  EXPECT_TRUE(ui_.Errors().empty());
}

TEST_F(StartupTest, SecondRunIsQuietAndStartsAFreshUsageLog) {
  fs::create_directories(paths_.productionLogDir);
  std::ofstream(paths_.usageLog) << "previous run\r\n";
  Context& ctx = MakeContext({});
  FormCreate(ctx);
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_FALSE(fs::exists(paths_.usageLog));
}

struct PortCase {
  const char* what;
  std::vector<std::string> present;
  std::string stored;
  std::string selected;
};

TEST_F(StartupTest, ActivationSelectsTheStoredPortOrTheFirst) {
  const PortCase cases[] = {
      {"stored port present, case ignored", {"COM1", "COM3"}, "com3", "COM3"},
      {"only one port", {"COM7"}, "COM3", "COM7"},
      {"stored port gone", {"COM1", "COM3"}, "COM9", "COM1"},
      {"no port at all", {}, "COM3", ""},
      // A typed device path that exists stays, though the system does not list it.
      {"typed device path", {"COM1"}, "/dev/null", "/dev/null"},
      {"typed path that is gone", {"COM1"}, "/dev/bq-no-such-port", "COM1"},
      {"unlisted port of the system's own form", {"COM1"}, "/dev/tty", "COM1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Context& ctx = MakeContext(c.present);
    ctx.settings.portName = c.stored;
    FormActivate(ctx);
    EXPECT_EQ(ctx.portList->SelectedText(), c.selected);
    EXPECT_EQ(ctx.settings.portName, c.selected);
    EXPECT_EQ(ui_.FieldText(Field::statusBarPort), c.selected);
  }
}

TEST_F(StartupTest, SaveTakesTheStartupBaudRateAndTheWindowsFields) {
  fs::create_directories(paths_.dataRoot);
  std::ofstream(paths_.settingsFile) << "[Comum]\r\nBaudRate_____________=19200\r\n";
  Context& ctx = MakeContext({"COM1", "COM3"});
  FormCreate(ctx);
  FormActivate(ctx);
  // A probe during the run stores another rate; the file keeps the start-up one.
  ctx.settings.baudRate = 38400;
  ctx.portList->Select(1);
  ui_.SetField(Field::edNomeArquivoKFX, "/fw/novo.kfx");
  ui_.SetField(Field::edNsHex2Kfx, "77");

  ASSERT_TRUE(SaveSettingsFromWindow(ctx));
  EXPECT_EQ(ctx.settings.baudRate, 19200);
  std::string ini = SettingsText();
  EXPECT_NE(ini.find("BaudRate_____________=19200\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Porta Serial_________=COM3\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Arquivo hexa________=/fw/novo.kfx\r\n"), std::string::npos);
  EXPECT_NE(ini.find("Ultimo NS gerado_____=77\r\n"), std::string::npos);
}

TEST_F(StartupTest, CloseBeforeActivationKeepsTheSettingsRate) {
  Context& ctx = MakeContext({"COM1"});
  FormCreate(ctx);
  ctx.settings.baudRate = 19200;
  FormClose(ctx, *station_);
  EXPECT_NE(SettingsText().find("BaudRate_____________=19200\r\n"), std::string::npos);
}

}  // namespace
}  // namespace bq
