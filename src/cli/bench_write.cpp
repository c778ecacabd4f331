#include "cli/bench_write.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iomanip>
#include <iostream>
#include <locale>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/commands.h"
#include "app/connect_flow.h"
#include "app/firmware_commands.h"
#include "cli/bench_console.h"
#include "cli/cli_commands.h"
#include "cli/console.h"
#include "cli/header_view.h"
#include "cli/i18n.h"
#include "cli/stop_signals.h"
#include "cli/write_summary.h"
#include "serial/com_port.h"
#include "shell/utilities.h"

namespace bq::cli {
namespace {

using records::RecordResult;
using Clock = std::chrono::steady_clock;

// How often the terminal's lines are redrawn.
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

struct BenchStation {
  BenchStation(Context& ctx, const std::string& port, const DowngradeAnswer& answer)
      : ui(kept, none, port), st(ctx, ui, port, ctx.settings.baudRate) {
    st.ownFirmwareFile = ctx.settings.firmwareFile;
    ApplyDowngradeAnswer(ui, answer);
    const bool scripted = answer.yes || answer.no;
    ui.SetAsking(!scripted && IsTerminal(ConsoleStream::Input), &serial);
    st.onIdentityShown = [this](const DeviceIdentity& id) {
      seen.identity = id;
      serial = id.serialNumber;
    };
  }

  std::ostringstream kept;
  std::istringstream none;
  BenchConsole ui;
  Station st;
  SeenDevice seen;
  std::optional<uint16_t> serial;  // the device's, for its question
  WriteOutcome outcome;
  std::atomic<bool> finished{false};
  bool reported = false;
};

void RunStation(BenchStation& b, std::condition_variable& ended) {
  // Ctrl+C lands on the main thread, which cancels every station.
  BlockSignalsOnThisThread(kStopSignals);
  {
    ElapsedTicker ticker(b.st);
    try {
      b.outcome = ConnectAndProgram(b.st, true);
    } catch (const PortError& e) {
      b.ui.ShowErrorBox(e.what());
    } catch (const std::exception& e) {
      b.ui.ShowErrorBox(e.what());
    }
  }
  b.finished = true;
  ended.notify_all();
}

StationView ViewOf(const BenchStation& b) {
  std::optional<RecordResult> ended;
  if (b.finished) ended = b.st.lastResult.value_or(RecordResult::kFailed);
  return bq::ViewOf(b.st.tap.Live(), ended);
}

// "port  state  percent  rate", as the terminal shows a station.
std::string LiveLine(const BenchStation& b) {
  const StationView view = ViewOf(b);
  std::ostringstream line;
  line << b.st.portName << "  " << BenchStateText(view.state);
  if (view.state == StationState::Connecting) return line.str();
  line << "  " << view.percent << '%';
  if (view.bytesPerSecond) line << "  " << RateText(*view.bytesPerSecond);
  return line.str();
}

std::string FormatSeconds(double seconds) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(1) << seconds << " s";
  return text.str();
}

// The line a station leaves when it ends: its state, the device and the
// versions before and after, its time, and what went wrong.
std::string SummaryLine(const BenchStation& b) {
  const RecordResult result = b.st.lastResult.value_or(RecordResult::kFailed);
  std::ostringstream line;
  line << b.st.portName << ": " << BenchStateText(ViewOf(b).state);
  if (const auto& id = b.seen.identity) {
    line << ", NS " << id->serialNumber << ", " << unsigned{id->firmwareVersion} << '.'
         << ZeroPadded(2, id->firmwareRevision);
    if (result == RecordResult::kOk) {
      line << " -> " << unsigned{b.st.flowHeader.version} << '.'
           << ZeroPadded(2, b.st.flowHeader.revision);
    }
  }
  if (b.outcome.programming) line << ", " << FormatSeconds(b.outcome.seconds);
  if (result != RecordResult::kOk && !b.st.lastFailure.empty())
    line << ": " << ConsoleText(b.st.lastFailure);
  return line.str();
}

class BenchScreen {
 public:
  BenchScreen(std::vector<std::unique_ptr<BenchStation>>& stations, std::ostream& human)
      : stations_(stations), human_(human), terminal_(IsTerminal(ConsoleStream::Error)) {}

  // Once per redraw interval, and as a station ends.
  void Show() {
    std::lock_guard screen(BenchScreenMutex());
    if (terminal_) return Redraw();
    for (auto& b : stations_) {
      if (!b->finished || b->reported) continue;
      b->reported = true;
      human_ << SummaryLine(*b) << '\n' << std::flush;
    }
  }

  // The last lines: each station's summary.
  void Finish() {
    std::lock_guard screen(BenchScreenMutex());
    if (!terminal_) return;
    Redraw();
    for (auto& b : stations_) human_ << SummaryLine(*b) << '\n';
    human_ << std::flush;
  }

 private:
  void Redraw() {
    if (TakeBenchScreenMoved()) drawn_ = 0;
    if (drawn_ > 0) std::cerr << "\033[" << drawn_ << 'A';
    for (auto& b : stations_) std::cerr << "\r\033[K" << LiveLine(*b) << '\n';
    std::cerr << std::flush;
    drawn_ = stations_.size();
  }

  std::vector<std::unique_ptr<BenchStation>>& stations_;
  std::ostream& human_;
  bool terminal_;
  size_t drawn_ = 0;
};

bool AllFinished(const std::vector<std::unique_ptr<BenchStation>>& stations) {
  for (const auto& b : stations) {
    if (!b->finished) return false;
  }
  return true;
}

nlohmann::json StationReport(BenchStation& b) {
  nlohmann::json report = {{"port", b.st.portName}};
  report["header"] = HeaderJson(b.st.flowHeader);
  const bool ok = b.outcome.ok;
  FinishWriteReport(b.st, b.ui, report, ok, b.seen, b.outcome);
  if (b.st.lastResult) report["result"] = records::ResultText(*b.st.lastResult);
  report["warnings"] = b.ui.Warnings();
  return report;
}

}  // namespace

void AddPortsOption(CLI::App* cmd, std::vector<std::string>& ports, const std::string& help) {
  cmd->add_option_function<std::string>(
         "--ports",
         [&ports](const std::string& list) {
           std::string error;
           ports = SplitPortList(list, &error);
           if (ports.empty()) throw CLI::ValidationError("--ports", error);
         },
         help)
      ->excludes("--port");
}

SessionOptions BenchSessionOptions(SessionOptions options) {
  options.choosesPort = false;
  return options;
}

std::vector<std::string> SplitPortList(const std::string& list, std::string* error) {
  std::vector<std::string> ports;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    const std::string port = TrimBlanks(list.substr(start, comma - start));
    if (port.empty()) {
      *error = _("a port name in the list is empty");
      return {};
    }
    for (const auto& p : ports) {
      if (p == port) {
        *error = Fill(_("port %1 is named twice"), {port});
        return {};
      }
    }
    ports.push_back(port);
    if (comma == std::string::npos) return ports;
    start = comma + 1;
  }
}

int RunBenchWrite(CliSession& session, const BenchWriteOptions& options, nlohmann::json& report) {
  Context& ctx = session.ctx();
  session.CancelOnInterrupt();
  if (!ChooseFirmwareFile(ctx, options.file, session.station().flowHeader)) return kExitFailure;
  PrintHeader(session.Human(), ctx.settings.firmwareFile, session.station().flowHeader);
  report["file"] = ctx.settings.firmwareFile;
  report["header"] = HeaderJson(session.station().flowHeader);

  std::vector<std::unique_ptr<BenchStation>> stations;
  for (const auto& port : options.ports)
    stations.push_back(std::make_unique<BenchStation>(ctx, port, options.answer));

  std::mutex m;
  std::condition_variable ended;
  BenchScreen screen(stations, session.Human());
  std::vector<std::jthread> threads;
  for (auto& b : stations) threads.emplace_back([&b, &ended] { RunStation(*b, ended); });

  bool stopped = false;
  while (!AllFinished(stations)) {
    if (session.Interrupted() && !stopped) {
      stopped = true;
      for (auto& b : stations) RequestStop(b->st);
    }
    screen.Show();
    std::unique_lock lock(m);
    ended.wait_for(lock, kRedrawInterval);
  }
  threads.clear();
  screen.Show();
  screen.Finish();

  bool allOk = true;
  report["stations"] = nlohmann::json::array();
  for (auto& b : stations) {
    allOk = allOk && b->outcome.ok;
    report["stations"].push_back(StationReport(*b));
  }
  report["ok"] = allOk;
  if (allOk) return kExitOk;
  return session.Interrupted() ? kExitCancelled : kExitFailure;
}

}  // namespace bq::cli
