#include "line_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "frame_codec.h"
#include "line_rate.h"

namespace bq::sim::test {
Bytes Frame(const Bytes& payload) {
  return EncodeFrame(payload);
}

bool ChecksumOk(const Bytes& frame) {
  if (frame.size() < 4 || frame.size() != frame[2] + 4u) return false;
  uint8_t sum = 0;
  for (size_t i = 2; i < frame.size(); ++i) sum = static_cast<uint8_t>(sum + frame[i]);
  return sum == 0;
}

LineClient::LineClient(const std::string& path, uint32_t rate) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    ADD_FAILURE() << "open " << path << ": " << std::strerror(errno);
    return;
  }
  SetRate(rate);
}

LineClient::~LineClient() {
  if (fd_ >= 0) close(fd_);
}

void LineClient::SetRate(uint32_t rate) {
  termios tio{};
  tcgetattr(fd_, &tio);
  cfmakeraw(&tio);
  ASSERT_EQ(tcsetattr(fd_, TCSANOW, &tio), 0) << std::strerror(errno);
  // termios2 sets any integer rate, as a serial driver does.
  ASSERT_TRUE(SetLineRate(fd_, rate)) << std::strerror(errno);
}

void LineClient::Write(const Bytes& bytes) {
  tcflush(fd_, TCIFLUSH);  // a late reply to an earlier request is not this one's
  ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes LineClient::ReadFrame(int timeoutMs) {
  Bytes got;
  while (got.size() < 3 || got.size() < got[2] + 4u) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) break;
    uint8_t buffer[300];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

Bytes LineClient::ReadCount(size_t count, int timeoutMs) {
  Bytes got;
  while (got.size() < count) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) break;
    uint8_t buffer[300];
    const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

Bytes LineClient::ReadUntil(const std::string& text, int timeoutMs) {
  const Bytes wanted(text.begin(), text.end());
  Bytes got;
  while (std::search(got.begin(), got.end(), wanted.begin(), wanted.end()) == got.end()) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) break;
    uint8_t buffer[300];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::optional<Bytes> LineClient::LinkExchange(const std::string& prefix, const Bytes& payload,
                                              int timeoutMs) {
  Write(EncodeLinkFrame(prefix, payload));
  const Bytes frame = ReadFrame(timeoutMs);
  if (frame.size() < 5 || frame.size() != frame[2] + 4u || frame[0] != 'K' || frame[1] != 'E') {
    return std::nullopt;
  }
  Bytes reply(frame.begin() + 3, frame.end() - 1);
  if (frame.back() != LinkCheckByte(reply)) return std::nullopt;
  return reply;
}

std::optional<Bytes> LineClient::Exchange(const Bytes& payload, int timeoutMs) {
  Write(Frame(payload));
  const Bytes frame = ReadFrame(timeoutMs);
  if (!ChecksumOk(frame) || frame[0] != 0x0F || frame[1] != 0x0F) return std::nullopt;
  return Bytes(frame.begin() + 3, frame.end() - 1);
}

bool LineClient::WaitForHangup(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  if (p.revents & POLLHUP) return true;
  uint8_t byte;
  return read(fd_, &byte, 1) < 0 && errno == EIO;
}

}  // namespace bq::sim::test
