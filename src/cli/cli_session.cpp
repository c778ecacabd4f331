#include "cli/cli_session.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>

#include "cli/cli_commands.h"
#include "shell/commands.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/utilities.h"

namespace bq::cli {

namespace {

std::atomic<bool> gInterrupted{false};
// A Ctrl+C not yet turned into the cancel command.
std::atomic<bool> gCancelPending{false};

extern "C" void OnInterrupt(int) {
  gInterrupted.store(true);
  gCancelPending.store(true);
}

}  // namespace

CliSession::CliSession(const SessionOptions& options) : json_(options.json) {
  ui_.SetJsonMode(json_);
  ctx_ = std::make_unique<Context>(ui_, DefaultAppPaths());
  Context& c = *ctx_;

  // As the window starts: data and log folders (a missing one is announced),
  // settings, product names and a fresh usage log.
  FormCreate(c);

  // The port: --port, else BOOTQUARN_PORT, else the one in the settings.
  if (options.port) {
    c.settings.portName = *options.port;
  } else if (const char* env = std::getenv(kPortVariable); env && *env) {
    // The environment names the port of this run only; the settings keep theirs.
    settingsPortName_ = c.settings.portName;
    c.settings.portName = env;
  }
  startupBaudRate_ = c.settings.baudRate;

  // What the window's controls would show after the first activation.
  ui_.SetField(Field::edNomeArquivoKFX, c.settings.firmwareFile);
  ui_.SetField(Field::edNomeArquivoHex2Kfx, c.settings.kfxSourceFile);
  ui_.SetField(Field::edBaudRate, std::to_string(c.settings.baudRate));
  ui_.SetField(Field::edNsHex2Kfx, std::to_string(c.settings.lastSerialGenerated));
  ui_.SetField(Field::edNsWrIni, std::to_string(c.settings.serialFirst));
  ui_.SetField(Field::edNsWrFim, std::to_string(c.settings.serialLast));
}

CliSession::~CliSession() {
  if (!closed_) Close();
}

std::ostream& CliSession::Human() {
  return json_ ? std::cerr : std::cout;
}

void CliSession::EmitJson(const nlohmann::json& object) {
  std::cout << object.dump() << '\n' << std::flush;
}

void CliSession::CancelOnInterrupt() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  // The second Ctrl+C takes the default action: the program ends and the
  // system closes the port with it.
  sa.sa_flags = SA_RESETHAND;
  ::sigaction(SIGINT, &sa, nullptr);
  ui_.SetProcessMessagesHook([this] { PressCancelOnInterrupt(); });
}

void CliSession::PressCancelOnInterrupt() {
  // Each Ctrl+C is one press of "Cancel [ESC]", as the Esc key is in the window:
  // a press during the checks is used up there, so it can never cancel (and so
  // wipe) a device whose programming starts later. The cancel command handles
  // pending messages itself, which runs this again: the guard stops that.
  if (pressingCancel_ || !gCancelPending.exchange(false)) return;
  pressingCancel_ = true;
  botCancelaClick(*ctx_);
  pressingCancel_ = false;
}

bool CliSession::Interrupted() const {
  return gInterrupted.load();
}

int CliSession::Run(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    ui_.ShowErrorBox(e.what());
    return kExitFailure;
  }
}

bool CliSession::Close() {
  closed_ = true;
  Context& c = *ctx_;
  TPar saved = c.settings;
  saved.baudRate = startupBaudRate_;
  if (settingsPortName_) saved.portName = *settingsPortName_;
  const std::string file = ui_.FieldText(Field::edNomeArquivoKFX);
  if (!file.empty()) saved.firmwareFile = file;
  return WriteSettings(saved, c.paths.settingsFile, ui_);
}

void AddSessionOptions(CLI::App* cmd, SessionOptions& options, bool withPort) {
  cmd->add_flag("--json", options.json, "Print one JSON object on stdout at the end");
  if (withPort) {
    cmd->add_option_function<std::string>(
        "--port", [&options](const std::string& p) { options.port = p; },
        "Serial port to use, e.g. /dev/ttyUSB0 (kept in the settings); without it, "
        "$BOOTQUARN_PORT, then the port in the settings");
  }
}

}  // namespace bq::cli
