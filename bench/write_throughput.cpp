// How close a programming run comes to the speed of the serial line itself.
// A virtual device paces every byte at the real line rate; the engine writes a
// full and a half-filled image at 38400 and 19200 baud, on newer and older boot
// loaders. For each run: the programming phase's elapsed time, the time the
// bytes actually exchanged need on the wire (10 bits each, both directions),
// and their ratio. Prints figures only; it asserts nothing.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "programming/programming_engine.h"
#include "serial/boot_port.h"
#include "shell/silent_operator.h"
#include "virtual_device.h"

namespace {

using Clock = std::chrono::steady_clock;

// A silent operator: the benchmark measures the engine and the line, not a display.
class QuietOperator : public bq::SilentOperator {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowErrorBox(const std::string& text) override { messages.push_back(text); }

  std::vector<std::string> messages;
};

struct Scenario {
  const char* image;
  uint32_t dataEnd;  // data from ApplicationStart to here
  uint32_t rate;
  uint16_t loader;
};

constexpr size_t kFrameOverhead = 4;  // 0x0F 0x0F, length, checksum

struct Result {
  bool ok = false;
  double seconds = 0;
  uint64_t requests = 0;
  uint64_t wireBytes = 0;
};

uint64_t WireBytes(const std::vector<bq::sim::Request>& requests) {
  uint64_t bytes = 0;
  for (const auto& r : requests) {
    bytes += r.payload.size() + kFrameOverhead;
    if (r.outcome == bq::sim::RequestOutcome::kAnswered) bytes += r.reply.size() + kFrameOverhead;
  }
  return bytes;
}

// The figures are the point here; progress goes nowhere.
class NoProgress : public bq::ProgressSink {
 public:
  void PlanStarted(const bq::ProgrammingPlan&) override {}
  void PhaseAnnounced(bq::ProgrammingPhase) override {}
  void RangeStarted(bq::ProgrammingPhase, uint32_t, uint32_t) override {}
  void Step(bq::ProgrammingPhase, uint32_t) override {}
  void BootGranuleSkipped(bq::ProgrammingPhase) override {}
  void PhaseFinished(bq::ProgrammingPhase) override {}
};

Result Run(const Scenario& s, bool pacing) {
  bq::sim::SimOptions o;
  o.baudRate = s.rate;
  o.bootLoaderVersion = s.loader;
  o.pacing = pacing;
  bq::sim::VirtualDevice device(o);
  device.Start();

  QuietOperator ui;
  bq::TComPortGPS port(bq::MakeDefaultSerialBackend());
  Result result;
  if (!bq::OpenBootPort(port, ui, static_cast<uint16_t>(s.rate), device.PortPath())) return result;
  auto image = std::make_unique<bq::FirmwareImage>();
  image->FillBlank();
  for (uint32_t a = bq::ApplicationStart; a <= s.dataEnd; ++a) {
    image->flash[a] = static_cast<uint8_t>((a * 13 + 1) % 251);
  }
  bq::ProgrammingOptions options;
  options.highAddresses = false;
  const bq::ProgrammingPlan plan = bq::PlanProgramming(*image, options, s.loader, 5);
  NoProgress progress;
  const std::atomic<bool> cancel{false};

  const auto start = Clock::now();
  result.ok = bq::RunProgrammingPlan({port, ui}, plan, progress, cancel).ok();
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  bq::CloseBootPort(port);
  const auto requests = device.Requests();
  device.Stop();

  result.requests = requests.size();
  result.wireBytes = WireBytes(requests);
  for (const auto& m : ui.messages) std::printf("    message: %s\n", m.c_str());
  return result;
}

}  // namespace

// An optional argument keeps only the runs at that rate (e.g. 38400).
int main(int argc, char** argv) {
  const uint32_t onlyRate = argc > 1 ? static_cast<uint32_t>(std::stoul(argv[1])) : 0;
  const uint32_t kFull = 0xFFFF;  // 62 KB of application
  const uint32_t kHalf = 0x87FF;  // its first half
  const std::vector<Scenario> scenarios = {
      {"full 62 KB", kFull, 38400, 0x0202}, {"half 31 KB", kHalf, 38400, 0x0202},
      {"full 62 KB", kFull, 38400, 0x0105}, {"half 31 KB", kHalf, 38400, 0x0105},
      {"full 62 KB", kFull, 19200, 0x0202}, {"half 31 KB", kHalf, 19200, 0x0202},
      {"full 62 KB", kFull, 19200, 0x0105}, {"half 31 KB", kHalf, 19200, 0x0105},
  };

  // "excess/req" is the paced time beyond the wire per exchange; "unpaced/req" the
  // same run without pacing: what the tool and the device's code cost per exchange.
  std::printf("%-11s %6s %-6s %4s %8s %9s %9s %9s %7s %11s %12s\n", "image", "baud", "loader", "ok",
              "requests", "wire B", "bound s", "elapsed s", "ratio", "excess/req", "unpaced/req");
  for (const Scenario& s : scenarios) {
    if (onlyRate && s.rate != onlyRate) continue;
    const Result r = Run(s, true);
    const Result fast = Run(s, false);
    const double bound = static_cast<double>(r.wireBytes) * 10.0 / s.rate;
    const double perRequest = r.requests ? 1e6 / static_cast<double>(r.requests) : 0.0;
    std::printf("%-11s %6u %-6s %4s %8llu %9llu %9.2f %9.2f %7.3f %8.0f us %9.0f us\n", s.image,
                s.rate, s.loader >= 0x0202 ? "newer" : "older", r.ok && fast.ok ? "yes" : "NO",
                static_cast<unsigned long long>(r.requests),
                static_cast<unsigned long long>(r.wireBytes), bound, r.seconds,
                bound > 0 ? r.seconds / bound : 0.0, (r.seconds - bound) * perRequest,
                fast.seconds * perRequest);
    std::fflush(stdout);
  }
  return 0;
}
