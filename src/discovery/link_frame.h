#pragma once
// The frames spoken to accessories: the link's request/reply frame, the QX frames
// of the same layout, and the bridge's control runs of one repeated letter.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bq {

using Bytes = std::vector<uint8_t>;

// Two prefix letters, the payload length n, the payload, then a check byte
// over the payload only. Receivers take n from 1 to kMaxLinkPayload.
struct LinkFrame {
  enum class Prefix : uint8_t { KE, NK, QX };

  Prefix prefix = Prefix::KE;
  Bytes payload;

  // The bytes on the wire. Throws std::invalid_argument when the payload is
  // empty or longer than a receiver takes.
  Bytes Encode() const;
};

inline constexpr size_t kMaxLinkPayload = 39;

// Exclusive-or of the payload bytes, plus one, modulo 256.
uint8_t LinkCheckByte(const uint8_t* payload, size_t size);

// Line rates: the link runs at either; QX frames at 9600, the bridge at 4545.
inline constexpr uint32_t kLinkBaudFast = 9600;
inline constexpr uint32_t kLinkBaudSlow = 4545;
inline constexpr uint32_t kQxBaud = 9600;
inline constexpr uint32_t kBridgeBaud = 4545;

// Link requests and the reply codes that acknowledge them.
inline constexpr uint8_t kReadIdentityCommand = 0x20;
inline constexpr uint8_t kReadIdentityReply = 0xC1;
inline constexpr uint8_t kEnterBootCommand = 0x24;
inline constexpr uint8_t kEnterBootReply = 0xC4;
Bytes ReadIdentityPayload();
Bytes EnterBootPayload();

// "QX" 01 E7 E8: asks a Delmo for its version text (the reply holds "ver").
Bytes VersionQuery();
// Switches a device that answered VersionQuery into boot mode; no reply comes.
Bytes QxEnterBoot();

// Bridge control runs, written raw at kBridgeBaud. The 'P' run goes
// kBridgeRunGap after an 'N' run and is answered with text holding "ponte_1";
// the 'O' run follows a good 'P' run with no 'N' run between and switches the
// Arvex to boot mode without an answer.
inline constexpr size_t kBridgeRunNLength = 24;
inline constexpr size_t kBridgeRunPLength = 25;
inline constexpr size_t kBridgeRunOLength = 25;
inline constexpr std::chrono::milliseconds kBridgeRunGap{300};
Bytes BridgeRunN();
Bytes BridgeRunP();
Bytes BridgeRunO();

}  // namespace bq
