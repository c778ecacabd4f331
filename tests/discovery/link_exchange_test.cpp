// Link exchanges against a device played by the far end of a pseudo-terminal.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <stdexcept>
#include <vector>

#include "../serial/pty_peer.h"
#include "discovery/accessory_link.h"
#include "recording_operator.h"

namespace bq {
namespace {

using std::chrono::milliseconds;

const Bytes kIdentityReply{0xC1, 0x34, 0x12, 0, 0, 0, 0, 7, 3, 14, 0, 0, 0, 0, 0};

class LinkExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetDeviceName(peer.SlaveName());
    port.SetBaudRate(kLinkBaudFast);
    port.Open();
  }

  // The device reads each request; it answers replyPayload to request number
  // answerOn (1-based, 0 never) and stops after that or after every attempt.
  std::future<std::vector<Bytes>> StartDevice(size_t requestSize, Bytes replyPayload,
                                              int answerOn) {
    return std::async(std::launch::async, [=, this] {
      std::vector<Bytes> requests;
      for (int attempt = 1; attempt <= TuRxTxArvex::kAttempts; ++attempt) {
        requests.push_back(peer.Read(requestSize, 2000));
        if (requests.back().size() < requestSize) break;
        if (attempt != answerOn) continue;
        peer.Write(TuRxTxArvex::BuildFrame(replyPayload, true));
        break;
      }
      return requests;
    });
  }

  size_t StatusCount(const std::string& text) const {
    return static_cast<size_t>(std::count_if(ui.events.begin(), ui.events.end(), [&](auto& e) {
      return e.kind == test::Event::Kind::Field && e.value == text;
    }));
  }

  test::RecordingOperator ui;
  test::PtyPeer peer;
  TComPortGPS port;
  TuRxTxArvex link{port, ui};
};

struct EnterBootCase {
  const char* name;
  bool prefixKE;
  Bytes reply;
  int answerOn;
  bool succeeds;
  size_t attempts;
  const char* lastStatus;
};

void PrintTo(const EnterBootCase& c, std::ostream* os) {
  *os << c.name;
}

class LinkEnterBoot : public LinkExchange, public ::testing::WithParamInterface<EnterBootCase> {};

TEST_P(LinkEnterBoot, RetriesUntilAnsweredAndChecksTheReplyCode) {
  const EnterBootCase& c = GetParam();
  const Bytes request = TuRxTxArvex::BuildFrame(EnterBootPayload(), c.prefixKE);
  auto device = StartDevice(request.size(), c.reply, c.answerOn);

  EXPECT_EQ(link.EnterBoot(c.prefixKE), c.succeeds);

  const std::vector<Bytes> requests = device.get();
  EXPECT_EQ(requests, std::vector<Bytes>(c.attempts, request));
  EXPECT_TRUE(peer.Read(64, 0).empty()) << "a request after the answer";
  EXPECT_EQ(StatusCount("Pacote enviado!"), c.attempts);
  EXPECT_EQ(ui.FieldText(Field::linkStatus), c.lastStatus);
  EXPECT_FALSE(link.ExchangeActive());
}

INSTANTIATE_TEST_SUITE_P(
    Link, LinkEnterBoot,
    ::testing::Values(EnterBootCase{"AnsweredAtOnce", true, {0xC4}, 1, true, 1, "Rx ACK"},
                      EnterBootCase{"AnsweredOnSecondAttempt", true, {0xC4}, 2, true, 2, "Rx ACK"},
                      EnterBootCase{"NeverAnswered", true, {}, 0, false, 3, "Rx Time Out Error"},
                      EnterBootCase{"NKRequestGetsKEReply", false, {0xC4}, 1, true, 1, "Rx ACK"},
                      EnterBootCase{
                          "WrongReplyCode", true, {0xC1}, 1, false, 1, "Comando retorno errado!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkExchange, ReadIdentityFillsTheIdentityAndLogsThePacketTime) {
  auto device = StartDevice(8, kIdentityReply, 1);
  EXPECT_EQ(link.ReadIdentity(false), (AccessoryIdentity{0x1234, 7, 3, 14}));
  device.get();
  const auto log = ui.MemoLines(Memo::MemoTestePack);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Time para PACK Ok =", 0), 0u) << log[0];
}

TEST_F(LinkExchange, ReadIdentityRefusesAShortReply) {
  auto device = StartDevice(8, Bytes(kIdentityReply.begin(), kIdentityReply.end() - 1), 1);
  EXPECT_EQ(link.ReadIdentity(true), std::nullopt);
  device.get();
  EXPECT_EQ(ui.FieldText(Field::linkStatus), "Falha conversao da Hora!");
}

// Sending purges the input, and with it the part of a frame the receiver held.
TEST_F(LinkExchange, AHalfFrameFromBeforeDoesNotSpoilTheReply) {
  for (uint8_t byte : Bytes{'K', 'E', 0x05}) link.FeedByte(byte);
  auto device = StartDevice(9, {0xC4}, 1);
  EXPECT_TRUE(link.EnterBoot(true));
  EXPECT_EQ(device.get().size(), 1u);
}

TEST_F(LinkExchange, FailedExchangeKeepsTheCallersReply) {
  Bytes reply{0xAA};
  EXPECT_FALSE(link.Exchange(TuRxTxArvex::BuildFrame({0x01}, true), reply));
  EXPECT_EQ(reply, Bytes{0xAA});
}

// A vanished port ends the command with the port's error, not with a time-out.
TEST_F(LinkExchange, AClosedPortRaisesAndEndsTheExchange) {
  port.Close();
  Bytes reply;
  EXPECT_THROW(link.Exchange(TuRxTxArvex::BuildFrame({0x01}, true), reply), PortError);
  EXPECT_FALSE(link.ExchangeActive());
}

TEST_F(LinkExchange, AFailingPacketHandlerIsReportedAndTheReplyStillCounts) {
  link.SetOnPacket([](const Bytes&) { throw std::runtime_error("handler"); });
  auto device = StartDevice(9, {0xC4}, 1);
  EXPECT_TRUE(link.EnterBoot(true));
  device.get();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Pane"});
}

// Outside an exchange the boot protocol owns the input: the link takes nothing.
TEST_F(LinkExchange, OutsideAnExchangeBytesStayForBootReads) {
  const Bytes frame = TuRxTxArvex::BuildFrame({0xC4}, true);
  peer.Write(frame);
  Bytes got(frame.size());
  ASSERT_EQ(port.ReadBytes(got.data(), got.size(), true), got.size());
  EXPECT_EQ(got, frame);
  Bytes reply;
  EXPECT_FALSE(link.WaitPacket(milliseconds(0), reply));
}

}  // namespace
}  // namespace bq
