#include "discovery/link_frame.h"

#include <stdexcept>

namespace bq {

namespace {

// The access codes that keep a stray frame from dropping a device into boot mode.
constexpr uint8_t kLinkBootAccessCode[] = {0x3A, 0xC5, 0x0E, 0x97};
constexpr uint8_t kQxBootAccessCode[] = {0xC7, 0xA5};
constexpr uint8_t kVersionQueryCommand = 0xE7;
constexpr uint8_t kQxEnterBootCommand = 0xE5;

Bytes PrefixBytes(LinkFrame::Prefix prefix) {
  switch (prefix) {
    case LinkFrame::Prefix::KE:
      return {'K', 'E'};
    case LinkFrame::Prefix::NK:
      return {'N', 'K'};
    case LinkFrame::Prefix::QX:
      return {'Q', 'X'};
  }
  throw std::invalid_argument("unknown link frame prefix");
}

}  // namespace

uint8_t LinkCheckByte(const uint8_t* payload, size_t size) {
  uint8_t check = 0;
  for (size_t i = 0; i < size; ++i) check ^= payload[i];
  return static_cast<uint8_t>(check + 1);
}

Bytes LinkFrame::Encode() const {
  if (payload.empty() || payload.size() > kMaxLinkPayload)
    throw std::invalid_argument("link frame payload must hold 1 to 39 bytes");
  Bytes frame = PrefixBytes(prefix);
  frame.push_back(static_cast<uint8_t>(payload.size()));
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(LinkCheckByte(payload.data(), payload.size()));
  return frame;
}

Bytes ReadIdentityPayload() {
  return {kReadIdentityCommand, 0x00, 0x00, 0x00};
}

Bytes EnterBootPayload() {
  Bytes payload{kEnterBootCommand};
  payload.insert(payload.end(), std::begin(kLinkBootAccessCode), std::end(kLinkBootAccessCode));
  return payload;
}

Bytes VersionQuery() {
  return LinkFrame{LinkFrame::Prefix::QX, {kVersionQueryCommand}}.Encode();
}

Bytes QxEnterBoot() {
  Bytes payload{kQxEnterBootCommand};
  payload.insert(payload.end(), std::begin(kQxBootAccessCode), std::end(kQxBootAccessCode));
  return LinkFrame{LinkFrame::Prefix::QX, payload}.Encode();
}

Bytes BridgeRunN() {
  return Bytes(kBridgeRunNLength, 'N');
}

Bytes BridgeRunP() {
  return Bytes(kBridgeRunPLength, 'P');
}

Bytes BridgeRunO() {
  return Bytes(kBridgeRunOLength, 'O');
}

}  // namespace bq
