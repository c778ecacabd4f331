// Finding the loader's rate, reading the identity, and the commands built on them.

#include "boot/boot_connection.h"

#include <fcntl.h>
#include <unistd.h>

#include "app/device_commands.h"
#include "boot/boot_commands.h"
#include "device_fixture.h"

namespace bq::test {
namespace {

using sim::Fault;
using sim::FaultKind;

using BootConnectionTest = DeviceFixture;

std::vector<uint8_t> VersionRequest() {
  return {0x01, 0xFF, 0xFF, 0xFF};
}

TEST_F(BootConnectionTest, DetectionTriesThePreferredRateFirst) {
  struct Case {
    uint16_t settingsRate;
    uint32_t deviceRate;
    bool firstTryMisses;  // the first frame went out at the other rate
  };
  const Case cases[] = {
      {19200, 19200, false}, {38400, 38400, false}, {9600, 38400, false},
      {4545, 38400, false},  {38400, 19200, true},  {19200, 38400, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.settingsRate) + " -> " + std::to_string(c.deviceRate));
    ui.Clear();
    StartDevice(Options([&](sim::SimOptions& o) { o.baudRate = c.deviceRate; }));
    ctx.settings.baudRate = c.settingsRate;

    ASSERT_TRUE(DetectBootBaudRate(station));
    EXPECT_EQ(ctx.settings.baudRate, c.deviceRate);
    EXPECT_EQ(ui.FieldText(Field::edBaudRateAchado), std::to_string(c.deviceRate));
    EXPECT_EQ(device->Stats().bytesWrongRate > 0, c.firstTryMisses);
    EXPECT_EQ(ReceivedPayloads(), Payloads{VersionRequest()});
    // Found: the port stays open with the open's own waits.
    EXPECT_TRUE(station.ComPortQuarn.IsOpen());
    EXPECT_EQ(station.ComPortQuarn.GetTimeouts().readConstant, kOpenTimeouts.readConstant);
    EXPECT_TRUE(ui.Messages().empty());
    CloseBootPort(station.ComPortQuarn);
    device->Stop();
  }
}

TEST_F(BootConnectionTest, DetectionOfAMissingPortFailsQuietly) {
  ctx.settings.portName = "/dev/ttyBQ-not-there";
  ctx.settings.baudRate = 19200;
  EXPECT_FALSE(DetectBootBaudRate(station));
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
  EXPECT_EQ(ctx.settings.baudRate, 19200);
  EXPECT_TRUE(ui.events.empty());
}

TEST_F(BootConnectionTest, DetectionOfAPortHeldElsewhereFailsQuietly) {
  StartDevice();
  RecordingOperator otherUi;
  Context other{otherUi, AppPaths{}};
  Station otherStation{other, otherUi};
  ASSERT_TRUE(OpenBootPort(otherStation.ComPortQuarn, otherUi, 38400, ctx.settings.portName));
  EXPECT_FALSE(DetectBootBaudRate(station));
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.Errors().empty());
  CloseBootPort(otherStation.ComPortQuarn);
}

TEST_F(BootConnectionTest, ReadSerialNumberShowsTheDevice) {
  StartDevice(Options([&](sim::SimOptions& o) {
    o.bootLoaderVersion = 0x0203;
    o.hardwareVersion = 4;
    o.serialNumber = 4321;
    o.productCode = 12;
  }));
  DeviceIdentity read;
  ASSERT_TRUE(ReadAttachedDevice(station, read));
  EXPECT_EQ(read.serialNumber, 4321);
  EXPECT_EQ(read.productCode, 12);
  EXPECT_EQ(read.bootLoaderVersion, 0x0203u);
  EXPECT_EQ(read.hardwareVersion, 4u);
  EXPECT_EQ(ui.FieldText(Field::edNSLido), "4321");
  EXPECT_EQ(ui.FieldText(Field::edTpProduto), "12");
  EXPECT_EQ(ui.FieldText(Field::edVersaoBootR2), "2.03");
  EXPECT_EQ(ui.ComboIndex(Combo::cbCodigoProdutoLido), 12);
  EXPECT_EQ(ReceivedPayloads(),
            (Payloads{VersionRequest(), {0x0D, 0xFF, 0xFF, 0xFF}, VersionRequest()}));
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
  EXPECT_TRUE(ui.commandsEnabled);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.Errors().empty());
}

// No loader answering and no port at all look the same to the operator: the
// identity shows "x", no box, the buttons come back.
TEST_F(BootConnectionTest, ReadSerialNumberWithoutADeviceClearsQuietly) {
  struct Case {
    const char* name;
    bool portExists;
  };
  for (const Case& c : {Case{"loader not in boot mode", true}, Case{"no such port", false}}) {
    SCOPED_TRACE(c.name);
    ui.Clear();
    if (c.portExists) {
      StartDevice();
      OpenAtDeviceRate();
      ResetRun(station.link());  // the application runs now and ignores the loader's frames
      device->WaitForRequests(1, std::chrono::milliseconds(1000));
    } else {
      ctx.settings.portName = "/dev/ttyBQ-not-there";
    }
    bool lockedDuringCommand = false;
    ui.onProcessMessages = [&] { lockedDuringCommand |= !ui.commandsEnabled; };

    botLeNSClick(station);

    EXPECT_TRUE(lockedDuringCommand);
    EXPECT_TRUE(ui.commandsEnabled);
    for (Field f : {Field::edNSLido, Field::edTpProduto, Field::edVerLido, Field::edRevLido}) {
      EXPECT_EQ(ui.FieldText(f), "x");
    }
    EXPECT_EQ(ui.ComboIndex(Combo::cbCodigoProdutoLido), 27);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(ui.Errors().empty());
    EXPECT_FALSE(station.ComPortQuarn.IsOpen());
    ui.onProcessMessages = nullptr;
    if (device) device->Stop();
  }
}

TEST_F(BootConnectionTest, MalformedIdentityReplyIsReportedTwice) {
  // Request 0 is the detection's version read, request 1 the identity read.
  StartDevice(
      Options([&](sim::SimOptions& o) { o.faults = {AtRequest(FaultKind::kWrongCode, 1)}; }));
  botLeNSClick(station);
  std::vector<std::string> boxes;
  for (const auto& e : ui.events) {
    if (e.kind == Event::Kind::Message || e.kind == Event::Kind::Error) boxes.push_back(e.text);
  }
  EXPECT_EQ(boxes,
            (std::vector<std::string>{" Erro no comando LE NS", "Equipamento não conectado!!"}));
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Equipamento não conectado!!"});
  EXPECT_TRUE(ui.commandsEnabled);
}

TEST_F(BootConnectionTest, IdentifyReportsAMissingVersionUnlessQuiet) {
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "loud");
    ui.Clear();
    // Requests: version (detection), identity, version (dropped).
    StartDevice(
        Options([&](sim::SimOptions& o) { o.faults = {AtRequest(FaultKind::kDropReply, 2)}; }));
    ASSERT_TRUE(DetectBootBaudRate(station));
    ApplyReadTimeouts(station.ComPortQuarn, ProbeTimeouts);
    EXPECT_FALSE(IdentifyDevice(station, false, quiet));
    EXPECT_EQ(ui.FieldText(Field::edNSLido), "1000");  // the identity stays shown
    EXPECT_EQ(ui.Messages(), quiet ? std::vector<std::string>{}
                                   : std::vector<std::string>{" Erro le versao boot"});
    EXPECT_EQ(station.identity.bootLoaderVersion, 0u);
    EXPECT_TRUE(station.ComPortQuarn.IsOpen());
    CloseBootPort(station.ComPortQuarn);
    device->Stop();
  }
}

// The cable is pulled as the identity request arrives: the read finds no device,
// which the operator hears of as a device that is not connected.
TEST_F(BootConnectionTest, UnpluggedMidExchangeEndsTheCommandCleanly) {
  StartDevice(Options([&](sim::SimOptions& o) { o.faults = {AtRequest(FaultKind::kUnplug, 1)}; }));
  botLeNSClick(station);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Equipamento não conectado!!"});
  EXPECT_EQ(ui.FieldText(Field::edNSLido), "x");
  EXPECT_TRUE(ui.commandsEnabled);
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
}

TEST_F(BootConnectionTest, PortErrorInsideReadSerialNumberStillUnlocksAndCloses) {
  StartDevice();
  // The identity display hands control to pending input; a port closed there makes
  // the next send raise the port error, which ends the command.
  int step = 0;
  ui.onProcessMessages = [&] {
    if (++step == 3) station.ComPortQuarn.Close();
  };
  EXPECT_THROW(botLeNSClick(station), PortError);
  EXPECT_TRUE(ui.commandsEnabled);
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
}

TEST_F(BootConnectionTest, ResetDetectsThenRestartsTheApplication) {
  StartDevice(Options([&](sim::SimOptions& o) { o.baudRate = 19200; }));
  ctx.settings.baudRate = 38400;
  botResetClick(station);
  EXPECT_EQ(ReceivedPayloads(2), (Payloads{VersionRequest(), {0x09, 0xFF, 0xFF, 0xFF}}));
  EXPECT_FALSE(device->InBootMode());
  EXPECT_TRUE(station.ComPortQuarn.IsOpen());  // "Reseta" leaves the port open

  // Nothing answers now: only the two version probes go out, no reset frame.
  const auto ignoredBefore = device->Stats().ignoredOutsideBoot;
  botResetClick(station);
  EXPECT_GT(device->Stats().ignoredOutsideBoot, ignoredBefore);
  EXPECT_EQ(ReceivedPayloads().size(), 2u);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(BootConnectionTest, EraseReportsItsOutcome) {
  struct Case {
    std::vector<Fault> faults;
    const char* message;
  };
  const Case cases[] = {{{}, "Ok erase !"},
                        {{AtRequest(FaultKind::kWrongCode, 0)}, "Falha erase !"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ui.Clear();
    StartDevice(Options([&](sim::SimOptions& o) { o.faults = c.faults; }));
    botEraseClick(station);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(ReceivedPayloads(), (Payloads{{0x11, 0, 0, 0, 0}}));
    EXPECT_TRUE(station.ComPortQuarn.IsOpen());
    EXPECT_EQ(station.ComPortQuarn.GetTimeouts().readConstant, kLongEraseTimeouts.readConstant);
    CloseBootPort(station.ComPortQuarn);
    device->Stop();
  }
}

TEST_F(BootConnectionTest, EraseOnAPortThatWillNotOpenDoesNothing) {
  ctx.settings.portName = "/dev/ttyBQ-not-there";
  botEraseClick(station);
  botGravaDebugClick(station);
  EXPECT_TRUE(ui.events.empty());
}

TEST_F(BootConnectionTest, DebugWriteStopsAtTheFirstFailingAddress) {
  StartDevice(Options([&](sim::SimOptions& o) {
    o.memory = sim::MemoryContent::kBlank;
    o.faults = {AtAddress(FaultKind::kFailWrite, 0xFF00)};
  }));
  station.image->FillBlank();
  for (uint32_t a : {0x10000u, 0xFF00u, 0x1FF80u, 0xFF80u}) station.image->flash[a] = 0x42;
  botGravaDebugClick(station);
  // The write's own message comes first, then the command names the address.
  EXPECT_EQ(ui.Messages(), (std::vector<std::string>{" Erro na comparação do WR flash e verifica",
                                                     "Falha gravação e verificação End 65280"}));
  const auto sent = ReceivedPayloads();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(std::vector<uint8_t>(sent[0].begin(), sent[0].begin() + 5),
            (std::vector<uint8_t>{0x14, 0x01, 0x00, 0x00, 0x10}));
  EXPECT_EQ(std::vector<uint8_t>(sent[1].begin(), sent[1].begin() + 5),
            (std::vector<uint8_t>{0x14, 0x00, 0xFF, 0x00, 0x10}));
}

TEST_F(BootConnectionTest, DebugWriteOfABlankImageSendsNothing) {
  StartDevice();
  station.image->FillBlank();
  botGravaDebugClick(station);
  EXPECT_TRUE(ReceivedPayloads().empty());
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(BootConnectionTest, ResetPicOnAClosedPortRaisesThePortError) {
  try {
    botResetPicClick(station);
    FAIL() << "no port error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kClosedPortText);
  }
}

// The reset frame itself is checked with ResetRun alone: closing a pseudo-terminal
// at once discards what the device has not read yet.
TEST_F(BootConnectionTest, ResetPicLeavesThePortClosed) {
  StartDevice();
  OpenAtDeviceRate();
  botResetPicClick(station);
  EXPECT_FALSE(station.ComPortQuarn.IsOpen());
  EXPECT_TRUE(ui.events.empty());
}

TEST_F(BootConnectionTest, Open38400ComplainsOnlyWhenThePortWillNotOpen) {
  StartDevice(Options([&](sim::SimOptions& o) { o.baudRate = 19200; }));
  botAbre38400Click(station);
  EXPECT_TRUE(station.ComPortQuarn.IsOpen());
  EXPECT_EQ(station.ComPortQuarn.BaudRate(), 38400u);
  EXPECT_EQ(ctx.settings.baudRate, 19200);
  EXPECT_TRUE(ui.Errors().empty());

  ctx.settings.portName = "/dev/ttyBQ-not-there";
  botAbre38400Click(station);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"pane abertura"});
}

}  // namespace
}  // namespace bq::test
