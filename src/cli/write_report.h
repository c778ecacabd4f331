#pragma once
// What a firmware write tells a shell user: the device as it was identified,
// and the one JSON object of `write --json`, shared by every command that
// ends in "Conectar e &Gravar".

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "app/connect_flow.h"
#include "boot/device_identity.h"
#include "cli/cli_session.h"
#include "image/firmware_image.h"

namespace bq::cli {

// The window's one-second timer: advances the elapsed counter while it lives.
class ElapsedTicker {
 public:
  explicit ElapsedTicker(Station& st);

 private:
  std::jthread thread_;
};

// --yes / --no: the scripted answer to the older-firmware question.
struct DowngradeAnswer {
  bool yes = false;
  bool no = false;
};

void AddDowngradeAnswerFlags(CLI::App* cmd, DowngradeAnswer& answer);
// Presets the operator's answer when one of the flags was given.
void ApplyDowngradeAnswer(ConsoleOperator& ui, const DowngradeAnswer& answer);

// What a run learnt about the device, from the identity the flow showed.
struct SeenDevice {
  std::optional<DeviceIdentity> identity;
};

// Ctrl+C becomes the cancel command at the next pending-messages step (a
// repeat ends the program); the device's identity is printed the first time
// the identity group shows it, and the last one shown is kept for the report.
void WatchDevice(CliSession& session, SeenDevice& seen);

nlohmann::json HeaderJson(const FirmwareHeader& header);

// Completes report (which holds "file", and "header" once the file loaded)
// with ok, device, failure, elapsed, status and header.
void FinishWriteReport(CliSession& session, nlohmann::json& report, bool ok, const SeenDevice& seen,
                       const WriteOutcome& outcome);
// The same for any station and its console (a bench's).
void FinishWriteReport(const Station& st, const ConsoleOperator& ui, nlohmann::json& report,
                       bool ok, const SeenDevice& seen, const WriteOutcome& outcome);

}  // namespace bq::cli
