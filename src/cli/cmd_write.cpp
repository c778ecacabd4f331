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

#include "boot/boot_commands.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/port_hint.h"
#include "image/catalogue.h"
#include "image/firmware_loader.h"
#include "programming/connect_flow.h"
#include "serial/port_error.h"
#include "shell/commands.h"
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
          // Ctrl+C must land on the command's own thread, where it interrupts a
          // pending question; this thread never takes it.
          sigset_t interrupt;
          sigemptyset(&interrupt);
          sigaddset(&interrupt, SIGINT);
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

std::optional<int> FieldNumber(const ConsoleOperator& ui, Field field) {
  const std::string text = ui.FieldText(field);
  if (text.empty() || text == "x") return std::nullopt;
  return ParseIntOrZero(text);
}

nlohmann::json OrNull(std::optional<int> value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

// What the identity group shows once the device answered.
nlohmann::json DeviceJson(Context& ctx, const ConsoleOperator& ui) {
  const auto product = FieldNumber(ui, Field::edTpProduto);
  const uint32_t loader = ctx.identity.bootLoaderVersion;
  return {
      {"port", ctx.settings.portName},
      {"baudRate", OrNull(FieldNumber(ui, Field::edBaudRateAchado))},
      {"serialNumber", OrNull(FieldNumber(ui, Field::edNSLido))},
      {"firmwareVersion", OrNull(FieldNumber(ui, Field::edVerLido))},
      {"firmwareRevision", OrNull(FieldNumber(ui, Field::edRevLido))},
      {"productCode", OrNull(product)},
      {"productName", product ? nlohmann::json(ProductDisplayName(static_cast<uint32_t>(*product)))
                              : nlohmann::json(nullptr)},
      {"bootLoaderVersion", loader},
      {"bootLoaderVersionText", FormatBootVersion(loader)},
      {"hardwareVersion", ctx.identity.hardwareVersion},
  };
}

nlohmann::json HeaderJson(const FirmwareHeader& h) {
  return {{"serialNumber", h.serialNumber},
          {"version", h.version},
          {"revision", h.revision},
          {"productCode", h.productCode}};
}

void PrintHeader(std::ostream& out, const std::string& file, const FirmwareHeader& h) {
  out << "File: " << file << "\n  NS " << h.serialNumber << ", version " << int{h.version} << "."
      << ZeroPadded(2, h.revision) << ", product " << int{h.productCode} << " ("
      << ProductDisplayName(h.productCode) << ")\n"
      << std::flush;
}

void PrintDevice(std::ostream& out, Context& ctx, const ConsoleOperator& ui) {
  const auto product = FieldNumber(ui, Field::edTpProduto).value_or(0);
  out << "Device on " << ctx.settings.portName << " at " << ui.FieldText(Field::edBaudRateAchado)
      << " baud\n  NS " << ui.FieldText(Field::edNSLido) << ", firmware "
      << ui.FieldText(Field::edVerLido) << "."
      << ZeroPadded(2, FieldNumber(ui, Field::edRevLido).value_or(0)) << ", product " << product
      << " (" << ProductDisplayName(static_cast<uint32_t>(product)) << "), boot loader "
      << FormatBootVersion(ctx.identity.bootLoaderVersion) << ", hardware "
      << ctx.identity.hardwareVersion << " (" << HardwareName(ctx.identity.hardwareVersion) << ")\n"
      << std::flush;
}

// Ctrl+C becomes the cancel command at the next pending-messages step (a
// repeat ends the program); the device's identity is printed as soon as the
// identity group shows it.
void WatchPendingMessages(CliSession& session) {
  Context& ctx = session.ctx();
  ConsoleOperator& ui = session.ui();
  auto identityShown = std::make_shared<bool>(false);
  session.CancelOnInterrupt();
  ui.SetProcessMessagesHook([&session, &ctx, &ui, identityShown] {
    session.PressCancelOnInterrupt();
    if (!*identityShown && FieldNumber(ui, Field::edNSLido)) {
      *identityShown = true;
      PrintDevice(session.Human(), ctx, ui);
    }
  });
}

int RunWrite(CliSession& session, const WriteOptions& options, nlohmann::json& report) {
  Context& ctx = session.ctx();
  ConsoleOperator& ui = session.ui();
  if (options.yes) ui.SetPresetAnswer(Answer::Yes);
  if (options.no) ui.SetPresetAnswer(Answer::No);
  WatchPendingMessages(session);

  // "&Procurar": a file that does not load is never offered to the device.
  if (!ChooseFirmwareFile(ctx, options.file, ctx.flowHeader)) return kExitFailure;
  PrintHeader(session.Human(), ctx.settings.firmwareFile, ctx.flowHeader);
  report["file"] = ctx.settings.firmwareFile;

  bool ok = false;
  {
    ElapsedTicker ticker(ctx);
    try {
      ok = ConnectAndProgram(ctx, true);
    } catch (const PortError& e) {
      ui.ShowErrorBox(e.what());
      const std::string hint = PortFailureHint(ctx.ComPortQuarn, ctx.settings.portName);
      if (!hint.empty()) session.Human() << hint << '\n' << std::flush;
    }
  }
  report["header"] = HeaderJson(ctx.flowHeader);
  if (ok) return kExitOk;
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
    const int code = session.Run([&] { return RunWrite(session, *options, report); });
    if (session.json()) {
      report["ok"] = code == kExitOk;
      report["device"] = DeviceJson(session.ctx(), session.ui());
      report["elapsed"] = session.ui().FieldText(Field::edCrono);
      report["status"] = session.ui().LastStatus();
      if (!report.contains("header")) report["header"] = HeaderJson(session.ctx().flowHeader);
      session.EmitJson(report);
    }
    *exitCode = code;
  });
}

}  // namespace bq::cli
