// What "Procura Porta" costs on a port where nothing answers (a pseudo-terminal
// nobody reads), against the waits and time-outs the scan is made of: the
// boot loader's two short reply time-outs and the reopen pause between them,
// the version query's wait, and the bridge's two waits.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/port_scan.h"
#include "app/station.h"
#include "pty.h"
#include "shell/silent_operator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Per port: 110 ms at 38400, the 150 ms reopen pause, 110 ms at 19200, then
// 300 ms for the version query, then 300 + 500 ms of bridge runs.
constexpr double kFixedWaitsMs = 110 + 150 + 110 + 300 + 300 + 500;
constexpr int kPorts = 3;
constexpr int kRuns = 2;

class Ports : public bq::PortLister {
 public:
  explicit Ports(std::vector<std::string> names) : names_(std::move(names)) {}
  std::vector<std::string> ListPorts() override { return names_; }
  std::vector<std::string> ListPresentPorts() override { return names_; }

 private:
  std::vector<std::string> names_;
};

}  // namespace

int main() {
  std::vector<std::unique_ptr<bq::sim::Pty>> ptys;
  std::vector<std::string> names;
  for (int i = 0; i < kPorts; ++i) {
    ptys.push_back(std::make_unique<bq::sim::Pty>());
    ptys.back()->Open(38400);
    names.push_back(ptys.back()->SlavePath());
  }
  bq::SilentOperator ui;
  bq::AppPaths paths;
  paths.settingsFile = "/tmp/bench_scan_" + std::to_string(getpid()) + ".ini";
  bq::Context ctx(ui, paths, std::make_unique<Ports>(names));
  bq::Station station(ctx, ui);

  double best = 1e12;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    bq::ScanPorts(station);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    best = std::min(best, ms / kPorts);
  }
  unlink(paths.settingsFile.c_str());
  std::printf("scan, no device: %.1f ms per port (best of %d runs over %d ports)\n", best, kRuns,
              kPorts);
  std::printf("fixed waits and time-outs: %.0f ms per port\n", kFixedWaitsMs);
  std::printf("ratio: %.3f\n", best / kFixedWaitsMs);
  return 0;
}
