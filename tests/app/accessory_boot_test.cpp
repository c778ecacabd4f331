// Switching accessories into their boot loader, and writing firmware afterwards.
#include "app/accessory_boot.h"

#include <gtest/gtest.h>

#include "app/connect_flow.h"
#include "app/firmware_commands.h"
#include "programming_fixture.h"
#include "scan_fixture.h"

namespace bq::test {
namespace {

using namespace std::chrono_literals;
using sim::Personality;

class AccessoryBoot : public ScanFixture {
 protected:
  // A firmware file for the devices of the fixture, chosen as "&Procurar" does.
  void LoadFirmware() {
    FillFlash(image, ApplicationStart, kLast);
    const std::string path = ctx.paths.settingsFile + ".kfx";
    WriteKfxFile(path, image, kLast, KfxHeader{2, 0x1234, 4, 2});
    ASSERT_TRUE(ChooseFirmwareFile(ctx, path, station.flowHeader));
  }

  bool WroteTheImage(const sim::VirtualDevice& device) const {
    const auto flash = device.Flash();
    return std::equal(image.flash.begin() + ApplicationStart, image.flash.begin() + kLast + 1,
                      flash.begin() + ApplicationStart);
  }

  static constexpr uint32_t kLast = 0x0FFF;
  FirmwareImage image;
};

TEST_F(AccessoryBoot, ArvexAndDelmoEnterBootAndTakeAWrite) {
  struct Case {
    Personality personality;
    ArvexAnswer answered;
    uint16_t rate;
  };
  const Case cases[] = {
      {Personality::kArvex, ArvexAnswer::Bridge, 4545},
      {Personality::kDelmo, ArvexAnswer::VersionQuery, 9600},
  };
  LoadFirmware();
  for (const auto& c : cases) {
    TearDown();
    devices.clear();
    ports.clear();
    sim::VirtualDevice& device = AddDevice(c.personality);
    SelectPort(ports[0]);
    const ArvexBootOutcome outcome = ArvexEnterBoot(station);
    EXPECT_EQ(outcome.answered, c.answered);
    EXPECT_EQ(outcome.baudRate, c.rate);
    EXPECT_EQ(ctx.settings.baudRate, c.rate);
    ASSERT_TRUE(device.WaitForBootMode(1s));
    EXPECT_TRUE(ConnectAndProgram(station, true).ok);
    EXPECT_TRUE(WroteTheImage(device));
  }
}

// The bridge hears 'N', 'P', then 'O': no 'N' run between the probe and the
// boot run, and none after it.
TEST_F(AccessoryBoot, ArvexHearsNoWakeRunAfterTheProbe) {
  sim::VirtualDevice& arvex = AddDevice(Personality::kArvex);
  SelectPort(ports[0]);
  ArvexEnterBoot(station);
  ASSERT_TRUE(arvex.WaitForBootMode(1s));
  EXPECT_EQ(Runs(arvex), "NPO");
}

TEST_F(AccessoryBoot, NothingAnswersAndNothingIsShown) {
  AddDevice(Personality::kBoot);
  SelectPort(ports[0]);
  ctx.settings.baudRate = 19200;
  const ArvexBootOutcome outcome = ArvexEnterBoot(station);
  EXPECT_EQ(outcome.answered, ArvexAnswer::None);
  EXPECT_EQ(ctx.settings.baudRate, 19200);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.Errors().empty());
  EXPECT_TRUE(ui.commandsEnabled);
}

TEST_F(AccessoryBoot, ZirconsEnterBootThenWriteByThemselves) {
  struct Case {
    Personality personality;
    uint16_t rate;
    bool prefixKE;
    bool afterPause;
  };
  const Case cases[] = {
      {Personality::kZirconBox, 9600, true, false},
      {Personality::kSensorZircon, 4545, false, true},
  };
  LoadFirmware();
  for (const auto& c : cases) {
    TearDown();
    devices.clear();
    ports.clear();
    ui.Clear();
    sim::VirtualDevice& device = AddDevice(c.personality);
    SelectPort(ports[0]);
    ctx.settings.baudRate = 38400;
    const auto start = std::chrono::steady_clock::now();
    const ZirconBootCommand command = SensorZirconEnterBoot(station);
    EXPECT_EQ(SecondsSince(start) >= 2.0 + 1.5, c.afterPause) << c.rate;
    EXPECT_TRUE(command.boot.entered);
    EXPECT_EQ(command.boot.baudRate, c.rate);
    EXPECT_EQ(command.boot.prefixKE, c.prefixKE);
    EXPECT_EQ(ui.MemoLines(Memo::MemoRxDado), std::vector<std::string>{"Boot ok"});
    ASSERT_TRUE(command.write.has_value());
    EXPECT_TRUE(command.write->ok);
    EXPECT_TRUE(WroteTheImage(device));
  }
}

TEST_F(AccessoryBoot, ZirconWithoutAutomaticWriteOnlySaysSo) {
  AddDevice(Personality::kZirconBox);
  SelectPort(ports[0]);
  ctx.gravarSensorZirconAuto = false;
  const ZirconBootCommand command = SensorZirconEnterBoot(station);
  EXPECT_TRUE(command.boot.entered);
  EXPECT_FALSE(command.write.has_value());
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Sensor Zircon em Modo Boot.\r\nPara gravar "
                                                    "use o botão [ Conectar e Gravar ]"});
}

TEST_F(AccessoryBoot, ZirconOnAHeldPortFailsTwiceAndKeepsTheRate) {
  AddDevice(Personality::kSensorZircon);
  SelectPort(ports[0]);
  ctx.settings.baudRate = 19200;
  TComPortGPS other;
  other.SetDeviceName(ports[0]);
  other.Open();
  const ZirconBootCommand command = SensorZirconEnterBoot(station);
  EXPECT_FALSE(command.boot.entered);
  const std::string openFailure = "Falha na abertura da porta serial =" + ports[0];
  EXPECT_EQ(ui.Errors(), (std::vector<std::string>{openFailure, openFailure, "Falha Boot"}));
  EXPECT_EQ(ctx.settings.baudRate, 19200);
  EXPECT_TRUE(ui.commandsEnabled);
}

}  // namespace
}  // namespace bq::test
