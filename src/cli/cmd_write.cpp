// bootquarn-cli write FILE [--port P] [--yes|--no] [--json]: chooses FILE as
// "&Procurar" does and presses "Conectar e &Gravar".
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <stop_token>
#include <string>
#include <thread>

#include "app/commands.h"
#include "app/connect_flow.h"
#include "app/firmware_commands.h"
#include "boot/boot_commands.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/header_view.h"
#include "cli/port_hint.h"
#include "image/catalogue.h"
#include "serial/port_error.h"
#include "shell/utilities.h"

namespace bq::cli {
namespace {

struct WriteOptions {
  SessionOptions session;
  std::string file;
  bool yes = false;
  bool no = false;
};

// The window's one-second timer: advances the elapsed counter while the command runs.
class ElapsedTicker {
 public:
  explicit ElapsedTicker(Context& ctx)
      : thread_([&ctx](std::stop_token stop) {
          // Ctrl+C and the other stop signals must land on the command's own
          // thread, where they interrupt a pending question; this one never takes them.
          sigset_t interrupt;
          sigemptyset(&interrupt);
          for (int signal : kStopSignals) sigaddset(&interrupt, signal);
          pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
          std::mutex m;
          std::condition_variable_any cv;
          std::unique_lock lock(m);
          while (!cv.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; })) {
            if (stop.stop_requested()) break;
            CronometroTimer(ctx);
          }
        }) {}

 private:
  std::jthread thread_;
};

// What a run learnt about the device, from the identity the flow showed.
struct SeenDevice {
  std::optional<DeviceIdentity> identity;
};

template <typename T>
nlohmann::json OrNull(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json DeviceJson(const Context& ctx, const SeenDevice& seen) {
  const uint32_t loader = ctx.identity.bootLoaderVersion;
  nlohmann::json device = {
      {"port", ctx.settings.portName},
      {"baudRate", OrNull(ctx.foundBaudRate)},
      {"serialNumber", nullptr},
      {"firmwareVersion", nullptr},
      {"firmwareRevision", nullptr},
      {"productCode", nullptr},
      {"productName", nullptr},
      {"bootLoaderVersion", loader},
      {"bootLoaderVersionText", FormatBootVersion(loader)},
      {"hardwareVersion", ctx.identity.hardwareVersion},
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

nlohmann::json FailureJson(const WriteOutcome& outcome) {
  if (!outcome.programming || outcome.programming->ok()) return nullptr;
  const ProgrammingResult& r = *outcome.programming;
  static const char* const kPhases[] = {"erase",       "writeFlash",   "verifyFlash",
                                        "writeEeprom", "verifyEeprom", "finish"};
  return {{"phase", kPhases[static_cast<int>(r.phase)]},
          {"address", r.address},
          {"message", r.message}};
}

nlohmann::json HeaderJson(const FirmwareHeader& h) {
  return {{"serialNumber", h.serialNumber},
          {"version", h.version},
          {"revision", h.revision},
          {"productCode", h.productCode}};
}

void PrintDevice(std::ostream& out, const Context& ctx, const DeviceIdentity& id) {
  out << "Device on " << ctx.settings.portName << " at "
      << (ctx.foundBaudRate ? std::to_string(*ctx.foundBaudRate) : std::string("?"))
      << " baud\n  NS " << id.serialNumber << ", firmware " << unsigned{id.firmwareVersion} << "."
      << ZeroPadded(2, id.firmwareRevision) << ", product " << unsigned{id.productCode} << " ("
      << ProductDisplayName(id.productCode) << "), boot loader "
      << FormatBootVersion(ctx.identity.bootLoaderVersion) << ", hardware "
      << ctx.identity.hardwareVersion << " (" << HardwareName(ctx.identity.hardwareVersion) << ")\n"
      << std::flush;
}

// Ctrl+C becomes the cancel command at the next pending-messages step (a
// repeat ends the program); the device's identity is printed the first time
// the identity group shows it, and the last one shown is kept for the report.
void WatchDevice(CliSession& session, SeenDevice& seen) {
  Context& ctx = session.ctx();
  session.CancelOnInterrupt();
  ctx.onIdentityShown = [&session, &ctx, &seen](const DeviceIdentity& id) {
    if (!seen.identity) PrintDevice(session.Human(), ctx, id);
    seen.identity = id;
  };
}

int RunWrite(CliSession& session, const WriteOptions& options, SeenDevice& seen,
             WriteOutcome& outcome, nlohmann::json& report) {
  Context& ctx = session.ctx();
  ConsoleOperator& ui = session.ui();
  if (options.yes) ui.SetPresetAnswer(Answer::Yes);
  if (options.no) ui.SetPresetAnswer(Answer::No);
  WatchDevice(session, seen);

  // "&Procurar": a file that does not load is never offered to the device.
  if (!ChooseFirmwareFile(ctx, options.file, ctx.flowHeader)) return kExitFailure;
  PrintHeader(session.Human(), ctx.settings.firmwareFile, ctx.flowHeader);
  report["file"] = ctx.settings.firmwareFile;

  {
    ElapsedTicker ticker(ctx);
    try {
      outcome = ConnectAndProgram(ctx, true);
    } catch (const PortError& e) {
      ui.ShowErrorBox(e.what());
      const std::string hint = PortFailureHint(ctx.ComPortQuarn, ctx.settings.portName);
      if (!hint.empty()) session.Human() << hint << '\n' << std::flush;
    }
  }
  report["header"] = HeaderJson(ctx.flowHeader);
  if (outcome.ok) return kExitOk;
  return session.Interrupted() ? kExitCancelled : kExitFailure;
}

}  // namespace

void AddWriteCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<WriteOptions>();
  auto* cmd = app.add_subcommand(
      "write", "Write a firmware file into the device on the port (\"Conectar e Gravar\")");
  cmd->add_option("FILE", options->file, "Firmware file (.kfx or .hex)")->required();
  AddSessionOptions(cmd, options->session, true);
  auto* yes = cmd->add_flag("--yes", options->yes,
                            "Answer Yes when asked to install an older "
                            "firmware");
  auto* no = cmd->add_flag("--no", options->no,
                           "Answer No to that question (the default "
                           "without a terminal)");
  yes->excludes(no);

  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    nlohmann::json report = {{"ok", false}, {"file", options->file}};
    SeenDevice seen;
    WriteOutcome outcome;
    const int code =
        session.Run([&] { return RunWrite(session, *options, seen, outcome, report); });
    session.ctx().onIdentityShown = nullptr;
    if (session.json()) {
      report["ok"] = code == kExitOk;
      report["device"] = DeviceJson(session.ctx(), seen);
      report["failure"] = FailureJson(outcome);
      report["elapsed"] = session.ui().FieldText(Field::edCrono);
      report["status"] = session.ui().LastStatus();
      if (!report.contains("header")) report["header"] = HeaderJson(session.ctx().flowHeader);
      session.EmitJson(report);
    }
    *exitCode = code;
  });
}

}  // namespace bq::cli
