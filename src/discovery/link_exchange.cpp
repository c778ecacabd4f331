// TuRxTxArvex on the caller's thread: one attempt, the wait for its reply, the
// exchange of up to three attempts and the two link commands built on it.

#include <algorithm>
#include <string>

#include "discovery/accessory_link.h"

namespace bq {

// ExchangeActive is up while the scope lives, whatever ends the exchange. An
// exchange started from within another (through the operator's pending input)
// leaves the flag as the outer one needs it.
class TuRxTxArvex::ExchangeScope {
 public:
  explicit ExchangeScope(TuRxTxArvex& link)
      : link_(link), wasActive_(link_.SetExchangeActive(true)) {}
  ~ExchangeScope() { link_.SetExchangeActive(wasActive_); }
  ExchangeScope(const ExchangeScope&) = delete;
  ExchangeScope& operator=(const ExchangeScope&) = delete;

 private:
  TuRxTxArvex& link_;
  const bool wasActive_;
};

void TuRxTxArvex::ShowLinkStatus(const std::string& text) {
  ui_.Show(shown::LinkStatus{text});
  ui_.ProcessMessages();
}

TuRxTxArvex::SendResult TuRxTxArvex::SendAndWait(const Bytes& frame,
                                                 std::chrono::milliseconds timeout, Bytes& reply) {
  ResetReply();
  port_.ClearInput();
  port_.ClearOutput();
  // The purge took any half-received frame with it; the receiver forgets it too.
  ResetReceiver();
  port_.WriteString(frame);
  port_.Flush();
  ShowLinkStatus("Pacote enviado!");
  if (WaitPacket(timeout, reply)) {
    ShowLinkStatus("Rx ACK");
    return SendResult::Acknowledged;
  }
  ShowLinkStatus("Rx Time Out Error");
  return SendResult::TimedOut;
}

// Sleeps on the hand-off in short slices rather than spinning, so that the
// operator's pending input still runs every few milliseconds.
bool TuRxTxArvex::WaitPacket(std::chrono::milliseconds timeout, Bytes& reply) {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + timeout;
  for (bool firstCheck = true;; firstCheck = false) {
    ui_.ProcessMessages();
    if (TakePacket(reply)) {
      const auto elapsed =
          firstCheck ? 0 : duration_cast<milliseconds>(Clock::now() - start).count();
      ui_.Show(shown::ListLine{OperatorList::PacketTimes,
                               "Time para PACK Ok =" + std::to_string(elapsed)});
      return true;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    std::unique_lock lock(replyMutex_);
    packetArrived_.wait_until(lock, std::min(now + kMessageSlice, deadline),
                              [this] { return packetReady_; });
  }
}

bool TuRxTxArvex::Exchange(const Bytes& frame, Bytes& reply) {
  ExchangeScope active(*this);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (SendAndWait(frame, kAttemptTimeout, reply) == SendResult::Acknowledged) return true;
  }
  return false;
}

std::optional<AccessoryIdentity> TuRxTxArvex::ReadIdentity(bool prefixKE) {
  Bytes reply;
  if (!Exchange(BuildFrame(ReadIdentityPayload(), prefixKE), reply)) return std::nullopt;
  if (reply.front() != kReadIdentityReply) {
    ShowLinkStatus("Comando retorno errado!");
    return std::nullopt;
  }
  auto identity = ParseAccessoryIdentity(reply);
  if (!identity) ShowLinkStatus("Falha conversao da Hora!");
  return identity;
}

bool TuRxTxArvex::EnterBoot(bool prefixKE) {
  Bytes reply;
  if (!Exchange(BuildFrame(EnterBootPayload(), prefixKE), reply)) return false;
  if (reply.front() == kEnterBootReply) return true;
  ShowLinkStatus("Comando retorno errado!");
  return false;
}

}  // namespace bq
