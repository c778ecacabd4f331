// The boot loader's commands as a tool sees them over the pseudo-terminal.
#include <gtest/gtest.h>

#include "requests.h"

namespace bq::sim::test {
namespace {

constexpr Bytes::value_type kRefused = 0x00;

TEST(DeviceCommands, AnswersVersionInShortOrLongForm) {
  struct Case {
    uint16_t loader;
    bool longReply;
    uint8_t hardware;
    Bytes reply;
  };
  const Case cases[] = {
      {0x0202, true, 7, {0x01, 0x02, 0x02, 0x07, 0x00, 0x00}},
      {0x0202, false, 7, {0x01, 0x02, 0x02}},
      {0x0105, false, 0, {0x01, 0x01, 0x05}},
      {0x030C, true, 200, {0x01, 0x03, 0x0C, 200, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    SimOptions options;
    options.bootLoaderVersion = c.loader;
    options.longVersionReply = c.longReply;
    options.hardwareVersion = c.hardware;
    auto device = StartDevice(options);
    LineClient line(device->PortPath(), 38400);
    EXPECT_EQ(line.Exchange(ReadVersionRequest()), c.reply) << std::hex << c.loader;
  }
}

TEST(DeviceCommands, ReportsIdentityOfProgrammedAndBlankDevices) {
  SimOptions programmed;
  programmed.serialNumber = 0x1234;
  programmed.firmwareVersion = 4;
  programmed.firmwareRevision = 9;
  programmed.productCode = 12;
  SimOptions blank = programmed;
  blank.memory = MemoryContent::kBlank;
  struct Case {
    SimOptions options;
    Bytes reply;
  };
  const Case cases[] = {
      {programmed, {0x38, 0x12, 0x34, 4, 9, 12, 0x00}},
      {blank, {0x38, 0x12, 0x34, 255, 255, 255, 0x00}},
  };
  for (const auto& c : cases) {
    auto device = StartDevice(c.options);
    LineClient line(device->PortPath(), 38400);
    EXPECT_EQ(line.Exchange(ReadIdentityRequest()), c.reply);
  }
  auto device = StartDevice(blank);
  const Bytes flash = device->Flash();
  EXPECT_TRUE(std::all_of(flash.begin() + 0x800, flash.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_FALSE(std::all_of(flash.begin(), flash.begin() + 0x800, [](uint8_t b) {
    return b == 0xFF;
  })) << "the boot loader's own area is never blank";
}

// Erase, write, read back: the flash behaves like flash, so a write over
// cells that were not erased shows in the read-back.
TEST(DeviceCommands, FlashKeepsRealEraseAndWriteSemantics) {
  auto device = StartDevice();
  LineClient line(device->PortPath(), 38400);
  const Bytes data = Ramp(128, 0x10);
  const Bytes other = Ramp(128, 0x93);

  ASSERT_EQ(line.Exchange(EraseAllRequest()), (Bytes{0x41, 0x41}));
  EXPECT_EQ(line.Exchange(WriteVerifyRequest(0x0880, data)), (Bytes{0x40}));
  EXPECT_EQ(line.Exchange(CompareFlashRequest(0x0880, 16)), Join({0x32}, data));

  // Over unerased cells: the loader's own read-back catches it...
  EXPECT_EQ(line.Exchange(WriteVerifyRequest(0x0880, other)), (Bytes{0xA0}));
  // ...a plain write does not, but the cells now hold old AND new.
  EXPECT_EQ(line.Exchange(WriteFlashRequest(0x0900, data)), (Bytes{0x31}));
  EXPECT_EQ(line.Exchange(WriteFlashRequest(0x0900, other)), (Bytes{0x31}));
  Bytes anded(128);
  for (size_t i = 0; i < anded.size(); ++i) anded[i] = data[i] & other[i];
  EXPECT_EQ(line.Exchange(CompareFlashRequest(0x0900, 16)), Join({0x32}, anded));

  // A block erase of 4 × 64 bytes brings the cells back; the next page is untouched.
  EXPECT_EQ(line.Exchange(EraseBlocksRequest(0x0800, 4)), (Bytes{0x30, 0x30}));
  EXPECT_EQ(line.Exchange(WriteVerifyRequest(0x0880, other)), (Bytes{0x40}));
  const Bytes flash = device->Flash();
  EXPECT_EQ(Bytes(flash.begin() + 0x880, flash.begin() + 0x900), other);
  EXPECT_EQ(Bytes(flash.begin() + 0x900, flash.begin() + 0x980), anded);

  // The 24-bit write reaches the top of the 128 KB flash.
  EXPECT_EQ(line.Exchange(WriteVerifyLongRequest(0x1FF80, data)), (Bytes{0x44}));
  const Bytes top = device->Flash();
  EXPECT_EQ(Bytes(top.begin() + 0x1FF80, top.end()), data);
}

TEST(DeviceCommands, NewFirmwareAndProductCodeChangeTheIdentity) {
  auto device = StartDevice();
  LineClient line(device->PortPath(), 38400);
  Bytes firstBlock(128, 0xFF);
  firstBlock[4] = 7;  // version at 0x0804
  firstBlock[5] = 2;  // revision at 0x0805
  ASSERT_EQ(line.Exchange(EraseAllRequest()), (Bytes{0x41, 0x41}));
  ASSERT_EQ(line.Exchange(WriteVerifyRequest(0x0800, firstBlock)), (Bytes{0x40}));
  EXPECT_EQ(line.Exchange(ProductTypeRequest(21, {0x5C, 0x2E, 0x91, 0xB6})), (Bytes{kRefused}));
  EXPECT_EQ(device->ProductCode(), 5);
  EXPECT_EQ(line.Exchange(ProductTypeRequest(21)), (Bytes{0x43}));
  EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x03, 0xE8, 7, 2, 21, 0x00}));
}

TEST(DeviceCommands, EepromRoundTripSparesTheBootLoadersCells) {
  auto device = StartDevice();
  LineClient line(device->PortPath(), 38400);
  const Bytes data = Ramp(16, 0xC0);
  const Bytes bootCells = device->Eeprom();
  EXPECT_EQ(line.Exchange(WriteEepromRequest(0x0010, data)), (Bytes{0x33}));
  EXPECT_EQ(line.Exchange(ReadEepromRequest(0x0010)), Join({0x34}, data));
  EXPECT_EQ(line.Exchange(WriteEepromRequest(0x0000, data)), (Bytes{kRefused}));
  EXPECT_EQ(line.Exchange(WriteEepromRequest(0x0FF8, data)), (Bytes{kRefused}));
  EXPECT_EQ(line.Exchange(ReadEepromRequest(0x0000)),
            Join({0x34}, Bytes(bootCells.begin(), bootCells.begin() + 16)));
}

// Command 2 returns 8 x count flash bytes (count 1..31, the boot loader's own
// area included); command 3 returns 16 EEPROM bytes up to the last block.
TEST(DeviceCommands, ReadCommandsReachTheEndsOfTheirMemories) {
  auto device = StartDevice();
  LineClient line(device->PortPath(), 38400);
  const Bytes flash = device->Flash();
  const Bytes eeprom = device->Eeprom();
  const auto flashAt = [&](uint32_t a, size_t n) {
    return Join({0x32}, Bytes(flash.begin() + a, flash.begin() + a + n));
  };
  const auto eepromAt = [&](uint32_t a) {
    return Join({0x34}, Bytes(eeprom.begin() + a, eeprom.begin() + a + 16));
  };
  struct Case {
    Bytes request;
    Bytes reply;
  };
  const Case cases[] = {
      {CompareFlashRequest(0x0000, 1), flashAt(0x0000, 8)},
      {CompareFlashRequest(0x0800, 31), flashAt(0x0800, 248)},
      {CompareFlashRequest(0xFFF8, 1), flashAt(0xFFF8, 8)},
      {CompareFlashRequest(0x0800, 32), {kRefused}},  // 256 bytes do not fit a frame
      {ReadEepromRequest(0x0FF0), eepromAt(0x0FF0)},
      {ReadEepromRequest(0x0FF8), {kRefused}},
      {Bytes{0x03, 0x00, 0x10, 0x08}, {kRefused}},  // the block is always 16 bytes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(line.Exchange(c.request), c.reply) << int(c.request[0]) << " " << int(c.request[3]);
  }
}

TEST(DeviceCommands, RefusesToTouchTheBootLoaderOrMalformedRequests) {
  auto device = StartDevice();
  LineClient line(device->PortPath(), 38400);
  const Bytes before = device->Flash();
  const Bytes data = Ramp(128);
  const Bytes requests[] = {
      WriteVerifyRequest(0x0780, data),      WriteFlashRequest(0x0000, data),
      WriteVerifyLongRequest(0x20000, data), EraseBlocksRequest(0x0700, 4),
      Bytes{0x10, 0x08, 0x80, 16, 0x00},                         // count says 128 bytes, none came
      CompareFlashRequest(0x0800, 0),        Bytes{0x01, 0xFF},  // version request cut short
  };
  for (const auto& request : requests) {
    EXPECT_EQ(line.Exchange(request), (Bytes{kRefused})) << int(request[0]);
  }
  EXPECT_EQ(device->Flash(), before);
}

TEST(DeviceCommands, OlderLoaderIgnoresTheNewerCommands) {
  SimOptions options;
  options.bootLoaderVersion = 0x0105;
  auto device = StartDevice(options);
  LineClient line(device->PortPath(), 38400);
  const Bytes newer[] = {WriteVerifyRequest(0x0880, Ramp(128)), EraseAllRequest(),
                         ProductTypeRequest(3), WriteVerifyLongRequest(0x0880, Ramp(128))};
  for (const auto& request : newer) {
    EXPECT_EQ(line.Exchange(request, 100), std::nullopt) << int(request[0]);
  }
  EXPECT_EQ(line.Exchange(EraseBlocksRequest(0x0800, 4)), (Bytes{0x30, 0x30}));
  EXPECT_EQ(line.Exchange(WriteFlashRequest(0x0880, Ramp(128))), (Bytes{0x31}));
  EXPECT_EQ(device->ProductCode(), 5);
  const auto requests = device->Requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[0].outcome, RequestOutcome::kSilent);
}

TEST(DeviceCommands, StaysSilentAtAnotherLineRate) {
  for (uint32_t deviceRate : {19200u, 38400u}) {
    SimOptions options;
    options.baudRate = deviceRate;
    auto device = StartDevice(options);
    const uint32_t otherRate = deviceRate == 19200 ? 38400 : 19200;
    LineClient line(device->PortPath(), otherRate);
    EXPECT_EQ(line.Exchange(ReadVersionRequest(), 150), std::nullopt) << deviceRate;
    EXPECT_EQ(device->Stats().bytesWrongRate, 8u);
    line.SetRate(deviceRate);
    EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value()) << deviceRate;
    EXPECT_EQ(device->Requests().size(), 1u) << "garbage is not a request";
  }
}

TEST(DeviceCommands, ResetRunLeavesBootModeUntilTheButtonIsPressed) {
  auto device = StartDevice();
  LineClient line(device->PortPath(), 38400);
  line.Write(Frame(ResetRunRequest()));
  EXPECT_TRUE(line.ReadFrame(100).empty()) << "reset/run has no reply";
  EXPECT_FALSE(device->InBootMode());
  EXPECT_EQ(line.Exchange(ReadVersionRequest(), 100), std::nullopt);
  device->EnterBootMode();
  EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
}

TEST(DeviceCommands, ToolClosingAndReopeningThePortKeepsTheLine) {
  auto device = StartDevice();
  for (int session = 0; session < 3; ++session) {
    LineClient line(device->PortPath(), 38400);
    EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value()) << session;
  }
  EXPECT_EQ(device->Requests().size(), 3u);
}

}  // namespace
}  // namespace bq::sim::test
