#include "discovery/port_probes.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "serial/boot_port.h"
#include "serial/timeouts.h"

namespace bq {

namespace {

using std::chrono::milliseconds;

// Plain waits: the accessory gets its time to answer, nothing else runs.
constexpr milliseconds kVersionReplyWait{300};
constexpr milliseconds kBridgeReplyWait{500};
constexpr milliseconds kBootEntrySettle{200};

char FoldLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
}

// Opens the port for a probe: short read waits, both queues empty.
bool OpenForProbe(BootLink link, const std::string& portName, uint16_t baud) {
  if (!OpenBootPort(link.port, link.ui, baud, portName)) return false;
  ApplyReadTimeouts(link.port, ProbeTimeouts);
  link.port.ClearInput();
  link.port.ClearOutput();
  return true;
}

// What waits in the input queue holds text; nothing waiting holds nothing.
bool WaitingReplyHolds(TComPortGPS& port, const std::string& text) {
  if (port.InputCount() == 0) return false;
  return ReplyHolds(port.ReadAvailable(), text);
}

}  // namespace

bool ReplyHolds(const Bytes& reply, const std::string& text) {
  const auto same = [](uint8_t a, char b) {
    return FoldLetter(a) == FoldLetter(static_cast<uint8_t>(b));
  };
  return std::search(reply.begin(), reply.end(), text.begin(), text.end(), same) != reply.end();
}

bool ProbeVersionReply(BootLink link, const std::string& portName) {
  if (!OpenForProbe(link, portName, kQxBaud)) return false;
  link.port.WriteString(VersionQuery());
  std::this_thread::sleep_for(kVersionReplyWait);
  return WaitingReplyHolds(link.port, "ver");
}

bool ProbeBridge(BootLink link, const std::string& portName, bool keepState, uint16_t baud) {
  if (!OpenForProbe(link, portName, baud)) return false;
  link.port.WriteString(BridgeRunN());
  std::this_thread::sleep_for(kBridgeRunGap);
  link.port.WriteString(BridgeRunP());
  std::this_thread::sleep_for(kBridgeReplyWait);
  const bool answered = WaitingReplyHolds(link.port, "ponte_1");
  if (!keepState) link.port.WriteString(BridgeRunN());
  return answered;
}

ArvexAnswer SendArvexToBoot(BootLink link, const std::string& portName) {
  if (ProbeBridge(link, portName, true, kBridgeBaud)) {
    link.port.WriteString(BridgeRunO());
    std::this_thread::sleep_for(kBootEntrySettle);
    return ArvexAnswer::Bridge;
  }
  if (ProbeVersionReply(link, portName)) {
    link.port.WriteString(QxEnterBoot());
    std::this_thread::sleep_for(kBootEntrySettle);
    return ArvexAnswer::VersionQuery;
  }
  return ArvexAnswer::None;
}

}  // namespace bq
