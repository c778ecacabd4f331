// The bytes the program puts on the wire for accessories.

#include "discovery/link_frame.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "discovery/accessory_link.h"

namespace bq {
namespace {

struct FrameCase {
  const char* name;
  Bytes frame;
  Bytes expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
  *os << c.name;
}

class FrameBytes : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameBytes, MatchTheWireFormat) {
  EXPECT_EQ(GetParam().frame, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Link, FrameBytes,
    ::testing::Values(
        FrameCase{"ReadIdentityKE",
                  TuRxTxArvex::BuildFrame(ReadIdentityPayload(), true),
                  {0x4B, 0x45, 0x04, 0x20, 0x00, 0x00, 0x00, 0x21}},
        FrameCase{"ReadIdentityNK",
                  TuRxTxArvex::BuildFrame(ReadIdentityPayload(), false),
                  {0x4E, 0x4B, 0x04, 0x20, 0x00, 0x00, 0x00, 0x21}},
        FrameCase{"EnterBootKE",
                  TuRxTxArvex::BuildFrame(EnterBootPayload(), true),
                  {0x4B, 0x45, 0x05, 0x24, 0x3A, 0xC5, 0x0E, 0x97, 0x43}},
        FrameCase{"VersionQuery", VersionQuery(), {'Q', 'X', 0x01, 0xE7, 0xE8}},
        FrameCase{"QxEnterBoot", QxEnterBoot(), {'Q', 'X', 0x03, 0xE5, 0xC7, 0xA5, 0x88}},
        // Check byte wraps: 0xFF + 1 is 0x00.
        FrameCase{"CheckWraps", TuRxTxArvex::BuildFrame({0xFF}, true), {'K', 'E', 1, 0xFF, 0x00}},
        FrameCase{"BridgeN", BridgeRunN(), Bytes(24, 'N')},
        FrameCase{"BridgeP", BridgeRunP(), Bytes(25, 'P')},
        FrameCase{"BridgeO", BridgeRunO(), Bytes(25, 'O')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkFrame, RefusesPayloadsNoReceiverTakes) {
  EXPECT_THROW(TuRxTxArvex::BuildFrame({}, true), std::invalid_argument);
  EXPECT_THROW(TuRxTxArvex::BuildFrame(Bytes(40, 0), true), std::invalid_argument);
  EXPECT_EQ(TuRxTxArvex::BuildFrame(Bytes(39, 0), true).size(), 43u);
}

TEST(AccessoryIdentity, ReadsTheFieldsOfAReply) {
  const Bytes reply{0xC1, 0x34, 0x12, 9, 9, 9, 9, 7, 3, 14, 9, 9, 9, 9, 9};
  EXPECT_EQ(ParseAccessoryIdentity(reply), (AccessoryIdentity{0x1234, 7, 3, 14}));
  EXPECT_EQ(ParseAccessoryIdentity(Bytes(reply.begin(), reply.end() - 1)), std::nullopt);
}

}  // namespace
}  // namespace bq
