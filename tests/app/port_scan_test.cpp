// The two port scans against accessories and boot loaders on several ports.
#include "app/port_scan.h"

#include <gtest/gtest.h>

#include "scan_fixture.h"
#include "serial/com_port.h"

namespace bq::test {
namespace {

using sim::Personality;

const std::string kNotFound =
    "Não encontrou Quarn conectado!\r\n\r\n :: Verifique se cabo serial conectado\r\n :: "
    "Verifique funçao Boot Loader está ativada no Quarn";

using PortScan = ScanFixture;

TEST_F(PortScan, FindsTheFirstKindInStageOrder) {
  struct Case {
    std::vector<Personality> attached;
    ScanResult result;
    size_t foundAt;
    uint16_t rate;
    std::string box;
  };
  const Case cases[] = {
      // A boot loader on a later port wins over a Delmo on the first.
      {{Personality::kDelmo, Personality::kBoot},
       ScanResult::QuarnBootLoader,
       1,
       38400,
       "Encontrou Quarn na porta "},
      {{Personality::kDelmo}, ScanResult::Delmo, 0, 9600, "Encontrou Delmo na porta "},
      {{Personality::kArvex}, ScanResult::Arvex, 0, 4545, "Encontrou Arvex na porta "},
  };
  for (const auto& c : cases) {
    TearDown();
    devices.clear();
    ports.clear();
    ui.Clear();
    for (Personality p : c.attached) AddDevice(p);
    const ScanOutcome outcome = ScanPorts(station);
    EXPECT_EQ(outcome.result, c.result) << c.box;
    EXPECT_EQ(outcome.port, ports[c.foundAt]);
    EXPECT_EQ(outcome.baudRate, c.rate);
    EXPECT_EQ(outcome.portsListed, static_cast<int>(c.attached.size()));
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{c.box + ports[c.foundAt]});
    EXPECT_EQ(ui.FieldText(Field::edBaudRateAchado), std::to_string(c.rate));
    EXPECT_FALSE(station.ComPortQuarn.IsOpen());
  }
}

// The scan's bridge probe leaves the bridge as it found it: the last run it
// hears is an 'N' run, also when it answered.
TEST_F(PortScan, BridgeProbeEndsWithTheWakeRun) {
  sim::VirtualDevice& arvex = AddDevice(Personality::kArvex);
  ASSERT_EQ(ScanPorts(station).result, ScanResult::Arvex);
  ASSERT_TRUE(arvex.WaitForRequests(3, std::chrono::milliseconds(1000)));
  EXPECT_EQ(Runs(arvex), "NPN");
  EXPECT_FALSE(arvex.InBootMode());
}

TEST_F(PortScan, EmptyListProbesNothingAndStoresNoPort) {
  ctx.settings.portName = "/dev/ttyS0";
  const ScanOutcome outcome = ScanPorts(station);
  EXPECT_EQ(outcome.result, ScanResult::None);
  EXPECT_EQ(outcome.portsListed, 0);
  EXPECT_EQ(ui.FieldText(Field::lbAviso), "Qtde Portas = 0");
  EXPECT_EQ(ctx.settings.portName, "");
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{kNotFound});
}

// A port another program holds fails every probe silently: only the
// not-found box comes, and the last entry stays selected.
// A port another program holds is not blamed on the cable: the one box names
// it with the reason it would not open, and it is not counted as scanned.
TEST_F(PortScan, HeldPortIsNamedInTheNotFoundBox) {
  AddDevice(Personality::kBoot);
  TComPortGPS other;
  other.SetDeviceName(ports[0]);
  other.Open();
  const ScanOutcome outcome = ScanPorts(station);
  EXPECT_EQ(outcome.result, ScanResult::None);
  EXPECT_EQ(outcome.port, ports[0]);
  ASSERT_EQ(outcome.skipped.size(), 1u);
  EXPECT_EQ(outcome.skipped[0].port, ports[0]);
  EXPECT_EQ(outcome.skipped[0].reason, "Device or resource busy");
  EXPECT_EQ(outcome.portsListed, 1);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{kNotFound + "\r\n\r\n :: could not open " +
                                                  ports[0] + ": Device or resource busy"});
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(devices[0]->Requests().empty());
}

TEST_F(PortScan, ZirconScanPausesOnlyForTheSensor) {
  struct Case {
    Personality personality;
    ScanResult result;
    uint16_t rate;
    bool afterPause;
    std::string box;
  };
  const Case cases[] = {
      {Personality::kZirconBox, ScanResult::ZirconBoxAmarelo, 9600, false,
       "Encontrou ZirconBox Amarelo na porta "},
      {Personality::kSensorZircon, ScanResult::SensorZircon, 4545, true,
       "Encontrou Sensor Zircon na porta "},
  };
  for (const auto& c : cases) {
    TearDown();
    devices.clear();
    ports.clear();
    ui.Clear();
    AddDevice(c.personality);
    const auto start = std::chrono::steady_clock::now();
    const ScanOutcome outcome = ScanZirconPorts(station);
    EXPECT_EQ(SecondsSince(start) >= 2.0, c.afterPause) << c.box;
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.baudRate, c.rate);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{c.box + ports[0]});
    EXPECT_EQ(ui.MemoLines(Memo::MemoRxDado).back(),
              "NS Fab=4660\r\n Versao=3.1\r\n CodProd=2\r\n Prod=P2");
    // The probe's rate lives only until the scan saves the window's rate.
    EXPECT_EQ(ui.FieldText(Field::edBaudRateAchado), std::to_string(c.rate));
    EXPECT_TRUE(ui.commandsEnabled);
  }
}

}  // namespace
}  // namespace bq::test
