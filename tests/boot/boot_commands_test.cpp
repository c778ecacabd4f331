// Every boot command against a virtual loader: the bytes it puts on the wire and
// how it takes a good, a wrong and a broken reply.

#include "boot/boot_commands.h"

#include <array>
#include <functional>
#include <string>

#include "app/device_commands.h"
#include "device_fixture.h"

namespace bq::test {
namespace {

using sim::Fault;
using sim::FaultKind;

// Addresses where the image holds data the tests write; the device is blank there.
constexpr uint32_t kFlashLow = 0x1000;
constexpr uint32_t kFlashHigh = 0x10000;
constexpr uint32_t kEepromAt = 0x20;
// Where the image matches the device, for the compares.
constexpr uint32_t kEepromSame = 0x30;

struct CommandCase {
  const char* name;
  std::function<bool(Station&)> run;
  // The request payload, built from the image the fixture prepared.
  std::function<std::vector<uint8_t>(const FirmwareImage&)> request;
  // Shown for a complete reply with a wrong code; empty for the silent erase commands.
  std::string wrongReplyMessage;
};

// The image's bytes a command carries.
std::span<const uint8_t> FlashAt(Station& c, uint32_t address, size_t units) {
  return {c.image->flash.data() + address, units * kFlashUnit};
}
EepromBlock EepromAt(Station& c, uint32_t address) {
  return EepromBlock(c.image->eeprom.data() + address, kEepromBlockSize);
}

std::vector<uint8_t> Fixed(std::vector<uint8_t> bytes, const FirmwareImage&) {
  return bytes;
}

void PrintTo(const CommandCase& c, std::ostream* os) {
  *os << c.name;
}

const std::vector<CommandCase>& Cases() {
  using std::placeholders::_1;
  static const std::vector<CommandCase> cases = {
      {"EraseAll", [](Station& c) { return EraseAll(c.link()); },
       std::bind(Fixed, std::vector<uint8_t>{0x11, 0x00, 0x00, 0x00, 0x00}, _1), ""},
      {"EraseBlocks", [](Station& c) { return EraseBlocks(c.link(), 0x1200, 4); },
       std::bind(Fixed, std::vector<uint8_t>{0x08, 0x12, 0x00, 0x04, 0x00}, _1), ""},
      {"WriteProductType", [](Station& c) { return WriteProductType(c.link(), 7); },
       std::bind(Fixed,
                 std::vector<uint8_t>{0x13, 0xFF, 0xFF, 0x07, 0xFF, 0x5C, 0x2E, 0x91, 0xB7, 0xFF},
                 _1),
       " Erro no comando GRAVA TipoProduto"},
      {"ReadBootVersion", [](Station& c) { return ReadBootVersion(c.link()).has_value(); },
       std::bind(Fixed, std::vector<uint8_t>{0x01, 0xFF, 0xFF, 0xFF}, _1), " Erro le versao boot"},
      {"ReadDeviceIdentity", [](Station& c) { return ReadDeviceIdentity(c.link()).has_value(); },
       std::bind(Fixed, std::vector<uint8_t>{0x0D, 0xFF, 0xFF, 0xFF}, _1),
       " Erro no comando LE NS"},
      {"WriteEepromBlock",
       [](Station& c) { return WriteEepromBlock(c.link(), kEepromAt, EepromAt(c, kEepromAt)); },
       [](const FirmwareImage& im) {
         return Concat({0x06, 0x00, 0x20, 0x10}, im.eeprom.data() + kEepromAt, 16);
       },
       " Erro retorno WR eeprom"},
      {"WriteVerifyFlashLong",
       [](Station& c) {
         return WriteVerifyFlashLong(c.link(), kFlashHigh, FlashAt(c, kFlashHigh, 2));
       },
       [](const FirmwareImage& im) {
         return Concat({0x14, 0x01, 0x00, 0x00, 0x02}, im.flash.data() + kFlashHigh, 16);
       },
       " Erro retorno WR flash e verifica"},
      {"WriteVerifyFlash",
       [](Station& c) { return WriteVerifyFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 2)); },
       [](const FirmwareImage& im) {
         return Concat({0x10, 0x10, 0x00, 0x02}, im.flash.data() + kFlashLow, 16);
       },
       " Erro retorno WR flash e verifica"},
      {"WriteFlash",
       [](Station& c) { return WriteFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 2)); },
       [](const FirmwareImage& im) {
         return Concat({0x05, 0x10, 0x00, 0x02}, im.flash.data() + kFlashLow, 16);
       },
       " Erro retorno WR flash"},
      {"ReadEepromBlock",
       [](Station& c) { return ReadEepromBlock(c.link(), kEepromAt).has_value(); },
       std::bind(Fixed, std::vector<uint8_t>{0x03, 0x00, 0x20, 0x10}, _1), " Erro Leitura EEProm"},
      {"CompareEepromBlock",
       [](Station&
              c) { return CompareEepromBlock(c.link(), kEepromSame, EepromAt(c, kEepromSame)); },
       std::bind(Fixed, std::vector<uint8_t>{0x03, 0x00, 0x30, 0x10}, _1), " Erro Leitura EEProm"},
      {"CompareFlash",
       [](Station& c) { return CompareFlash(c.link(), 0x0800, FlashAt(c, 0x0800, 2)); },
       std::bind(Fixed, std::vector<uint8_t>{0x02, 0x08, 0x00, 0x02}, _1), " Erro Leitura flash"},
  };
  return cases;
}

class BootCommandTest : public DeviceFixture, public ::testing::WithParamInterface<CommandCase> {
 protected:
  // A blank device; the image matches it except for the data the writes carry.
  void StartWith(std::vector<Fault> faults) {
    sim::SimOptions options;
    options.memory = sim::MemoryContent::kBlank;
    options.faults = std::move(faults);
    StartDevice(options);
    CopyDeviceMemoryIntoImage();
    for (uint32_t i = 0; i < 16; ++i) {
      station.image->flash[kFlashLow + i] = static_cast<uint8_t>(0x10 + i);
      station.image->flash[kFlashHigh + i] = static_cast<uint8_t>(0x80 + i);
      station.image->eeprom[kEepromAt + i] = static_cast<uint8_t>(0x40 + i);
    }
    OpenAtDeviceRate();
  }
};

TEST_P(BootCommandTest, SendsItsRequestAndAcceptsTheExpectedReply) {
  const CommandCase& c = GetParam();
  StartWith({});
  EXPECT_TRUE(c.run(station));
  EXPECT_EQ(ReceivedPayloads(), Payloads{c.request(*station.image)});
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.Errors().empty());
}

TEST_P(BootCommandTest, WrongReplyCodeShowsItsMessage) {
  const CommandCase& c = GetParam();
  StartWith({AtRequest(FaultKind::kWrongCode, 0)});
  EXPECT_FALSE(c.run(station));
  std::vector<std::string> expected;
  if (!c.wrongReplyMessage.empty()) expected.push_back(c.wrongReplyMessage);
  EXPECT_EQ(ui.Messages(), expected);
  EXPECT_TRUE(ui.Errors().empty());
}

TEST_P(BootCommandTest, BrokenReplyFailsSilently) {
  const CommandCase& c = GetParam();
  StartWith({AtRequest(FaultKind::kCorruptReply, 0)});
  EXPECT_FALSE(c.run(station));
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(AllCommands, BootCommandTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

using BootCommandDetailTest = DeviceFixture;

TEST_F(BootCommandDetailTest, ResetRunSendsItsFrameWithoutWaiting) {
  StartDevice();
  OpenAtDeviceRate();
  ResetRun(station.link());
  EXPECT_EQ(ReceivedPayloads(1), (Payloads{{0x09, 0xFF, 0xFF, 0xFF}}));
  EXPECT_FALSE(device->InBootMode());
}

TEST_F(BootCommandDetailTest, ResetRunReturnsAtOnceWithNoDeviceListening) {
  StartDevice();
  OpenAtDeviceRate();
  ResetRun(station.link());
  device->WaitForRequests(1, std::chrono::milliseconds(1000));
  const auto start = std::chrono::steady_clock::now();
  ResetRun(station.link());  // the application runs now and answers nothing
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(BootCommandDetailTest, LongWriteCarriesTheTopAddressInThreeBytes) {
  StartDevice(Options([&](sim::SimOptions& o) { o.memory = sim::MemoryContent::kBlank; }));
  OpenAtDeviceRate();
  station.image->flash[0x1FFFF] = 0x5A;
  EXPECT_TRUE(WriteVerifyFlashLong(station.link(), 0x1FF80, FlashAt(station, 0x1FF80, 16)));
  const auto sent = ReceivedPayloads();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(std::vector<uint8_t>(sent[0].begin(), sent[0].begin() + 5),
            (std::vector<uint8_t>{0x14, 0x01, 0xFF, 0x80, 0x10}));
  EXPECT_EQ(sent[0].size(), 5u + 128u);
  EXPECT_EQ(device->Flash()[0x1FFFF], 0x5A);
}

// A loader that reads back a differing block answers 0xA0.
TEST_F(BootCommandDetailTest, ReadBackDifferenceNamesTheComparison) {
  struct Case {
    const char* name;
    std::function<bool(Station&)> run;
    const char* message;
  };
  const Case cases[] = {
      {"WriteVerifyFlashLong",
       [](Station& c) {
         return WriteVerifyFlashLong(c.link(), kFlashLow, FlashAt(c, kFlashLow, 1));
       },
       " Erro na comparação do WR flash e verifica"},
      {"WriteVerifyFlash",
       [](Station& c) { return WriteVerifyFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 1)); },
       " Erro na comparação do WR flash e verifica"},
      {"WriteFlash",
       [](Station& c) { return WriteFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 1)); },
       " Erro retorno WR flash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.Clear();
    StartDevice(Options([&](sim::SimOptions& o) {
      o.memory = sim::MemoryContent::kBlank;
      o.faults = {AtRequest(FaultKind::kFailWrite, 0)};
    }));
    station.image->flash[kFlashLow] = 0x12;
    OpenAtDeviceRate();
    EXPECT_FALSE(c.run(station));
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{c.message});
    CloseBootPort(station.ComPortQuarn);
    device->Stop();
  }
}

TEST_F(BootCommandDetailTest, ComparesFindADifferingByte) {
  StartDevice();
  CopyDeviceMemoryIntoImage();
  OpenAtDeviceRate();
  station.image->flash[0x0800 + 13] ^= 0x01;
  station.image->eeprom[kEepromAt + 15] ^= 0x80;
  EXPECT_FALSE(CompareFlash(station.link(), 0x0800, FlashAt(station, 0x0800, 2)));
  EXPECT_FALSE(CompareEepromBlock(station.link(), kEepromAt, EepromAt(station, kEepromAt)));
  EXPECT_EQ(ui.Messages(),
            (std::vector<std::string>{"Erro comparacao flash", "Erro comparacao e2prom"}));
}

TEST_F(BootCommandDetailTest, ReadEepromBlockReturnsTheDeviceBytes) {
  StartDevice();
  OpenAtDeviceRate();
  auto data = ReadEepromBlock(station.link(), kEepromAt);
  ASSERT_TRUE(data);
  const auto eeprom = device->Eeprom();
  EXPECT_TRUE(std::equal(data->begin(), data->end(), eeprom.begin() + kEepromAt));
}

TEST_F(BootCommandDetailTest, ReadDeviceIdentityFillsTheFourFields) {
  StartDevice(Options([&](sim::SimOptions& o) {
    o.serialNumber = 0xA1B2;
    o.productCode = 9;
  }));
  OpenAtDeviceRate();
  auto id = ReadDeviceIdentity(station.link());
  ASSERT_TRUE(id);
  EXPECT_EQ(id->serialNumber, 0xA1B2);
  EXPECT_EQ(id->firmwareVersion, 3);
  EXPECT_EQ(id->firmwareRevision, 1);
  EXPECT_EQ(id->productCode, 9);
  EXPECT_EQ(id->bootLoaderVersion, 0u);  // not this command's field
}

TEST_F(BootCommandDetailTest, ReadBootVersionTakesShortAndLongReplies) {
  struct Case {
    bool longReply;
    uint16_t version;
    const char* text;
    uint32_t hardware;
  };
  for (const Case& c : {Case{true, 0x030C, "3.12", 7}, Case{false, 0x0105, "1.05", 0}}) {
    SCOPED_TRACE(c.text);
    StartDevice(Options([&](sim::SimOptions& o) {
      o.bootLoaderVersion = c.version;
      o.longVersionReply = c.longReply;
      o.hardwareVersion = 7;
    }));
    OpenAtDeviceRate();
    station.identity.hardwareVersion = 99;
    ASSERT_TRUE(ReadAndShowBootVersion(station));
    EXPECT_EQ(station.identity.bootLoaderVersion, c.version);
    EXPECT_EQ(station.identity.hardwareVersion, c.hardware);
    EXPECT_EQ(ui.FieldText(Field::edVersaoBoot), c.text);
    EXPECT_EQ(ui.FieldText(Field::edVersaoBootR2), c.text);
    EXPECT_EQ(ui.FieldText(Field::edVerHard), std::to_string(c.hardware));
    CloseBootPort(station.ComPortQuarn);
    device->Stop();
  }
}

TEST_F(BootCommandDetailTest, FailedVersionReadZeroesBothAndKeepsTheDisplay) {
  StartDevice(
      Options([&](sim::SimOptions& o) { o.faults = {AtRequest(FaultKind::kWrongCode, 0)}; }));
  OpenAtDeviceRate();
  station.identity.bootLoaderVersion = 514;
  station.identity.hardwareVersion = 3;
  EXPECT_FALSE(ReadAndShowBootVersion(station));
  EXPECT_EQ(station.identity.bootLoaderVersion, 0u);
  EXPECT_EQ(station.identity.hardwareVersion, 0u);
  for (const auto& e : ui.events) EXPECT_NE(e.kind, Event::Kind::Field) << e.text;
}

// Waits per reply byte follow the set in force on the port.
TEST_F(BootCommandDetailTest, MissingReplyCostsOneProbeWait) {
  StartDevice(
      Options([&](sim::SimOptions& o) { o.faults = {AtRequest(FaultKind::kDropReply, 0)}; }));
  OpenAtDeviceRate();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadBootVersion(station.link()));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(90));
  EXPECT_LT(took, std::chrono::milliseconds(700));  // far below the open's 1100 ms
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(BootCommandDetailTest, EraseAllLeavesTheLongWaitsInForce) {
  StartDevice();
  OpenAtDeviceRate();
  ASSERT_TRUE(EraseAll(station.link()));
  EXPECT_EQ(station.ComPortQuarn.GetTimeouts().readConstant, kLongEraseTimeouts.readConstant);
  EXPECT_EQ(station.ComPortQuarn.GetTimeouts().readMultiplier, kLongEraseTimeouts.readMultiplier);
  EXPECT_EQ(station.ComPortQuarn.GetTimeouts().readInterval, kLongEraseTimeouts.readInterval);
}

TEST_F(BootCommandDetailTest, CommandOnAClosedPortRaisesThePortError) {
  try {
    ReadBootVersion(station.link());
    FAIL() << "no port error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kClosedPortText);
  }
}

TEST_F(BootCommandDetailTest, BlocksNoFrameCanCarryAreRefusedBeforeSending) {
  StartDevice();
  OpenAtDeviceRate();
  EXPECT_THROW(WriteFlash(station.link(), 0x1000, FlashAt(station, 0x1000, 32)),
               std::invalid_argument);
  EXPECT_THROW(WriteVerifyFlash(station.link(), 0x1000, {station.image->flash.data(), 12}),
               std::invalid_argument);
  EXPECT_THROW(CompareFlash(station.link(), 0x1000, {}), std::invalid_argument);
  EXPECT_TRUE(ReceivedPayloads().empty());
}

}  // namespace
}  // namespace bq::test
