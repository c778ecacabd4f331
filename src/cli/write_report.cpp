#include "cli/write_report.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <ostream>
#include <stop_token>
#include <string>

#include "app/commands.h"
#include "boot/boot_commands.h"
#include "cli/i18n.h"
#include "cli/stop_signals.h"
#include "image/catalogue.h"
#include "shell/utilities.h"

namespace bq::cli {
namespace {

template <typename T>
nlohmann::json OrNull(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json DeviceJson(const Station& st, const SeenDevice& seen) {
  const uint32_t loader = st.identity.bootLoaderVersion;
  nlohmann::json device = {
      {"port", st.portName},
      {"baudRate", OrNull(st.foundBaudRate)},
      {"serialNumber", nullptr},
      {"firmwareVersion", nullptr},
      {"firmwareRevision", nullptr},
      {"productCode", nullptr},
      {"productName", nullptr},
      {"bootLoaderVersion", loader},
      {"bootLoaderVersionText", FormatBootVersion(loader)},
      {"hardwareVersion", st.identity.hardwareVersion},
  };
  if (const auto& id = seen.identity) {
    device["serialNumber"] = id->serialNumber;
    device["firmwareVersion"] = id->firmwareVersion;
    device["firmwareRevision"] = id->firmwareRevision;
    device["productCode"] = id->productCode;
    device["productName"] = ProductDisplayName(id->productCode);
  }
  return device;
}

nlohmann::json PhasesJson(const std::vector<ConsoleOperator::Phase>& phases) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& p : phases) {
    list.push_back({{"name", p.name},
                    {"start", p.first},
                    {"end", p.last},
                    {"bytes", p.bytes},
                    {"seconds", p.seconds}});
  }
  return list;
}

nlohmann::json FailureJson(const WriteOutcome& outcome) {
  if (!outcome.programming || outcome.programming->ok()) return nullptr;
  const ProgrammingResult& r = *outcome.programming;
  static const char* const kPhases[] = {"erase",       "writeFlash",   "verifyFlash",
                                        "writeEeprom", "verifyEeprom", "finish"};
  return {{"phase", kPhases[static_cast<int>(r.phase)]},
          {"address", r.address},
          {"message", r.message}};
}

void PrintDevice(std::ostream& out, const Station& st, const DeviceIdentity& id) {
  const std::string rate = st.foundBaudRate ? std::to_string(*st.foundBaudRate) : std::string("?");
  out << Fill(_("Device on %1 at %2 baud"), {st.portName, rate}) << '\n'
      << Fill(_("  NS %1, firmware %2.%3, product %4 (%5), boot loader %6, hardware %7 (%8)"),
              {std::to_string(id.serialNumber), std::to_string(unsigned{id.firmwareVersion}),
               ZeroPadded(2, id.firmwareRevision), std::to_string(unsigned{id.productCode}),
               ProductDisplayName(id.productCode), FormatBootVersion(st.identity.bootLoaderVersion),
               std::to_string(st.identity.hardwareVersion),
               HardwareName(st.identity.hardwareVersion)})
      << '\n'
      << std::flush;
}

}  // namespace

ElapsedTicker::ElapsedTicker(Station& st)
    : thread_([&st](std::stop_token stop) {
        // Ctrl+C and the other stop signals must land on the command's own
        // thread, where they interrupt a pending question; this one never takes them.
        BlockSignalsOnThisThread(kStopSignals);
        std::mutex m;
        std::condition_variable_any cv;
        std::unique_lock lock(m);
        while (!cv.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; })) {
          if (stop.stop_requested()) break;
          CronometroTimer(st);
        }
      }) {}

nlohmann::json HeaderJson(const FirmwareHeader& h) {
  return {{"serialNumber", h.serialNumber},
          {"version", h.version},
          {"revision", h.revision},
          {"productCode", h.productCode}};
}

void WatchDevice(CliSession& session, SeenDevice& seen) {
  Station& st = session.station();
  session.CancelOnInterrupt();
  st.onIdentityShown = [&session, &st, &seen](const DeviceIdentity& id) {
    if (!seen.identity) PrintDevice(session.Human(), st, id);
    seen.identity = id;
  };
}

void FinishWriteReport(CliSession& session, nlohmann::json& report, bool ok, const SeenDevice& seen,
                       const WriteOutcome& outcome) {
  FinishWriteReport(session.station(), session.ui(), report, ok, seen, outcome);
}

void FinishWriteReport(const Station& st, const ConsoleOperator& ui, nlohmann::json& report,
                       bool ok, const SeenDevice& seen, const WriteOutcome& outcome) {
  report["ok"] = ok;
  report["device"] = DeviceJson(st, seen);
  report["failure"] = FailureJson(outcome);
  // The time the engine ran, on the station's clock; the counter's text as the
  // window shows it ("--:--:--" once a run did not succeed).
  const bool ran = outcome.programming.has_value();
  report["elapsed"] = !ran ? "" : ok ? FormatElapsed(outcome.elapsedHundredths) : "--:--:--";
  report["elapsedSeconds"] = static_cast<uint32_t>(std::lround(outcome.seconds));
  report["phases"] = PhasesJson(ui.Phases());
  report["status"] = ui.LastStatus();
  if (!report.contains("header")) report["header"] = HeaderJson(st.flowHeader);
}

void AddDowngradeAnswerFlags(CLI::App* cmd, DowngradeAnswer& answer) {
  auto* yes =
      cmd->add_flag("--yes", answer.yes, _("Answer Yes when asked to install an older firmware"));
  auto* no = cmd->add_flag("--no", answer.no,
                           _("Answer No to that question (the default without a terminal)"));
  yes->excludes(no);
}

void ApplyDowngradeAnswer(ConsoleOperator& ui, const DowngradeAnswer& answer) {
  if (answer.yes) ui.SetPresetAnswer(Answer::Yes);
  if (answer.no) ui.SetPresetAnswer(Answer::No);
}

}  // namespace bq::cli
