// The accessories' applications: each answers only at its own line rate,
// tells its identity, hands the line to the boot loader on its boot entry,
// and suffers reply faults like the boot loader does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "requests.h"

namespace bq::sim::test {
namespace {

using namespace std::chrono_literals;

SimOptions AccessoryOptions(Personality personality) {
  SimOptions options;
  options.personality = personality;
  options.serialNumber = 0x1234;
  options.firmwareVersion = 4;
  options.firmwareRevision = 7;
  options.productCode = 9;
  return options;
}

// As a tool looks for a text in a reply: letters in any case.
bool Holds(const Bytes& reply, const std::string& text) {
  const auto fold = [](uint8_t a, char b) {
    return std::tolower(a) == std::tolower(static_cast<unsigned char>(b));
  };
  return std::search(reply.begin(), reply.end(), text.begin(), text.end(), fold) != reply.end();
}

// The identity reply payload for AccessoryOptions: serial low byte first,
// product, version and revision at 7..9.
const Bytes kIdentityPayload{0xC1, 0x34, 0x12, 0, 0, 0, 0, 9, 4, 7, 0, 0, 0, 0, 0};
const std::string kIdentityMarker{'K', 'E', 0x0F, static_cast<char>(0xC1)};

TEST(DeviceAccessories, AnswerOnlyAtTheirOwnRate) {
  struct Case {
    Personality personality;
    uint32_t rate;
    std::vector<uint32_t> otherRates;
    Bytes request;
    std::string marker;  // what the reply holds
  };
  const Case cases[] = {
      {Personality::kZirconBox,
       9600,
       {4545, 38400},
       EncodeLinkFrame("KE", LinkReadIdentityRequest()),
       kIdentityMarker},
      {Personality::kSensorZircon,
       4545,
       {9600, 38400},
       EncodeLinkFrame("NK", LinkReadIdentityRequest()),
       kIdentityMarker},
      {Personality::kDelmo, 9600, {4545, 38400}, QxVersionQuery(), "ver"},
      {Personality::kArvex, 4545, {9600, 38400}, Join(WakeRun(), ProbeRun()), "ponte_1"},
  };
  for (const auto& c : cases) {
    auto device = StartDevice(AccessoryOptions(c.personality));
    LineClient line(device->PortPath(), c.rate);
    uint64_t sent = 0;
    for (uint32_t rate : c.otherRates) {
      line.SetRate(rate);
      line.Write(c.request);
      sent += c.request.size();
      EXPECT_TRUE(WaitUntil([&] { return device->Stats().bytesWrongRate == sent; })) << rate;
    }
    EXPECT_TRUE(device->Requests().empty()) << "garbage is not a request";
    line.SetRate(c.rate);
    line.Write(c.request);
    EXPECT_TRUE(Holds(line.ReadUntil(c.marker), c.marker)) << c.marker;
    EXPECT_FALSE(device->InBootMode());
  }
}

// Each Zircon hears only its own prefix and answers "KE" frames.
TEST(DeviceAccessories, ZirconsTellTheirIdentity) {
  struct Case {
    Personality personality;
    uint32_t rate;
    std::string prefix;
    std::string otherPrefix;
  };
  const Case cases[] = {
      {Personality::kZirconBox, 9600, "KE", "NK"},
      {Personality::kSensorZircon, 4545, "NK", "KE"},
  };
  for (const auto& c : cases) {
    auto device = StartDevice(AccessoryOptions(c.personality));
    LineClient line(device->PortPath(), c.rate);
    const Bytes foreign = EncodeLinkFrame(c.otherPrefix, LinkReadIdentityRequest());
    line.Write(foreign);
    EXPECT_TRUE(WaitUntil([&] { return device->Stats().bytesReceived == foreign.size(); }));
    EXPECT_TRUE(device->Requests().empty()) << c.otherPrefix;
    EXPECT_EQ(line.LinkExchange(c.prefix, LinkReadIdentityRequest()), kIdentityPayload);
    const auto requests = device->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, RequestKind::kLinkFrame);
    EXPECT_EQ(requests[0].reply, kIdentityPayload);
  }
}

void EnterByLink(LineClient& line, const std::string& prefix) {
  EXPECT_EQ(line.LinkExchange(prefix, LinkEnterBootRequest()), (Bytes{0xC4}));
}

// After its boot entry the accessory's boot loader answers at the boot rate,
// with the identity the application told.
TEST(DeviceAccessories, BootEntryHandsTheLineToTheBootLoader) {
  struct Case {
    Personality personality;
    uint32_t rate;
    uint32_t bootRate;
    std::function<void(LineClient&)> enter;
  };
  const Case cases[] = {
      {Personality::kZirconBox, 9600, 38400, [](LineClient& l) { EnterByLink(l, "KE"); }},
      {Personality::kSensorZircon, 4545, 19200, [](LineClient& l) { EnterByLink(l, "NK"); }},
      {Personality::kDelmo, 9600, 38400,
       [](LineClient& l) {
         l.Write(QxVersionQuery());
         EXPECT_TRUE(Holds(l.ReadUntil("ver"), "ver"));
         l.Write(QxEnterBoot());
       }},
      {Personality::kArvex, 4545, 38400,
       [](LineClient& l) {
         l.Write(Join(WakeRun(), ProbeRun()));
         EXPECT_TRUE(Holds(l.ReadUntil("ponte_1"), "ponte_1"));
         l.Write(BootRun());
       }},
  };
  for (const auto& c : cases) {
    SimOptions options = AccessoryOptions(c.personality);
    options.baudRate = c.bootRate;
    auto device = StartDevice(options);
    LineClient line(device->PortPath(), c.rate);
    c.enter(line);
    ASSERT_TRUE(device->WaitForBootMode(500ms)) << int(c.personality);
    EXPECT_TRUE(device->Requests().back().entersBoot);
    line.SetRate(c.bootRate);
    EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x12, 0x34, 4, 7, 9, 0x00}));
    EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
  }
}

// Only the whole sequence with the right access code enters boot mode; the
// bridge's 'O' run counts only straight after the 'P' run that named it.
TEST(DeviceAccessories, BootEntryNeedsTheRightSequence) {
  struct Case {
    Personality personality;
    uint32_t rate;
    std::vector<Bytes> writes;  // one request each
    bool entersBoot;
  };
  const Case cases[] = {
      {Personality::kArvex, 4545, {WakeRun(), ProbeRun(), BootRun()}, true},
      {Personality::kArvex, 4545, {WakeRun(), BootRun()}, false},
      {Personality::kArvex, 4545, {ProbeRun(), BootRun()}, false},
      {Personality::kArvex, 4545, {WakeRun(), ProbeRun(), WakeRun(), BootRun()}, false},
      {Personality::kZirconBox,
       9600,
       {EncodeLinkFrame("KE", LinkEnterBootRequest({0x3A, 0xC5, 0x0E, 0x96}))},
       false},
      {Personality::kDelmo, 9600, {QxEnterBoot({0xC7, 0xA4})}, false},
  };
  for (const auto& c : cases) {
    auto device = StartDevice(AccessoryOptions(c.personality));
    LineClient line(device->PortPath(), c.rate);
    for (size_t i = 0; i < c.writes.size(); ++i) {
      line.Write(c.writes[i]);
      ASSERT_TRUE(device->WaitForRequests(i + 1, 500ms)) << i;
    }
    EXPECT_EQ(device->InBootMode(), c.entersBoot) << int(c.personality) << " " << c.writes.size();
  }
}

// The struck identity reply and the boot entry's reply go out back to back;
// what arrives first shows what became of the struck one.
TEST(DeviceAccessories, FaultsStrikeLinkReplies) {
  struct Case {
    FaultKind kind;
    bool arrives;
    bool checkByteOk;
  };
  const Case cases[] = {
      {FaultKind::kDropReply, false, false},
      {FaultKind::kCorruptReply, true, false},
      {FaultKind::kWrongCode, true, true},
  };
  for (const auto& c : cases) {
    SimOptions options = AccessoryOptions(Personality::kSensorZircon);
    Fault fault;
    fault.kind = c.kind;
    fault.request = 1;
    options.faults = {fault};
    auto device = StartDevice(options);
    LineClient line(device->PortPath(), 4545);
    EXPECT_EQ(line.LinkExchange("NK", LinkReadIdentityRequest()), kIdentityPayload);
    line.Write(Join(EncodeLinkFrame("NK", LinkReadIdentityRequest()),
                    EncodeLinkFrame("NK", LinkEnterBootRequest())));
    if (c.arrives) {
      const Bytes struck = line.ReadCount(kIdentityPayload.size() + 4);
      ASSERT_EQ(struck.size(), kIdentityPayload.size() + 4) << int(c.kind);
      const Bytes payload(struck.begin() + 3, struck.end() - 1);
      EXPECT_EQ(Bytes(struck.begin(), struck.begin() + 3), (Bytes{'K', 'E', 0x0F}));
      EXPECT_EQ(struck.back() == LinkCheckByte(payload), c.checkByteOk) << int(c.kind);
      EXPECT_EQ(payload[0] == 0xC1, c.kind != FaultKind::kWrongCode);
      EXPECT_TRUE(std::equal(payload.begin() + 1, payload.end(), kIdentityPayload.begin() + 1));
    }
    EXPECT_EQ(line.ReadCount(5), (Bytes{'K', 'E', 0x01, 0xC4, 0xC5})) << int(c.kind);
    EXPECT_EQ(device->Requests().at(1).outcome, c.kind == FaultKind::kDropReply
                                                    ? RequestOutcome::kDropped
                                                    : RequestOutcome::kAnswered);
  }
}

// A text reply keeps its length but loses the text the tool looks for.
TEST(DeviceAccessories, FaultsGarbleTextReplies) {
  struct Case {
    Personality personality;
    uint32_t rate;
    Bytes request;
    uint64_t struckRequest;
    FaultKind kind;
    std::string marker;
  };
  const Case cases[] = {
      {Personality::kDelmo, 9600, QxVersionQuery(), 0, FaultKind::kCorruptReply, "ver"},
      {Personality::kArvex, 4545, Join(WakeRun(), ProbeRun()), 1, FaultKind::kWrongCode, "ponte_1"},
  };
  for (const auto& c : cases) {
    SimOptions options = AccessoryOptions(c.personality);
    Fault fault;
    fault.kind = c.kind;
    fault.request = c.struckRequest;
    options.faults = {fault};
    auto device = StartDevice(options);
    LineClient line(device->PortPath(), c.rate);
    line.Write(c.request);
    ASSERT_TRUE(device->WaitForRequests(c.struckRequest + 1, 500ms));
    const size_t length = device->Requests().back().reply.size();
    ASSERT_GT(length, c.marker.size());
    const Bytes struck = line.ReadCount(length);
    EXPECT_EQ(struck.size(), length);
    EXPECT_FALSE(Holds(struck, c.marker)) << c.marker;
    line.Write(c.request);
    EXPECT_TRUE(Holds(line.ReadUntil(c.marker), c.marker)) << c.marker;
  }
}

// A blank accessory has no application to run: its boot loader has the line.
TEST(DeviceAccessories, BlankAccessoryStartsInItsBootLoader) {
  SimOptions options = AccessoryOptions(Personality::kZirconBox);
  options.memory = MemoryContent::kBlank;
  auto device = StartDevice(options);
  EXPECT_TRUE(device->InBootMode());
  LineClient line(device->PortPath(), 38400);
  EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x12, 0x34, 255, 255, 255, 0x00}));
}

}  // namespace
}  // namespace bq::sim::test
