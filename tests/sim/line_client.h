#pragma once
// A tool's end of the line for the virtual device's tests: plain POSIX calls,
// nothing from the real client, so the two sides stay independent.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bq::sim::test {

using Bytes = std::vector<uint8_t>;

Bytes Frame(const Bytes& payload);
bool ChecksumOk(const Bytes& frame);

class LineClient {
 public:
  // Opens `path` raw at `rate` (any rate, 4545 too); fails the test on error.
  LineClient(const std::string& path, uint32_t rate);
  ~LineClient();
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  void SetRate(uint32_t rate);
  void Write(const Bytes& bytes);
  // Reads one frame's bytes (sync, length, payload, checksum) as they come,
  // or whatever arrived before `timeoutMs` of silence.
  Bytes ReadFrame(int timeoutMs = 300);
  // Reads until `count` bytes came, or `timeoutMs` of silence.
  Bytes ReadCount(size_t count, int timeoutMs = 300);
  // Reads until the bytes hold `text`, or `timeoutMs` of silence.
  Bytes ReadUntil(const std::string& text, int timeoutMs = 300);
  // Sends the request and returns the reply payload when a whole frame with a
  // good checksum came back.
  std::optional<Bytes> Exchange(const Bytes& payload, int timeoutMs = 300);
  // The same for an accessory link request with `prefix` ("KE" or "NK"): the
  // reply payload when a whole "KE" frame with a good check byte came back.
  std::optional<Bytes> LinkExchange(const std::string& prefix, const Bytes& payload,
                                    int timeoutMs = 300);
  // Waits for the line to hang up (POLLHUP, or a read that fails with EIO).
  bool WaitForHangup(int timeoutMs);

 private:
  int fd_ = -1;
};

}  // namespace bq::sim::test
