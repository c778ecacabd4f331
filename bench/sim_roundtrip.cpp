// Round trips against the virtual device over its pseudo-terminal: how fast it
// answers when not pacing, and how close pacing comes to a real cable.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "frame_codec.h"
#include "virtual_device.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

Bytes Frame(const Bytes& payload) {
  return bq::sim::EncodeFrame(payload);
}

int OpenRaw(const std::string& path, speed_t speed) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// One request out, one whole reply frame in; microseconds, or -1 on time-out.
double RoundTrip(int fd, const Bytes& frame) {
  const auto start = Clock::now();
  if (write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return -1;
  Bytes got;
  while (got.size() < 3 || got.size() < got[2] + 4u) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 500) <= 0) return -1;
    uint8_t buffer[300];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return -1;
    got.insert(got.end(), buffer, buffer + n);
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void Report(const char* name, std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const auto at = [&](double q) { return samples[static_cast<size_t>(q * (samples.size() - 1))]; };
  std::printf("%-40s n=%zu  median %8.1f us  p90 %8.1f us  p99 %8.1f us  max %8.1f us\n", name,
              samples.size(), at(0.5), at(0.9), at(0.99), samples.back());
}

void Measure(const char* name, bool pacing, uint32_t rate, const Bytes& payload, int count) {
  bq::sim::SimOptions options;
  options.pacing = pacing;
  options.baudRate = rate;
  bq::sim::VirtualDevice device(options);
  device.Start();
  const int fd = OpenRaw(device.PortPath(), rate == 19200 ? B19200 : B38400);
  const Bytes frame = Frame(payload);
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    const double us = RoundTrip(fd, frame);
    if (us >= 0) samples.push_back(us);
  }
  close(fd);
  if (samples.empty()) {
    std::printf("%-40s no replies\n", name);
    return;
  }
  Report(name, samples);
}

}  // namespace

int main() {
  const Bytes version{0x01, 0xFF, 0xFF, 0xFF};
  Bytes compare{0x02, 0x08, 0x00, 16};
  Bytes write{0x10, 0x40, 0x00, 16};  // blank on the default device
  write.resize(4 + 128, 0xFF);        // all-ones over erased cells: verifies every time
  Measure("version, no pacing", false, 38400, version, 2000);
  Measure("compare 128 bytes, no pacing", false, 38400, compare, 2000);
  Measure("write-verify 128 bytes, no pacing", false, 38400, write, 2000);
  std::printf("wire time at 38400: version %.0f us, compare 128 %.0f us, write 128 %.0f us\n",
              (8 + 10) * 1e6 / 3840, (8 + 133) * 1e6 / 3840, (136 + 5) * 1e6 / 3840);
  Measure("version, pacing 38400", true, 38400, version, 50);
  Measure("compare 128 bytes, pacing 38400", true, 38400, compare, 20);
  Measure("write-verify 128 bytes, pacing 19200", true, 19200, write, 20);
  std::printf("wire time at 19200: write 128 %.0f us\n", (136 + 5) * 1e6 / 1920);
  return 0;
}
