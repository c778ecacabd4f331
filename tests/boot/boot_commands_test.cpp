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
  std::function<bool(Context&)> run;
  // The request payload, built from the image the fixture prepared.
  std::function<std::vector<uint8_t>(const FirmwareImage&)> request;
  // Shown for a complete reply with a wrong code; empty for the silent erase commands.
  std::string wrongReplyMessage;
};

// The image's bytes a command carries.
std::span<const uint8_t> FlashAt(Context& c, uint32_t address, size_t units) {
  return {c.image->flash.data() + address, units * kFlashUnit};
}
EepromBlock EepromAt(Context& c, uint32_t address) {
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
      {"EraseAll", [](Context& c) { return EraseAll(c.link()); },
       std::bind(Fixed, std::vector<uint8_t>{0x11, 0x00, 0x00, 0x00, 0x00}, _1), ""},
      {"EraseBlocks", [](Context& c) { return EraseBlocks(c.link(), 0x1200, 4); },
       std::bind(Fixed, std::vector<uint8_t>{0x08, 0x12, 0x00, 0x04, 0x00}, _1), ""},
      {"WriteProductType", [](Context& c) { return WriteProductType(c.link(), 7); },
       std::bind(Fixed,
                 std::vector<uint8_t>{0x13, 0xFF, 0xFF, 0x07, 0xFF, 0x5C, 0x2E, 0x91, 0xB7, 0xFF},
                 _1),
       " Erro no comando GRAVA TipoProduto"},
      {"ReadBootVersion", [](Context& c) { return ReadBootVersion(c.link()).has_value(); },
       std::bind(Fixed, std::vector<uint8_t>{0x01, 0xFF, 0xFF, 0xFF}, _1), " Erro le versao boot"},
      {"ReadDeviceIdentity", [](Context& c) { return ReadDeviceIdentity(c.link()).has_value(); },
       std::bind(Fixed, std::vector<uint8_t>{0x0D, 0xFF, 0xFF, 0xFF}, _1),
       " Erro no comando LE NS"},
      {"WriteEepromBlock",
       [](Context& c) { return WriteEepromBlock(c.link(), kEepromAt, EepromAt(c, kEepromAt)); },
       [](const FirmwareImage& im) {
         return Concat({0x06, 0x00, 0x20, 0x10}, im.eeprom.data() + kEepromAt, 16);
       },
       " Erro retorno WR eeprom"},
      {"WriteVerifyFlashLong",
       [](Context& c) {
         return WriteVerifyFlashLong(c.link(), kFlashHigh, FlashAt(c, kFlashHigh, 2));
       },
       [](const FirmwareImage& im) {
         return Concat({0x14, 0x01, 0x00, 0x00, 0x02}, im.flash.data() + kFlashHigh, 16);
       },
       " Erro retorno WR flash e verifica"},
      {"WriteVerifyFlash",
       [](Context& c) { return WriteVerifyFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 2)); },
       [](const FirmwareImage& im) {
         return Concat({0x10, 0x10, 0x00, 0x02}, im.flash.data() + kFlashLow, 16);
       },
       " Erro retorno WR flash e verifica"},
      {"WriteFlash",
       [](Context& c) { return WriteFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 2)); },
       [](const FirmwareImage& im) {
         return Concat({0x05, 0x10, 0x00, 0x02}, im.flash.data() + kFlashLow, 16);
       },
       " Erro retorno WR flash"},
      {"ReadEepromBlock",
       [](Context& c) { return ReadEepromBlock(c.link(), kEepromAt).has_value(); },
       std::bind(Fixed, std::vector<uint8_t>{0x03, 0x00, 0x20, 0x10}, _1), " Erro Leitura EEProm"},
      {"CompareEepromBlock",
       [](Context&
              c) { return CompareEepromBlock(c.link(), kEepromSame, EepromAt(c, kEepromSame)); },
       std::bind(Fixed, std::vector<uint8_t>{0x03, 0x00, 0x30, 0x10}, _1), " Erro Leitura EEProm"},
      {"CompareFlash",
       [](Context& c) { return CompareFlash(c.link(), 0x0800, FlashAt(c, 0x0800, 2)); },
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
      ctx.image->flash[kFlashLow + i] = static_cast<uint8_t>(0x10 + i);
      ctx.image->flash[kFlashHigh + i] = static_cast<uint8_t>(0x80 + i);
      ctx.image->eeprom[kEepromAt + i] = static_cast<uint8_t>(0x40 + i);
    }
    OpenAtDeviceRate();
  }
};

TEST_P(BootCommandTest, SendsItsRequestAndAcceptsTheExpectedReply) {
  const CommandCase& c = GetParam();
  StartWith({});
  EXPECT_TRUE(c.run(ctx));
  EXPECT_EQ(ReceivedPayloads(), Payloads{c.request(*ctx.image)});
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.Errors().empty());
}

TEST_P(BootCommandTest, WrongReplyCodeShowsItsMessage) {
  const CommandCase& c = GetParam();
  StartWith({AtRequest(FaultKind::kWrongCode, 0)});
  EXPECT_FALSE(c.run(ctx));
  std::vector<std::string> expected;
  if (!c.wrongReplyMessage.empty()) expected.push_back(c.wrongReplyMessage);
  EXPECT_EQ(ui.Messages(), expected);
  EXPECT_TRUE(ui.Errors().empty());
}

TEST_P(BootCommandTest, BrokenReplyFailsSilently) {
  const CommandCase& c = GetParam();
  StartWith({AtRequest(FaultKind::kCorruptReply, 0)});
  EXPECT_FALSE(c.run(ctx));
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(AllCommands, BootCommandTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

using BootCommandDetailTest = DeviceFixture;

TEST_F(BootCommandDetailTest, ResetRunSendsItsFrameWithoutWaiting) {
  StartDevice();
  OpenAtDeviceRate();
  ResetRun(ctx.link());
  EXPECT_EQ(ReceivedPayloads(1), (Payloads{{0x09, 0xFF, 0xFF, 0xFF}}));
  EXPECT_FALSE(device->InBootMode());
}

TEST_F(BootCommandDetailTest, ResetRunReturnsAtOnceWithNoDeviceListening) {
  StartDevice();
  OpenAtDeviceRate();
  ResetRun(ctx.link());
  device->WaitForRequests(1, std::chrono::milliseconds(1000));
  const auto start = std::chrono::steady_clock::now();
  ResetRun(ctx.link());  // the application runs now and answers nothing
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(BootCommandDetailTest, LongWriteCarriesTheTopAddressInThreeBytes) {
  StartDevice(Options([&](sim::SimOptions& o) { o.memory = sim::MemoryContent::kBlank; }));
  OpenAtDeviceRate();
  ctx.image->flash[0x1FFFF] = 0x5A;
  EXPECT_TRUE(WriteVerifyFlashLong(ctx.link(), 0x1FF80, FlashAt(ctx, 0x1FF80, 16)));
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
    std::function<bool(Context&)> run;
    const char* message;
  };
  const Case cases[] = {
      {"WriteVerifyFlashLong",
       [](Context& c) {
         return WriteVerifyFlashLong(c.link(), kFlashLow, FlashAt(c, kFlashLow, 1));
       },
       " Erro na comparação do WR flash e verifica"},
      {"WriteVerifyFlash",
       [](Context& c) { return WriteVerifyFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 1)); },
       " Erro na comparação do WR flash e verifica"},
      {"WriteFlash",
       [](Context& c) { return WriteFlash(c.link(), kFlashLow, FlashAt(c, kFlashLow, 1)); },
       " Erro retorno WR flash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.Clear();
    StartDevice(Options([&](sim::SimOptions& o) {
      o.memory = sim::MemoryContent::kBlank;
      o.faults = {AtRequest(FaultKind::kFailWrite, 0)};
    }));
    ctx.image->flash[kFlashLow] = 0x12;
    OpenAtDeviceRate();
    EXPECT_FALSE(c.run(ctx));
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{c.message});
    CloseBootPort(ctx.ComPortQuarn);
    device->Stop();
  }
}

TEST_F(BootCommandDetailTest, ComparesFindADifferingByte) {
  StartDevice();
  CopyDeviceMemoryIntoImage();
  OpenAtDeviceRate();
  ctx.image->flash[0x0800 + 13] ^= 0x01;
  ctx.image->eeprom[kEepromAt + 15] ^= 0x80;
  EXPECT_FALSE(CompareFlash(ctx.link(), 0x0800, FlashAt(ctx, 0x0800, 2)));
  EXPECT_FALSE(CompareEepromBlock(ctx.link(), kEepromAt, EepromAt(ctx, kEepromAt)));
  EXPECT_EQ(ui.Messages(),
            (std::vector<std::string>{"Erro comparacao flash", "Erro comparacao e2prom"}));
}

TEST_F(BootCommandDetailTest, ReadEepromBlockReturnsTheDeviceBytes) {
  StartDevice();
  OpenAtDeviceRate();
  auto data = ReadEepromBlock(ctx.link(), kEepromAt);
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
  auto id = ReadDeviceIdentity(ctx.link());
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
    ctx.identity.hardwareVersion = 99;
    ASSERT_TRUE(ReadAndShowBootVersion(ctx));
    EXPECT_EQ(ctx.identity.bootLoaderVersion, c.version);
    EXPECT_EQ(ctx.identity.hardwareVersion, c.hardware);
    EXPECT_EQ(ui.FieldText(Field::edVersaoBoot), c.text);
    EXPECT_EQ(ui.FieldText(Field::edVersaoBootR2), c.text);
    EXPECT_EQ(ui.FieldText(Field::edVerHard), std::to_string(c.hardware));
    CloseBootPort(ctx.ComPortQuarn);
    device->Stop();
  }
}

TEST_F(BootCommandDetailTest, FailedVersionReadZeroesBothAndKeepsTheDisplay) {
  StartDevice(
      Options([&](sim::SimOptions& o) { o.faults = {AtRequest(FaultKind::kWrongCode, 0)}; }));
  OpenAtDeviceRate();
  ctx.identity.bootLoaderVersion = 514;
  ctx.identity.hardwareVersion = 3;
  EXPECT_FALSE(ReadAndShowBootVersion(ctx));
  EXPECT_EQ(ctx.identity.bootLoaderVersion, 0u);
  EXPECT_EQ(ctx.identity.hardwareVersion, 0u);
  for (const auto& e : ui.events) EXPECT_NE(e.kind, Event::Kind::Field) << e.text;
}

// Waits per reply byte follow the set in force on the port.
TEST_F(BootCommandDetailTest, MissingReplyCostsOneProbeWait) {
  StartDevice(
      Options([&](sim::SimOptions& o) { o.faults = {AtRequest(FaultKind::kDropReply, 0)}; }));
  OpenAtDeviceRate();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadBootVersion(ctx.link()));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(90));
  EXPECT_LT(took, std::chrono::milliseconds(700));  // far below the open's 1100 ms
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(BootCommandDetailTest, EraseAllLeavesTheLongWaitsInForce) {
  StartDevice();
  OpenAtDeviceRate();
  ASSERT_TRUE(EraseAll(ctx.link()));
  EXPECT_EQ(ctx.ComPortQuarn.GetTimeouts().readConstant, kLongEraseTimeouts.readConstant);
  EXPECT_EQ(ctx.ComPortQuarn.GetTimeouts().readMultiplier, kLongEraseTimeouts.readMultiplier);
  EXPECT_EQ(ctx.ComPortQuarn.GetTimeouts().readInterval, kLongEraseTimeouts.readInterval);
}

TEST_F(BootCommandDetailTest, CommandOnAClosedPortRaisesThePortError) {
  try {
    ReadBootVersion(ctx.link());
    FAIL() << "no port error";
  } catch (const PortError& e) {
    EXPECT_STREQ(e.what(), kClosedPortText);
  }
}

TEST_F(BootCommandDetailTest, BlocksNoFrameCanCarryAreRefusedBeforeSending) {
  StartDevice();
  OpenAtDeviceRate();
  EXPECT_THROW(WriteFlash(ctx.link(), 0x1000, FlashAt(ctx, 0x1000, 32)), std::invalid_argument);
  EXPECT_THROW(WriteVerifyFlash(ctx.link(), 0x1000, {ctx.image->flash.data(), 12}),
               std::invalid_argument);
  EXPECT_THROW(CompareFlash(ctx.link(), 0x1000, {}), std::invalid_argument);
  EXPECT_TRUE(ReceivedPayloads().empty());
}

}  // namespace
}  // namespace bq::test
