// What an accessory link exchange that gets no reply costs: three attempts of
// 250 ms each, during which the caller should sleep, not spin, while still
// letting the operator's pending input run every few milliseconds.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "discovery/accessory_link.h"
#include "pty.h"
#include "shell/silent_operator.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// User plus system time of the whole process (every thread), in milliseconds.
double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Notes the longest time between two calls of the pending-messages step.
class PacedOperator : public bq::SilentOperator {
 public:
  void ProcessMessages() override {
    const auto now = Clock::now();
    if (calls_++ > 0) longestGap_ = std::max(longestGap_, now - last_);
    last_ = now;
  }
  void Restart() {
    calls_ = 0;
    longestGap_ = {};
  }
  int Calls() const { return calls_; }
  double LongestGapMs() const { return Ms(longestGap_); }

 private:
  int calls_ = 0;
  Clock::time_point last_{};
  Clock::duration longestGap_{};
};

}  // namespace

int main() {
  bq::sim::Pty silentDevice;  // opened and never answering
  silentDevice.Open(bq::kLinkBaudFast);
  bq::TComPortGPS port;
  port.SetDeviceName(silentDevice.SlavePath());
  port.SetBaudRate(bq::kLinkBaudFast);
  port.Open();
  PacedOperator ui;
  bq::TuRxTxArvex link(port, ui);
  const bq::Bytes frame = bq::TuRxTxArvex::BuildFrame(bq::ReadIdentityPayload(), true);

  std::printf("exchange with no reply (%d attempts x %lld ms)\n", bq::TuRxTxArvex::kAttempts,
              static_cast<long long>(bq::TuRxTxArvex::kAttemptTimeout.count()));
  std::printf("%-4s %10s %10s %8s %14s %16s\n", "run", "wall ms", "cpu ms", "cpu %",
              "message steps", "longest gap ms");
  for (int run = 1; run <= 5; ++run) {
    ui.Restart();
    bq::Bytes reply;
    const double cpuBefore = ProcessCpuMs();
    const auto start = Clock::now();
    const bool answered = link.Exchange(frame, reply);
    const double wallMs = Ms(Clock::now() - start);
    const double cpuMs = ProcessCpuMs() - cpuBefore;
    std::printf("%-4d %10.1f %10.2f %8.2f %14d %16.2f%s\n", run, wallMs, cpuMs,
                100.0 * cpuMs / wallMs, ui.Calls(), ui.LongestGapMs(),
                answered ? "  (unexpected reply)" : "");
  }
  port.Close();
  return 0;
}
