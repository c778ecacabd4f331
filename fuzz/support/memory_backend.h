#pragma once
// A serial backend whose received bytes come from memory: a read takes what is
// left and never waits, so running out of bytes is a time-out at once.

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "serial/com_port.h"

namespace bq::fuzz {

class MemoryBackend : public SerialBackend {
 public:
  // The bytes the next reads hand out; they must outlive the reads.
  void Feed(const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    pos_ = 0;
  }
  size_t Left() const { return size_ - pos_; }

  void Open(const std::string&) override { open_ = true; }
  void ApplyLineSettings(const LineSettings&) override {}
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void SetBaudRate(uint32_t) override {}
  void SetBufferSizes(size_t, size_t) override {}

  void DiscardInput() override { pos_ = size_; }
  void DiscardOutput() override {}
  void Drain() override {}
  size_t InputCount() override { return Left(); }
  size_t OutputCount() override { return 0; }

  size_t Read(uint8_t* buffer, size_t count, const Timeouts&) override {
    return ReadNow(buffer, count);
  }
  size_t ReadNow(uint8_t* buffer, size_t count) override {
    const size_t n = std::min(count, Left());
    if (n != 0) std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  size_t Write(const uint8_t*, size_t count, const Timeouts&, const std::atomic<bool>&) override {
    return count;
  }

  void SetDtr(bool) override {}
  void SetRts(bool) override {}

  // Nothing ever arrives on its own: the port's event thread sleeps until the close.
  bool WaitForInput() override {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return interrupted_; });
    interrupted_ = false;
    return false;
  }
  void InterruptWait() override {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    wake_.notify_all();
  }
  bool DeviceLost() const override { return false; }

  void RaisePriority() override {}
  void RestorePriority() override {}

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  bool open_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool interrupted_ = false;
};

}  // namespace bq::fuzz
