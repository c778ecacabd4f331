#include "cli/bench_loop.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/commands.h"
#include "app/production_commands.h"
#include "app/station.h"
#include "cli/bench_console.h"
#include "cli/cli_commands.h"
#include "cli/console.h"
#include "cli/i18n.h"
#include "cli/stop_signals.h"
#include "cli/write_report.h"
#include "serial/port_error.h"

namespace bq::cli {
namespace {

// How often the terminal's lines are redrawn.
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

struct LoopStation {
  LoopStation(Context& ctx, const std::string& port, const std::string& file)
      : ui(kept, none, port), st(ctx, ui, port, ctx.settings.baudRate) {
    st.ownFirmwareFile = file;
    ui.SetAsking(IsTerminal(ConsoleStream::Input), &serial);
    st.onIdentityShown = [this](const DeviceIdentity& id) { serial = id.serialNumber; };
  }

  std::ostringstream kept;
  std::istringstream none;
  BenchConsole ui;
  Station st;
  std::optional<uint16_t> serial;  // the device's, for its question
  LoopOutcome outcome;
  std::atomic<int> written{0}, notWritten{0};
  // What ended the loop when it did not end on its own paths.
  std::optional<std::string> error;
  std::atomic<bool> finished{false};
  bool reported = false;
  int status = kExitFailure;
};

// Lines the stations tell as they go (a device, the port's trouble), printed
// by the main thread so that they never cut into the redrawn lines.
class LoopScreen {
 public:
  LoopScreen(std::vector<std::unique_ptr<LoopStation>>& stations, std::ostream& human)
      : stations_(stations), human_(human), terminal_(IsTerminal(ConsoleStream::Error)) {}

  void Tell(std::string line) {
    std::lock_guard lock(mutex_);
    told_.push_back(std::move(line));
  }

  // Once per redraw interval, and as a station ends.
  void Show() {
    std::lock_guard screen(BenchScreenMutex());
    std::vector<std::string> told;
    {
      std::lock_guard lock(mutex_);
      told.swap(told_);
    }
    if (terminal_) {
      if (TakeBenchScreenMoved()) drawn_ = 0;
      if (drawn_ > 0) std::cerr << "\033[" << drawn_ << 'A';
      // Told lines go above the station lines, which move down under them.
      for (const auto& line : told) std::cerr << "\r\033[K" << line << '\n';
      for (auto& l : stations_) std::cerr << "\r\033[K" << LiveLine(*l) << '\n';
      std::cerr << std::flush;
      drawn_ = stations_.size();
      return;
    }
    for (const auto& line : told) human_ << line << '\n';
    for (auto& l : stations_) {
      if (!l->finished || l->reported) continue;
      l->reported = true;
      human_ << SummaryLine(*l) << '\n';
    }
    human_ << std::flush;
  }

  // The last lines: each port's summary.
  void Finish() {
    Show();
    if (!terminal_) return;
    std::lock_guard screen(BenchScreenMutex());
    for (auto& l : stations_) human_ << SummaryLine(*l) << '\n';
    human_ << std::flush;
  }

 private:
  static std::string Counts(const LoopStation& l) {
    return Fill(_("turns: %1, written: %2, not written: %3"),
                {std::to_string(l.st.loopTurns.load()), std::to_string(l.written.load()),
                 std::to_string(l.notWritten.load())});
  }

  // "port  turns, written, not written  state percent" while the loop runs.
  static std::string LiveLine(const LoopStation& l) {
    std::ostringstream line;
    line << l.st.portName << "  " << Counts(l);
    if (l.finished) return line.str() + "  " + _("ended");
    // The write under way, when there is one.
    const LiveProgress live = l.st.tap.Live();
    if (live.phase) {
      const StationView view = ViewOf(live, std::nullopt);
      line << "  " << BenchStateText(view.state) << ' ' << view.percent << '%';
    }
    return line.str();
  }

  // "port: turns: 12, written: 2, not written: 0[: why it ended]".
  static std::string SummaryLine(const LoopStation& l) {
    std::string line = l.st.portName + ": " + Counts(l);
    if (l.error) {
      line += ": " + ConsoleText(*l.error);
    } else if (l.outcome.fileError) {
      line += ": " + ConsoleText(*l.outcome.fileError);
    } else if (!l.outcome.portOpened && l.outcome.portError) {
      line += ": " + ConsoleText(*l.outcome.portError);
    }
    return line;
  }

  std::vector<std::unique_ptr<LoopStation>>& stations_;
  std::ostream& human_;
  bool terminal_;
  size_t drawn_ = 0;
  std::mutex mutex_;
  std::vector<std::string> told_;  // under mutex_
};

// As a single loop's exit status.
int LoopStatus(const LoopOutcome& outcome, bool interrupted) {
  if (outcome.ok()) return kExitOk;
  if (!outcome.portOpened && outcome.devices.empty()) return kExitFailure;
  return interrupted ? kExitCancelled : kExitFailure;
}

void RunStation(LoopStation& l, const std::string& file, int max, LoopScreen& screen,
                std::condition_variable& ended) {
  // Ctrl+C lands on the main thread, which cancels every station.
  BlockSignalsOnThisThread(kStopSignals);
  LoopLimits limits;
  limits.maxDevices = max;
  const std::string& port = l.st.portName;
  limits.onDevice = [&l, &screen, &port](const LoopDevice& d) {
    ++(d.ok ? l.written : l.notWritten);
    screen.Tell(port + ": " +
                Fill(d.ok ? _("NS %1: written %2") : _("NS %1: NOT written %2"),
                     {std::to_string(d.serialNumber), d.file}));
  };
  limits.onPortError = [&screen, &port](const std::string& error) {
    screen.Tell(port + ": " + ConsoleText(error));
  };
  screen.Tell(port + ": " + Fill(_("watching for accessories, files %1"), {LoopFilePattern(file)}));
  {
    ElapsedTicker ticker(l.st);
    try {
      l.outcome = RunProductionLoop(l.st, file, limits);
    } catch (const std::exception& e) {
      // This port's loop ends as a single one would; the others go on.
      l.error = e.what();
      screen.Tell(port + ": " + ConsoleText(e.what()));
    }
  }
  l.finished = true;
  ended.notify_all();
}

nlohmann::json StationReport(const LoopStation& l) {
  nlohmann::json devices = nlohmann::json::array();
  for (const auto& d : l.outcome.devices) {
    devices.push_back({{"serialNumber", d.serialNumber}, {"file", d.file}, {"ok", d.ok}});
  }
  nlohmann::json out{{"port", l.st.portName},
                     {"ok", l.status == kExitOk},
                     {"status", l.status},
                     {"turns", l.outcome.turns},
                     {"devices", devices}};
  if (l.outcome.portError) out["portError"] = *l.outcome.portError;
  if (l.outcome.fileError) out["fileError"] = *l.outcome.fileError;
  if (l.error) out["error"] = *l.error;
  out["warnings"] = l.ui.Warnings();
  return out;
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

}  // namespace

int RunBenchLoop(CliSession& session, const BenchLoopOptions& options, nlohmann::json& report) {
  const std::string file = Absolute(options.file);
  report["file"] = file;
  report["stations"] = nlohmann::json::array();
  if (std::filesystem::path(options.file).filename().string().find("_NS") == std::string::npos) {
    session.ui().ShowErrorBox("Arquivo sem \"_NS\" no nome [" + options.file + "]");
    return kExitUsage;
  }
  Context& ctx = session.ctx();
  session.CancelOnInterrupt();

  std::vector<std::unique_ptr<LoopStation>> stations;
  for (const auto& port : options.ports)
    stations.push_back(std::make_unique<LoopStation>(ctx, port, file));

  std::mutex m;
  std::condition_variable ended;
  LoopScreen screen(stations, session.Human());
  std::vector<std::jthread> threads;
  for (auto& l : stations) {
    threads.emplace_back([&l, &file, &options, &screen, &ended] {
      RunStation(*l, file, options.max, screen, ended);
    });
  }

  const auto allFinished = [&stations] {
    for (const auto& l : stations) {
      if (!l->finished) return false;
    }
    return true;
  };
  bool stopped = false;
  while (!allFinished()) {
    if (session.Interrupted() && !stopped) {
      // The write under way stops at its next block; each loop at its turn's end.
      stopped = true;
      for (auto& l : stations) {
        RequestStop(l->st);
        botCancelLoopAtualizarClick(l->st);
      }
    }
    screen.Show();
    std::unique_lock lock(m);
    ended.wait_for(lock, kRedrawInterval);
  }
  threads.clear();
  screen.Finish();

  bool anyFailed = false;
  bool allOk = true;
  for (auto& l : stations) {
    l->status = l->error ? kExitFailure : LoopStatus(l->outcome, session.Interrupted());
    anyFailed = anyFailed || l->status == kExitFailure;
    allOk = allOk && l->status == kExitOk;
    report["stations"].push_back(StationReport(*l));
  }
  report["ok"] = allOk;
  if (allOk) return kExitOk;
  return anyFailed ? kExitFailure : kExitCancelled;
}

}  // namespace bq::cli
