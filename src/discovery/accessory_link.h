#pragma once
// TuRxTxArvex: the accessory link engine. It sends link frames on the port,
// catches the replies through the port's receive notification (on the port's
// event thread) and hands each verified reply to the caller's thread.
//
// The link reads the port only while an exchange is under way; at all other
// times received bytes stay in the port's input queue for the boot protocol.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "discovery/accessory_identity.h"
#include "discovery/link_frame.h"
#include "discovery/link_receiver.h"
#include "serial/com_port.h"
#include "shell/operator_interface.h"

namespace bq {

class TuRxTxArvex {
 public:
  using Clock = LinkReceiver::Clock;
  using PacketHandler = std::function<void(const Bytes&)>;
  enum class SendResult { Acknowledged, TimedOut };

  static constexpr int kAttempts = 3;
  static constexpr std::chrono::milliseconds kAttemptTimeout{250};
  // How often a waiting exchange lets the operator's pending input run.
  static constexpr std::chrono::milliseconds kMessageSlice{5};

  // Takes over the port's receive notification for as long as the link lives.
  // Status texts are shown as the link's status, packet times in their list.
  TuRxTxArvex(TComPortGPS& port, OperatorInterface& ui);
  ~TuRxTxArvex();
  TuRxTxArvex(const TuRxTxArvex&) = delete;
  TuRxTxArvex& operator=(const TuRxTxArvex&) = delete;

  // The link frame of payload, prefixed "KE" when prefixKE, else "NK".
  static Bytes BuildFrame(const Bytes& payload, bool prefixKE);

  // One received byte into the receive state machine; `now` is its arrival.
  void FeedByte(uint8_t byte) { FeedByte(byte, Clock::now()); }
  void FeedByte(uint8_t byte, Clock::time_point now);
  void ResetReceiver();
  // Reply buffer back to one zero byte, packet flag down.
  void ResetReply();
  // Also told of each verified payload, on the thread that fed it, after it was
  // stored for WaitPacket. It must not call back into the receiver.
  void SetOnPacket(PacketHandler handler);

  // One attempt: send frame, wait up to timeout for a reply, put it in reply.
  SendResult SendAndWait(const Bytes& frame, std::chrono::milliseconds timeout, Bytes& reply);
  // True when a packet came within timeout; reply then holds its payload.
  bool WaitPacket(std::chrono::milliseconds timeout, Bytes& reply);
  // Up to kAttempts attempts of kAttemptTimeout. On failure reply keeps what it held.
  // A port error (a closed or vanished port) propagates as PortError.
  bool Exchange(const Bytes& frame, Bytes& reply);

  std::optional<AccessoryIdentity> ReadIdentity(bool prefixKE);
  bool EnterBoot(bool prefixKE);

  // True only inside Exchange.
  bool ExchangeActive() const { return exchangeActive_.load(std::memory_order_acquire); }

  // The port's receive notification: feeds every waiting byte to the receiver
  // while an exchange is active, and leaves the bytes alone otherwise.
  void ComPortQuarnRxChar();

 private:
  class ExchangeScope;
  struct HookGate;

  void StorePacket(const Bytes& payload);
  bool TakePacket(Bytes& reply);
  void ShowLinkStatus(const std::string& text);
  // Returns the flag's previous value. Waits for a hook that is reading the port.
  bool SetExchangeActive(bool active);

  TComPortGPS& port_;
  OperatorInterface& ui_;

  // Receiver side, fed on the port's event thread.
  std::mutex receiverMutex_;
  LinkReceiver receiver_;
  PacketHandler onPacket_;

  // Hand-off from the event thread to the waiting caller.
  std::mutex replyMutex_;
  std::condition_variable packetArrived_;
  Bytes replyBuffer_;
  bool packetReady_ = false;

  // Held while the hook reads the port, so that ending an exchange waits for a
  // read under way and no byte is taken from the boot protocol afterwards.
  std::mutex hookMutex_;
  std::atomic<bool> exchangeActive_{false};
  // Lets a notification already dispatched by the port outlive the link safely.
  std::shared_ptr<HookGate> gate_;
};

}  // namespace bq
