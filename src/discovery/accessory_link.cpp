// TuRxTxArvex: construction, the receive hook on the port's event thread, the
// receiver and the hand-off of verified packets to the waiting thread.

#include "discovery/accessory_link.h"

#include <exception>
#include <utility>

namespace bq {

// The port may already have copied the notification when the link goes away; the
// gate lets that late call find out, under its lock, that nobody is home.
struct TuRxTxArvex::HookGate {
  std::mutex mutex;
  TuRxTxArvex* link = nullptr;
};

TuRxTxArvex::TuRxTxArvex(TComPortGPS& port, OperatorInterface& ui)
    : port_(port), ui_(ui), gate_(std::make_shared<HookGate>()) {
  ResetReply();
  ResetReceiver();
  gate_->link = this;
  port_.SetRxCharHandler([gate = gate_] {
    std::lock_guard lock(gate->mutex);
    if (gate->link) gate->link->ComPortQuarnRxChar();
  });
}

TuRxTxArvex::~TuRxTxArvex() {
  port_.SetRxCharHandler(nullptr);
  std::lock_guard lock(gate_->mutex);
  gate_->link = nullptr;
}

Bytes TuRxTxArvex::BuildFrame(const Bytes& payload, bool prefixKE) {
  return LinkFrame{prefixKE ? LinkFrame::Prefix::KE : LinkFrame::Prefix::NK, payload}.Encode();
}

void TuRxTxArvex::FeedByte(uint8_t byte, Clock::time_point now) {
  std::lock_guard lock(receiverMutex_);
  if (auto payload = receiver_.FeedByte(byte, now)) {
    StorePacket(*payload);
    if (onPacket_) onPacket_(*payload);
  }
}

void TuRxTxArvex::ResetReceiver() {
  std::lock_guard lock(receiverMutex_);
  receiver_.Reset();
}

void TuRxTxArvex::SetOnPacket(PacketHandler handler) {
  std::lock_guard lock(receiverMutex_);
  onPacket_ = std::move(handler);
}

void TuRxTxArvex::ResetReply() {
  std::lock_guard lock(replyMutex_);
  replyBuffer_.assign(1, 0);
  packetReady_ = false;
}

// The buffer is complete before the flag goes up; both change under one lock.
void TuRxTxArvex::StorePacket(const Bytes& payload) {
  {
    std::lock_guard lock(replyMutex_);
    replyBuffer_ = payload;
    packetReady_ = true;
  }
  packetArrived_.notify_all();
}

bool TuRxTxArvex::TakePacket(Bytes& reply) {
  std::lock_guard lock(replyMutex_);
  if (!packetReady_) return false;
  packetReady_ = false;
  reply = replyBuffer_;
  return true;
}

bool TuRxTxArvex::SetExchangeActive(bool active) {
  std::lock_guard lock(hookMutex_);
  return exchangeActive_.exchange(active, std::memory_order_acq_rel);
}

void TuRxTxArvex::ComPortQuarnRxChar() {
  std::lock_guard lock(hookMutex_);
  if (!ExchangeActive()) return;
  for (uint8_t byte : port_.ReadAvailable()) {
    try {
      FeedByte(byte);
    } catch (const std::exception&) {
      // One bad byte must not cost the rest of the reply.
      ui_.ShowMessage("Pane");
    }
  }
}

}  // namespace bq
