// How fast a byte that has arrived reaches ReadByteTimed, and how closely the
// 110 ms and 1100 ms time-outs are kept, on a pseudo-terminal.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "serial/boot_port.h"
#include "shell/silent_operator.h"

namespace {

using Clock = std::chrono::steady_clock;

using NullOperator = bq::SilentOperator;

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// The peer writes one byte at a recorded moment; the reader notes when it got it.
void MeasureLatency(bq::TComPortGPS& port, int master, int samples) {
  std::vector<double> latencies;
  std::atomic<Clock::time_point> sentAt{};
  std::atomic<bool> go{false};
  for (int i = 0; i < samples; ++i) {
    std::thread writer([&] {
      while (!go) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::microseconds(300));  // the reader is waiting by now
      uint8_t b = static_cast<uint8_t>(i);
      sentAt = Clock::now();
      if (::write(master, &b, 1) != 1) std::perror("write");
    });
    go = true;
    uint8_t byte = 0;
    bool got = bq::ReadByteTimed(port, byte);
    auto receivedAt = Clock::now();
    writer.join();
    go = false;
    if (got) latencies.push_back(Micros(receivedAt - sentAt.load()));
  }
  std::printf("byte latency over %zu reads (us): median %.1f  p90 %.1f  p99 %.1f  max %.1f\n",
              latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.9),
              Percentile(latencies, 0.99), *std::max_element(latencies.begin(), latencies.end()));
}

void MeasureTimeout(bq::TComPortGPS& port, const char* name, const bq::Timeouts& set,
                    double expectMs, int rounds) {
  bq::ApplyReadTimeouts(port, set);
  std::printf("%s time-out (expected %.0f ms):", name, expectMs);
  double worst = 0;
  for (int i = 0; i < rounds; ++i) {
    uint8_t byte = 0;
    auto start = Clock::now();
    bq::ReadByteTimed(port, byte);
    double ms = Micros(Clock::now() - start) / 1000.0;
    worst = std::max(worst, ms - expectMs);
    std::printf(" %.2f", ms);
  }
  std::printf("  -> worst overshoot %.2f ms\n", worst);
}

}  // namespace

int main() {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128] = {};
  if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0 ||
      ::ptsname_r(master, name, sizeof name) != 0) {
    std::perror("pseudo-terminal");
    return 1;
  }
  NullOperator ui;
  bq::TComPortGPS port(bq::MakeDefaultSerialBackend());
  if (!bq::OpenBootPort(port, ui, 38400, name)) {
    std::fprintf(stderr, "cannot open %s: %s\n", name, port.LastError().c_str());
    return 1;
  }
  MeasureLatency(port, master, 2000);
  MeasureTimeout(port, "probe", bq::ProbeTimeouts, 110, 10);
  MeasureTimeout(port, "open default", bq::kOpenTimeouts, 1100, 3);
  bq::CloseBootPort(port);
  ::close(master);
  return 0;
}
