// Every device command keeps one production record, whatever way it ends:
// written, refused, declined, cancelled or failed, with the device as it was
// read, the file it used and the phases it went through.
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/connect_flow.h"
#include "app/device_commands.h"
#include "app/memory_commands.h"
#include "programming_fixture.h"
#include "records/record_store.h"

namespace bq::test {
namespace {

namespace fs = std::filesystem;
using records::ProductionRecord;
using records::RecordResult;
using sim::Fault;
using sim::FaultKind;

constexpr uint32_t kDataEnd = 0x123F;

class AttemptRecordsTest : public ProgrammingFixture {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("bq_attempts_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ctx.paths.dataRoot = dir_.string() + "/";
    ctx.paths.settingsFile = ctx.paths.dataRoot + "BootQuarn.Ini";
    ctx.paths.productionLog = (dir_ / "Log_Producao" / "Log_Producao_a2026_m01_d02.txt").string();
    ctx.settings.firmwareFile = (dir_ / "firmware.kfx").string();
  }
  void TearDown() override {
    ProgrammingFixture::TearDown();
    fs::remove_all(dir_);
  }

  void Prepare(sim::SimOptions options, KfxHeader header = {}) {
    StartDevice(std::move(options));
    FirmwareImage file;
    file.FillBlank();
    FillFlash(file, ApplicationStart, kDataEnd);
    WriteKfxFile(ctx.settings.firmwareFile, file, kDataEnd, header);
  }

  // What a second reader of the bench's records finds now, oldest first.
  std::vector<ProductionRecord> Kept() const {
    records::RecordsConfig config;
    config.dataFolder = ctx.paths.dataRoot;
    records::RecordStore reader(config);
    std::vector<ProductionRecord> kept = reader.QueryLocal({}).records;
    std::reverse(kept.begin(), kept.end());
    return kept;
  }

  ProductionRecord OnlyRecord() const {
    const std::vector<ProductionRecord> kept = Kept();
    EXPECT_EQ(kept.size(), 1u);
    return kept.empty() ? ProductionRecord{} : kept.front();
  }

  fs::path dir_;
};

sim::SimOptions Device(uint8_t hardware, uint8_t version, uint8_t revision) {
  sim::SimOptions o;
  o.hardwareVersion = hardware;
  o.firmwareVersion = version;
  o.firmwareRevision = revision;
  o.serialNumber = 342;
  return o;
}

sim::SimOptions FailingWrites() {
  sim::SimOptions o = Device(1, 1, 0);
  Fault f;
  f.kind = FaultKind::kFailWrite;
  f.address = 0x900;
  f.times = 4;
  o.faults = {f};
  return o;
}

struct WriteCase {
  const char* name;
  sim::SimOptions device;
  KfxHeader file;
  std::optional<Answer> answer;
  bool stop;  // the operator asked to stop before the erase
  RecordResult result;
  std::optional<std::string> failedPhase;
  std::optional<int64_t> failedAddress;
  const char* messageStart;  // the failure's message begins so; "" when none is kept
};

class WriteRecordTest : public AttemptRecordsTest,
                        public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteRecordTest, OneRecordTellsHowTheWriteEnded) {
  const WriteCase& c = GetParam();
  Prepare(c.device, c.file);
  if (c.answer) ui.answers.push_back(*c.answer);
  station.stopRequested = c.stop;

  ConnectAndProgram(station, true);

  const ProductionRecord r = OnlyRecord();
  EXPECT_EQ(r.command, "write");
  EXPECT_EQ(r.result, c.result);
  EXPECT_EQ(r.port, device->PortPath());
  EXPECT_EQ(r.programVersion, "5.54");
  EXPECT_FALSE(r.startedAt.empty());
  EXPECT_LE(r.startedAt, r.endedAt);
  EXPECT_EQ(r.device.serialNumber, 342);
  EXPECT_EQ(r.device.firmwareVersion, c.device.firmwareVersion);
  EXPECT_EQ(r.device.hardwareVersion, c.device.hardwareVersion);
  EXPECT_EQ(r.device.bootLoaderVersion, c.device.bootLoaderVersion);
  // A stop before the file was loaded leaves it out.
  if (!c.stop) {
    EXPECT_EQ(r.file.path, ctx.settings.firmwareFile);
    ASSERT_TRUE(r.file.sha256);
    EXPECT_EQ(r.file.sha256->size(), 64u);
    EXPECT_EQ(r.file.serialNumber, c.file.serialNumber);
    EXPECT_EQ(r.file.version, c.file.version);
  }
  EXPECT_EQ(r.failure.phase, c.failedPhase);
  EXPECT_EQ(r.failure.address, c.failedAddress);
  if (*c.messageStart == '\0') {
    EXPECT_FALSE(r.failure.message) << *r.failure.message;
  } else {
    ASSERT_TRUE(r.failure.message);
    EXPECT_EQ(r.failure.message->rfind(c.messageStart, 0), 0u) << *r.failure.message;
  }
  const bool erased = c.result == RecordResult::kOk || c.result == RecordResult::kFailed;
  ASSERT_EQ(!r.phases.empty(), erased);
  if (erased) {
    EXPECT_EQ(r.phases.front().name, "erase");
  }
}

INSTANTIATE_TEST_SUITE_P(Ends, WriteRecordTest,
                         ::testing::Values(WriteCase{"Written",
                                                     Device(1, 1, 0),
                                                     {},
                                                     std::nullopt,
                                                     false,
                                                     RecordResult::kOk,
                                                     std::nullopt,
                                                     std::nullopt,
                                                     ""},
                                           WriteCase{"HardwareRefused",
                                                     Device(3, 1, 0),
                                                     {},
                                                     std::nullopt,
                                                     false,
                                                     RecordResult::kRefused,
                                                     std::nullopt,
                                                     std::nullopt,
                                                     "Este hard não aceita"},
                                           WriteCase{"DowngradeDeclined",
                                                     Device(1, 3, 0),
                                                     {5, 1234, 2, 9},
                                                     Answer::No,
                                                     false,
                                                     RecordResult::kDeclined,
                                                     std::nullopt,
                                                     std::nullopt,
                                                     ""},
                                           WriteCase{"StoppedBeforeTheErase",
                                                     Device(1, 1, 0),
                                                     {},
                                                     std::nullopt,
                                                     true,
                                                     RecordResult::kCancelled,
                                                     std::nullopt,
                                                     std::nullopt,
                                                     ""},
                                           WriteCase{"BlockNeverWritten",
                                                     FailingWrites(),
                                                     {},
                                                     std::nullopt,
                                                     false,
                                                     RecordResult::kFailed,
                                                     "writeFlash",
                                                     0x900,
                                                     "Falha gravação e verificação"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AttemptRecordsTest, AWrittenDeviceKeepsItsPhasesWithBytesAndTimes) {
  Prepare(Device(1, 1, 0));
  ASSERT_TRUE(ConnectAndProgram(station, true).ok);
  const ProductionRecord r = OnlyRecord();
  std::vector<std::string> names;
  for (const auto& p : r.phases) {
    names.push_back(p.name);
    EXPECT_LE(p.start, p.end) << p.name;
    EXPECT_GE(p.seconds, 0.0) << p.name;
  }
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "erase");
  EXPECT_EQ(names[1], "writeFlash");
  // The write covers the file's data, up to the end of its last block.
  EXPECT_GE(r.phases[1].bytes, int64_t{kDataEnd + 1 - ApplicationStart});
}

// A file with nothing for the flash is refused before the device is asked anything.
TEST_F(AttemptRecordsTest, AFileWithoutAProgramIsARefusal) {
  Prepare(Device(1, 1, 0));
  FirmwareImage eepromOnly;
  eepromOnly.FillBlank();
  WriteKfxFile(ctx.settings.firmwareFile, eepromOnly, ApplicationStart - 1, {});
  ConnectAndProgram(station, true);
  const ProductionRecord r = OnlyRecord();
  EXPECT_EQ(r.result, RecordResult::kRefused);
  EXPECT_TRUE(r.phases.empty());
}

TEST_F(AttemptRecordsTest, NoDeviceOnThePortIsAFailureWithTheOperatorsText) {
  Prepare(Device(1, 1, 0));
  device->Stop();
  try {
    ConnectAndProgram(station, false);
  } catch (const PortError&) {
    // the front end shows it; the record must have been kept all the same
  }
  const ProductionRecord r = OnlyRecord();
  EXPECT_EQ(r.result, RecordResult::kFailed);
  EXPECT_FALSE(r.device.serialNumber);
  ASSERT_TRUE(r.failure.message);
  EXPECT_FALSE(r.failure.message->empty());
}

TEST_F(AttemptRecordsTest, VerifyReadEraseAndResetEachKeepTheirOwnRecord) {
  Prepare(Device(1, 1, 0));
  ASSERT_TRUE(ConnectAndProgram(station, true).ok);
  device->EnterBootMode();  // the write restarted it into its firmware
  EXPECT_EQ(VerifyAttachedDevice(station, ctx.settings.firmwareFile).result, MemoryRunResult::Ok);
  FirmwareImage read;
  EXPECT_EQ(ReadAttachedMemory(station, ApplicationStart, 0x0FFF, false, read).result,
            MemoryRunResult::Ok);
  EXPECT_TRUE(RestartAttachedDevice(station));

  const std::vector<ProductionRecord> kept = Kept();
  ASSERT_EQ(kept.size(), 4u);
  const char* commands[] = {"write", "verify", "read", "reset"};
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(kept[i].command, commands[i]);
    EXPECT_EQ(kept[i].result, RecordResult::kOk) << commands[i];
  }
  EXPECT_EQ(kept[1].file.path, ctx.settings.firmwareFile);
  EXPECT_EQ(kept[1].phases.front().name, "verifyFlash");
  EXPECT_EQ(kept[2].phases.front().name, "readFlash");
  EXPECT_FALSE(kept[2].file.path);
}

// A verify that finds the device holding something else keeps where it differs.
TEST_F(AttemptRecordsTest, AVerifyThatDiffersIsAFailureAtTheFirstDifference) {
  Prepare(Device(1, 1, 0));
  const VerifyOutcome outcome = VerifyAttachedDevice(station, ctx.settings.firmwareFile);
  ASSERT_EQ(outcome.result, MemoryRunResult::Differs);
  const ProductionRecord r = OnlyRecord();
  EXPECT_EQ(r.command, "verify");
  EXPECT_EQ(r.result, RecordResult::kFailed);
  EXPECT_EQ(r.failure.address, int64_t{*outcome.firstDifference});
  EXPECT_EQ(r.failure.phase, "verifyFlash");
}

TEST_F(AttemptRecordsTest, EraseKeepsARecord) {
  Prepare(Device(1, 1, 0));
  ASSERT_TRUE(EraseAttachedDevice(station));
  const ProductionRecord r = OnlyRecord();
  EXPECT_EQ(r.command, "erase");
  EXPECT_EQ(r.result, RecordResult::kOk);
}

// A record that cannot be kept is a warning beside the outcome, never a failure.
TEST_F(AttemptRecordsTest, ARecordThatCannotBeKeptIsAWarningAndTheWriteStillSucceeds) {
  Prepare(Device(1, 1, 0));
  fs::create_directories(dir_ / "Registros.sqlite");  // a folder where the file should be
  EXPECT_TRUE(ConnectAndProgram(station, true).ok);
  EXPECT_EQ(ui.LastStatus(), "Operação Ok");
  ASSERT_EQ(ui.Errors().size(), 1u);
  EXPECT_NE(ui.Errors()[0].find("Registros.sqlite"), std::string::npos) << ui.Errors()[0];
}

// A context made without a data folder (a tool's, a test's) keeps no records.
TEST_F(AttemptRecordsTest, NoDataFolderNoRecords) {
  Prepare(Device(1, 1, 0));
  ctx.paths.dataRoot.clear();
  ASSERT_TRUE(RestartAttachedDevice(station));
  EXPECT_FALSE(fs::exists(dir_ / "Registros.sqlite"));
}

}  // namespace
}  // namespace bq::test
