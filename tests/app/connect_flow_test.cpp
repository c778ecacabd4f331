// "Conectar e &Gravar" against a virtual boot loader: the decision, the outcome
// and what is left behind (device state, counter, memo lines, log, port).
#include "app/connect_flow.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "app/device_commands.h"
#include "boot/boot_commands.h"
#include "programming_fixture.h"
#include "serial/port_error.h"

namespace bq::test {
namespace {

namespace fs = std::filesystem;
using sim::Fault;
using sim::FaultKind;

constexpr uint32_t kDataEnd = 0x123F;
const std::string kNoIdentity =
    "Falha na Leitura do NS\r\nAntes de iniciar a operação coloque o equipamento em [ Modo Boot ]";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class FlowTest : public ProgrammingFixture {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("bq_flow_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ctx.paths.productionLog = (dir_ / "Log_Producao" / "Log_Producao_a2026_m01_d02.txt").string();
    ctx.settings.firmwareFile = (dir_ / "firmware.kfx").string();
  }
  void TearDown() override {
    ProgrammingFixture::TearDown();
    fs::remove_all(dir_);
  }

  // Starts the device and writes the firmware file the flow will load.
  void Prepare(sim::SimOptions options, KfxHeader header = {}, int badLine = 0) {
    StartDevice(options);
    FirmwareImage file;
    file.FillBlank();
    FillFlash(file, ApplicationStart, kDataEnd);
    WriteKfxFile(ctx.settings.firmwareFile, file, kDataEnd, header, badLine);
  }

  // The port as the detection leaves it: open at the loader's rate, versions read.
  void OpenAndReadVersion() {
    Connect();
    ASSERT_TRUE(ReadAndShowBootVersion(station));
  }

  bool Programmed() const { return !RequestsWith(boot::kEraseAll).empty(); }
  size_t Resets() const {
    device->WaitForRequests(device->Requests().size() + 1, std::chrono::milliseconds(50));
    return RequestsWith(boot::kResetRun).size();
  }

  fs::path dir_;
};

sim::SimOptions Device(uint8_t hardware, uint8_t version, uint8_t revision, bool blank = false) {
  sim::SimOptions o;
  o.hardwareVersion = hardware;
  o.firmwareVersion = version;
  o.firmwareRevision = revision;
  if (blank) o.memory = sim::MemoryContent::kBlank;
  return o;
}

struct DecisionCase {
  const char* name;
  sim::SimOptions device;
  KfxHeader file;
  std::optional<Answer> answer;
  bool asks;
  bool programs;
  std::string error;  // the error box, if any
};

class FlowDecisionTest : public FlowTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(FlowDecisionTest, DecidesAndEndsAsExpected) {
  const DecisionCase& c = GetParam();
  Prepare(c.device, c.file);
  OpenAndReadVersion();
  if (c.answer) ui.answers.push_back(*c.answer);

  EXPECT_EQ(CheckAndProgram(station, true).ok, c.programs);

  EXPECT_EQ(ui.Questions().size(), c.asks ? 1u : 0u);
  EXPECT_EQ(Programmed(), c.programs);
  // Refused, declined or written: the device always goes back to its firmware.
  EXPECT_EQ(Resets(), 1u);
  if (c.error.empty()) {
    EXPECT_TRUE(ui.Errors().empty());
  } else {
    EXPECT_EQ(ui.Errors(), std::vector<std::string>{c.error});
  }
  if (c.programs) {
    EXPECT_TRUE(FlashMatches(kDataEnd));
    EXPECT_EQ(device->ProductCode(), c.file.productCode);
  }
  // A blank device has no identity worth showing.
  EXPECT_EQ(ui.FieldText(Field::edNSLido).empty(), c.device.memory == sim::MemoryContent::kBlank);
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, FlowDecisionTest,
    ::testing::Values(
        DecisionCase{"BlankFits", Device(1, 0, 0, true), {}, std::nullopt, false, true, ""},
        DecisionCase{"BlankUnfit",
                     Device(3, 0, 0, true),
                     {},
                     std::nullopt,
                     false,
                     false,
                     "Este hard não aceita este soft\r\n\r\nHard =[hard 03] Placa 03\r\nSoft Kfx "
                     "=Produto 05"},
        DecisionCase{"HardwareAbove31",
                     Device(32, 1, 0),
                     {},
                     std::nullopt,
                     false,
                     false,
                     "Este hard não aceita este soft\r\n\r\nHard =[hard 32]\r\nSoft Kfx "
                     "=Produto 05"},
        DecisionCase{"ProductOutsideTable",
                     Device(1, 1, 0),
                     {40, 1, 3, 7},
                     std::nullopt,
                     false,
                     false,
                     "Este hard não aceita este soft\r\n\r\nHard =[hard 01] Placa 01\r\nSoft Kfx "
                     "=40"},
        DecisionCase{"EqualVersion", Device(1, 2, 5), {5, 1, 2, 5}, std::nullopt, false, true, ""},
        DecisionCase{
            "NewerByNumberNotText", Device(1, 2, 10), {5, 1, 3, 0}, std::nullopt, false, true, ""},
        DecisionCase{"DowngradeYes", Device(1, 3, 0), {5, 1, 2, 9}, Answer::Yes, true, true, ""},
        DecisionCase{
            "DowngradeClosed", Device(1, 3, 0), {5, 1, 2, 9}, Answer::Closed, true, true, ""},
        DecisionCase{"DowngradeNo", Device(1, 3, 0), {5, 1, 2, 9}, Answer::No, true, false, ""},
        // Erased or half-written application flash keeps its old product code.
        DecisionCase{
            "NoApplicationFits", Device(1, 255, 255), {5, 1, 2, 9}, std::nullopt, false, true, ""},
        DecisionCase{"NoApplicationUnfit",
                     Device(3, 255, 255),
                     {},
                     std::nullopt,
                     false,
                     false,
                     "Este hard não aceita este soft\r\n\r\nHard =[hard 03] Placa 03\r\nSoft Kfx "
                     "=Produto 05"}),
    [](const auto& info) { return info.param.name; });

TEST_F(FlowTest, DowngradeQuestionNamesBothVersions) {
  Prepare(Device(1, 3, 0), {5, 1, 2, 9});
  OpenAndReadVersion();
  ui.answers.push_back(Answer::No);
  EXPECT_FALSE(CheckAndProgram(station, true).ok);
  EXPECT_EQ(ui.Questions().front(),
            "O programa que você quer instalar é mais antigo que o da máquina.\r\nVersão máquina= "
            "3.0  Versão para gravar= 2.9\r\n\r\nContinua?");
  EXPECT_EQ(ui.LastStatus(), "Falha conexão!!");
}

TEST_F(FlowTest, SuccessCountsAndLogsEveryWrite) {
  Prepare(Device(1, 0, 0, true), {5, 7, 1, 2});
  OpenAndReadVersion();
  ASSERT_TRUE(CheckAndProgram(station, true).ok);
  EXPECT_EQ(ui.LastStatus(), "Operação Ok");
  EXPECT_TRUE(ui.LastStatusSuccess());

  // The reset frame is not awaited: let it land before the operator's boot button.
  for (int i = 0; i < 100 && device->InBootMode(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  device->EnterBootMode();
  OpenAndReadVersion();
  ASSERT_TRUE(CheckAndProgram(station, true).ok);

  EXPECT_EQ(ctx.upgradeCounter, 2);
  EXPECT_EQ(ui.FieldText(Field::edContadorUpgrade), "2");
  EXPECT_EQ(ui.MemoLines(Memo::MemoUpgradeResumo),
            std::vector<std::string>(2, "Firmware gravado OK (NS7)"));
  EXPECT_EQ(ui.MemoLines(Memo::memoUpgradeAuto), std::vector<std::string>(2, "OK (NS7)"));
  const std::string log = ReadFile(ctx.paths.productionLog);
  EXPECT_EQ(log.rfind("#### Arquivo Criado ######\r\n", 0), 0u);
  const std::string line = ">Firmware gravado OK P05_V1_02_NS000007\r\n";
  const size_t first = log.find(line);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find(line, first + 1), std::string::npos);
}

TEST_F(FlowTest, FailedProgrammingLeavesTheDeviceInBootModeAndNothingCounted) {
  Fault f;
  f.kind = FaultKind::kFailWrite;
  f.address = 0x900;
  f.times = 4;
  sim::SimOptions o = Device(1, 0, 0, true);
  o.faults = {f};
  Prepare(o);
  OpenAndReadVersion();

  EXPECT_FALSE(CheckAndProgram(station, true).ok);

  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Falha na gravação"});
  // The displays tell how the write ended, not where it was.
  EXPECT_EQ(ui.LastStatus(), "Falha na gravação");
  EXPECT_EQ(ui.progressPosition, 0u);
  EXPECT_EQ(Resets(), 0u);
  EXPECT_TRUE(device->InBootMode());
  EXPECT_EQ(ctx.upgradeCounter, 0);
  EXPECT_FALSE(fs::exists(ctx.paths.productionLog));
}

// A file that fails to load must never reach the device, not even half of it.
TEST_F(FlowTest, FileThatFailsToLoadSendsNothing) {
  Prepare(Device(1, 0, 0, true), {}, 100);
  OpenAndReadVersion();
  const size_t before = device->Requests().size();

  EXPECT_FALSE(CheckAndProgram(station, true).ok);

  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(device->Requests().size(), before);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Linha 100: check sum error."});
  EXPECT_TRUE(ui.Errors().empty());
}

struct IdentityLossCase {
  const char* name;
  uint64_t droppedRequest;  // 0 is the version read; 1 and 2 the flow's two identity reads
  size_t resets;
};

class FlowIdentityTest : public FlowTest, public ::testing::WithParamInterface<IdentityLossCase> {};

TEST_P(FlowIdentityTest, MissingIdentityIsReported) {
  Fault f;
  f.kind = FaultKind::kDropReply;
  f.request = GetParam().droppedRequest;
  sim::SimOptions o = Device(1, 2, 0);
  o.faults = {f};
  Prepare(o);
  OpenAndReadVersion();

  EXPECT_FALSE(CheckAndProgram(station, true).ok);

  EXPECT_EQ(ui.Errors(), std::vector<std::string>{kNoIdentity});
  EXPECT_EQ(ui.LastStatus(), "Falha na Leitura do NS");  // no longer the file's status
  EXPECT_EQ(Resets(), GetParam().resets);
  EXPECT_FALSE(Programmed());
}

INSTANTIATE_TEST_SUITE_P(Reads, FlowIdentityTest,
                         ::testing::Values(IdentityLossCase{"FirstRead", 1, 0},
                                           IdentityLossCase{"SecondRead", 2, 1}),
                         [](const auto& info) { return info.param.name; });

TEST_F(FlowTest, CancelledWriteSaysSoAndEmptiesTheBar) {
  Prepare(Device(1, 0, 0, true));
  OpenAndReadVersion();
  ui.onProcessMessages = [this] {
    if (ui.LastStatus().rfind("Gravando", 0) == 0) station.cancelFlag = true;
  };

  EXPECT_FALSE(CheckAndProgram(station, true).ok);

  EXPECT_EQ(ui.Messages().back(), " Cancelado");
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Falha na gravação"});
  EXPECT_EQ(ui.LastStatus(), "Cancelado");
  EXPECT_EQ(ui.progressPosition, 0u);
}

// A device gone since the last read: nothing of it stays beside the crosses.
TEST_F(FlowTest, FailedReadLeavesNoEarlierBootVersionOrRate) {
  Prepare(Device(1, 2, 0));
  ASSERT_TRUE(ConnectAndProgram(station, true).ok);
  ASSERT_NE(ui.FieldText(Field::edVerHard), "x");
  device->Stop();

  DeviceIdentity read;
  EXPECT_FALSE(ReadAttachedDevice(station, read));

  for (Field f : {Field::edNSLido, Field::edVersaoBoot, Field::edVersaoBootR2, Field::edVerHard,
                  Field::edBaudRateAchado}) {
    EXPECT_EQ(ui.FieldText(f), "x") << FieldName(f);
  }
}

TEST_F(FlowTest, ConnectWritesAHighAddressDeviceAndClosesThePort) {
  Prepare(Device(10, 0, 0, true), {10, 1, 3, 7});
  station.options.highAddresses = false;

  EXPECT_TRUE(ConnectAndProgram(station, true).ok);

  EXPECT_TRUE(station.options.highAddresses);
  EXPECT_TRUE(ui.checks[static_cast<int>(Check::chkHiAdress)]);
  EXPECT_FALSE(RequestsWith(boot::kWriteVerifyFlashLong).empty());
  EXPECT_TRUE(RequestsWith(boot::kWriteVerifyFlash).empty());
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
  EXPECT_TRUE(ui.commandsEnabled);
  EXPECT_EQ(ui.FieldText(Field::edBaudRateAchado), "38400");
}

TEST_F(FlowTest, WithoutGravaAutomaticoOnlyChecks) {
  Prepare(Device(10, 0, 0, true), {10, 1, 3, 7});
  ctx.gravaAuto = false;
  station.options.highAddresses = false;

  EXPECT_TRUE(ConnectAndProgram(station, true).ok);

  EXPECT_TRUE(station.options.highAddresses);
  EXPECT_FALSE(Programmed());
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
  EXPECT_EQ(ctx.upgradeCounter, 0);
}

// The port error reaches the caller; the lock is released on the way out.
TEST_F(FlowTest, PortThatCannotOpenEndsWithThePortErrorAndUnlocks) {
  Prepare(Device(1, 0, 0, true));
  ctx.settings.portName = (dir_ / "no-such-port").string();
  try {
    ConnectAndProgram(station, true);
    ADD_FAILURE() << "no port error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kClosedPortText);
  }
  EXPECT_TRUE(ui.commandsEnabled);
  EXPECT_TRUE(device->Requests().empty());
}

// Pulling the cable mid-write ends the command cleanly; after re-plugging, the
// same port path works again and the write completes.
TEST_F(FlowTest, UnplugDuringTheWriteThenWriteAgain) {
  Fault unplug;
  unplug.kind = FaultKind::kUnplug;
  unplug.request = 10;  // version, identity, version, 2 identities, erase, then blocks
  unplug.replugAfterMs = 300;
  sim::SimOptions o = Device(1, 0, 0, true);
  o.faults = {unplug};
  o.linkPath = (dir_ / "ttyBQ").string();
  Prepare(o);

  const WriteOutcome lost = ConnectAndProgram(station, true);
  EXPECT_FALSE(lost.ok);
  ASSERT_TRUE(lost.programming);
  EXPECT_EQ(lost.programming->phase, ProgrammingPhase::WriteFlash);
  EXPECT_GT(lost.programming->address, 0u);
  const std::vector<std::string> messages = ui.Messages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[messages.size() - 2], kClosedPortText);
  EXPECT_EQ(messages.back(), lost.programming->message);
  EXPECT_EQ(lost.programming->message.rfind("Equipamento parou de responder no endereço 0x", 0),
            0u);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Falha na gravação"});
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
  EXPECT_TRUE(ui.commandsEnabled);
  EXPECT_EQ(ctx.upgradeCounter, 0);

  for (int i = 0; i < 50 && !device->Plugged(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(device->Plugged());
  ui.Clear();
  // The product code goes last, so the half-written device still reads as blank.
  EXPECT_TRUE(ConnectAndProgram(station, true).ok);
  EXPECT_TRUE(ui.Questions().empty());
  EXPECT_TRUE(FlashMatches(kDataEnd));
  EXPECT_EQ(ctx.upgradeCounter, 1);
}

}  // namespace
}  // namespace bq::test
