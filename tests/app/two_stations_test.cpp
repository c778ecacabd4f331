// Two stations of one process write two virtual devices at the same time:
// each has its own port, progress and outcome, and the shared records (the
// production log, the upgrade counter, the production records) get one
// entry for each device.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/connect_flow.h"
#include "app/context.h"
#include "app/station.h"
#include "programming_fixture.h"
#include "records/record_store.h"

namespace bq::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kDataEnd = 0x1A3F;

std::vector<std::string> LogLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class TwoStationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("bq_two_stations_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ctx_.paths.dataRoot = dir_.string() + "/";
    ctx_.paths.productionLog = (dir_ / "Log_Producao" / "Log_Producao_a2026_m01_d02.txt").string();
    ctx_.settings.firmwareFile = (dir_ / "firmware.kfx").string();
    file_.FillBlank();
    FillFlash(file_, ApplicationStart, kDataEnd);
    WriteKfxFile(ctx_.settings.firmwareFile, file_, kDataEnd, {});
  }
  void TearDown() override {
    for (auto& d : devices_) d->Stop();
    fs::remove_all(dir_);
  }

  Station& AddStation(uint16_t serial) {
    sim::SimOptions options;
    options.serialNumber = serial;
    devices_.push_back(std::make_unique<sim::VirtualDevice>(options));
    devices_.back()->Start();
    operators_.push_back(std::make_unique<RecordingOperator>());
    stations_.push_back(
        std::make_unique<Station>(ctx_, *operators_.back(), devices_.back()->PortPath(),
                                  static_cast<uint16_t>(devices_.back()->BaudRate())));
    return *stations_.back();
  }

  bool DeviceHoldsTheFile(const sim::VirtualDevice& device) const {
    const std::vector<uint8_t> flash = device.Flash();
    return std::equal(flash.begin() + ApplicationStart, flash.begin() + kDataEnd + 1,
                      file_.flash.begin() + ApplicationStart);
  }

  RecordingOperator processUi_;
  Context ctx_{processUi_, AppPaths{}};
  FirmwareImage file_;
  fs::path dir_;
  std::vector<std::unique_ptr<sim::VirtualDevice>> devices_;
  std::vector<std::unique_ptr<RecordingOperator>> operators_;
  std::vector<std::unique_ptr<Station>> stations_;
};

TEST_F(TwoStationsTest, WriteTwoDevicesAtOnceEachWithItsOwnProgressAndOutcome) {
  Station& first = AddStation(101);
  Station& second = AddStation(202);

  auto a = std::async(std::launch::async, [&] { return ConnectAndProgram(first, true); });
  auto b = std::async(std::launch::async, [&] { return ConnectAndProgram(second, true); });
  const WriteOutcome outA = a.get();
  const WriteOutcome outB = b.get();

  EXPECT_TRUE(outA.ok);
  EXPECT_TRUE(outB.ok);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE("station " + std::to_string(i));
    const RecordingOperator& ui = *operators_[i];
    EXPECT_TRUE(DeviceHoldsTheFile(*devices_[i]));
    EXPECT_EQ(ui.LastStatus(), "Operação Ok");
    EXPECT_TRUE(ui.Errors().empty());
    // Its own bar walked its own device's blocks up to the file's end.
    EXPECT_FALSE(ui.progressPositions.empty());
    EXPECT_EQ(ui.FieldText(Field::edNSLido), std::to_string(devices_[i]->Identity().serialNumber));
  }
  // Each station kept its own port and never touched the settings' one.
  EXPECT_EQ(first.portName, devices_[0]->PortPath());
  EXPECT_EQ(second.portName, devices_[1]->PortPath());
  EXPECT_EQ(ctx_.upgradeCounter.load(), 2);

  const std::vector<std::string> log = LogLines(ctx_.paths.productionLog);
  ASSERT_EQ(log.size(), 3u);  // the header line, then one line per device
  EXPECT_EQ(log[0], "#### Arquivo Criado ######\r");
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_NE(log[i].find(">Firmware gravado OK "), std::string::npos) << log[i];
  }

  // And one production record each, with the device's own port and serial number.
  records::RecordsConfig config;
  config.dataFolder = ctx_.paths.dataRoot;
  records::RecordStore reader(config);
  std::set<std::pair<std::string, int64_t>> kept;
  for (const auto& r : reader.QueryLocal({}).records) {
    EXPECT_EQ(r.result, records::RecordResult::kOk);
    kept.insert({r.port, r.device.serialNumber.value_or(-1)});
  }
  const std::set<std::pair<std::string, int64_t>> expected = {{devices_[0]->PortPath(), 101},
                                                              {devices_[1]->PortPath(), 202}};
  EXPECT_EQ(kept, expected);
}

}  // namespace
}  // namespace bq::test
