// bootquarn-sim: a device's boot loader behind a pseudo-terminal, optionally
// behind an accessory's application (--personality). Prints the slave's path
// on the first line, runs until SIGINT or SIGTERM, and re-enters boot mode on
// SIGUSR1 (the operator pressing the boot button).
//
// --count N plays N such devices in one process, one thread each: device i has
// the serial number --serial + i, its own link --link PREFIX followed by i, and
// the faults given to every device plus those given to it alone ("i:FAULT").
// The N slave paths are the first N lines, in order; SIGUSR1 presses the boot
// button of every device.
//
// A board swap on a production line is a second bootquarn-sim started with
// the same --link PATH: it takes the link over, so the tool's next open of the
// port reaches the new board, and the first one can be stopped at leisure (it
// leaves a link it no longer owns alone).

#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "virtual_device.h"

namespace {

using bq::sim::Personality;
using bq::sim::RequestKind;
using bq::sim::SimOptions;

const std::map<std::string, Personality> kPersonalities = {
    {"boot", Personality::kBoot},
    {"zircon-box", Personality::kZirconBox},
    {"sensor-zircon", Personality::kSensorZircon},
    {"delmo", Personality::kDelmo},
    {"arvex", Personality::kArvex},
};

std::string PersonalityName(Personality personality) {
  for (const auto& [name, value] : kPersonalities) {
    if (value == personality) return name;
  }
  return "?";
}

std::string VersionText(uint16_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u", version >> 8, version & 0xFFu);
  return text;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char cell[4];
  for (uint8_t b : bytes) {
    std::snprintf(cell, sizeof cell, "%02X ", b);
    text += cell;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

// A text reply as C would write it: printable bytes as they are, others escaped.
std::string Quoted(const std::vector<uint8_t>& bytes) {
  std::string text = "\"";
  char cell[8];
  for (uint8_t b : bytes) {
    if (b == '\r' || b == '\n') {
      text += b == '\r' ? "\\r" : "\\n";
    } else if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
      text += static_cast<char>(b);
    } else {
      std::snprintf(cell, sizeof cell, "\\x%02X", b);
      text += cell;
    }
  }
  return text + "\"";
}

// One-byte numbers would show their default as a character: they give it as text.
void AddOptions(CLI::App& app, SimOptions& options, std::vector<std::string>& faults, bool& blank,
                bool& shortReply) {
  app.add_option("--personality", options.personality,
                 "who answers before the boot loader: boot (the boot loader alone); zircon-box "
                 "(link frames \"KE\" at 9600 baud); sensor-zircon (link frames \"NK\" at 4545 "
                 "baud, replies \"KE\"); delmo (QX frames at 9600 baud); arvex (the bridge's "
                 "'N', 'P', 'O' runs at 4545 baud). An accessory answers its identity from the "
                 "options below, only at its own rate, and after its boot entry runs the boot "
                 "loader at --baud; a --blank one starts in the boot loader")
      ->transform(CLI::CheckedTransformer(kPersonalities))
      ->option_text("boot|zircon-box|sensor-zircon|delmo|arvex (default boot)");
  app.add_option("--baud", options.baudRate, "the boot loader's line rate")
      ->check(CLI::IsMember({19200u, 38400u}))
      ->capture_default_str();
  app.add_option("--boot-version", options.bootLoaderVersion,
                 "boot-loader version, major*256+minor (0x0202 = 2.02; below it the older "
                 "command set)")
      ->capture_default_str();
  app.add_flag("--short-version", shortReply, "answer the version request with 3 bytes");
  app.add_option("--hardware", options.hardwareVersion, "hardware number")
      ->default_str(std::to_string(options.hardwareVersion));
  app.add_option("--serial", options.serialNumber, "serial number")->capture_default_str();
  app.add_option("--fw-version", options.firmwareVersion, "firmware version in flash")
      ->default_str(std::to_string(options.firmwareVersion));
  app.add_option("--fw-revision", options.firmwareRevision, "firmware revision in flash")
      ->default_str(std::to_string(options.firmwareRevision));
  app.add_option("--product", options.productCode, "product code")
      ->default_str(std::to_string(options.productCode));
  app.add_flag("--blank", blank, "a blank device: flash erased, identity 255/255/255");
  app.add_flag("--pacing", options.pacing, "deliver bytes at the line's real speed");
  app.add_option("--reply-delay", options.replyDelayMs, "extra milliseconds before each reply")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--write-delay", options.writeDelayMs,
                 "extra milliseconds before the reply to each flash write")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--fault", faults,
                 "inject a fault (repeatable): drop@K corrupt@K wrongcode@K failwrite@K "
                 "corruptwrite@K unplug@K[+MS] failwrite:ADDR[*N] corruptwrite:ADDR[*N]. K counts "
                 "every request: boot frames, link and QX frames, bridge runs. A text reply "
                 "(QX version, bridge) is garbled by corrupt and wrongcode alike. With --count, "
                 "I:FAULT (e.g. 2:unplug@40) strikes device I only, a bare FAULT every device, "
                 "each counting its own requests");
  app.add_option("--link", options.linkPath,
                 "keep a symlink at PATH pointing at the current slave. Another bootquarn-sim "
                 "started with the same PATH takes the link over (a board swap); this one then "
                 "leaves it alone, also when it stops. With --count, PATH is a prefix: device I "
                 "keeps the link PATH followed by I (/tmp/ttyQ0, /tmp/ttyQ1, ...)");
}

const char* OutcomeText(bq::sim::RequestOutcome outcome) {
  switch (outcome) {
    case bq::sim::RequestOutcome::kAnswered:
      return "";
    case bq::sim::RequestOutcome::kSilent:
      return " (no reply)";
    case bq::sim::RequestOutcome::kDropped:
      return " (reply dropped)";
    case bq::sim::RequestOutcome::kUnplugged:
      return " (unplugged)";
  }
  return "";
}

const char* KindText(RequestKind kind) {
  switch (kind) {
    case RequestKind::kBootFrame:
      return "request";
    case RequestKind::kLinkFrame:
      return "link request";
    case RequestKind::kQxFrame:
      return "qx request";
    case RequestKind::kLetterRun:
      return "run";
  }
  return "request";
}

// One line per request, e.g. "#0 request 01 FF FF FF -> reply 01 02 02 01 00 00",
// "#1 link request 24 3A C5 0E 97 -> reply C4 -> boot mode", "#2 run 'N' x24 (no reply)" or
// "#3 run 'P' x25 -> reply 00 FF 70 ... \"\\x00\\xFFponte_1\\r\\n\"".
// With several devices each line starts with the device's number, "2: #0 ...".
// The devices log from their own threads: a line is written whole.
std::string RequestLine(const bq::sim::Request& request) {
  std::string line = "#" + std::to_string(request.index) + " " + KindText(request.kind) + " ";
  if (request.kind == RequestKind::kLetterRun) {
    line += "'" + std::string(1, static_cast<char>(request.command)) + "' x" +
            std::to_string(request.payload.size());
  } else {
    line += Hex(request.payload);
  }
  if (!request.reply.empty()) {
    line += " -> reply " + Hex(request.reply);
    const bool text =
        request.kind == RequestKind::kQxFrame || request.kind == RequestKind::kLetterRun;
    if (text) line += " " + Quoted(request.reply);
  }
  line += OutcomeText(request.outcome);
  if (request.entersBoot) line += " -> boot mode";
  return line;
}

std::mutex logMutex;

void LogLine(const std::string& line) {
  std::lock_guard lock(logMutex);
  std::cerr << line << '\n';
}

std::string Summary(const bq::sim::VirtualDevice& device, Personality personality) {
  const auto id = device.Identity();
  const auto stats = device.Stats();
  return PersonalityName(personality) + ", serial " + std::to_string(id.serialNumber) +
         ", firmware " + std::to_string(id.firmwareVersion) + "." +
         std::to_string(id.firmwareRevision) + ", product " + std::to_string(id.productCode) +
         ", boot loader " + VersionText(device.BootLoaderVersion()) + ", " +
         std::to_string(device.BaudRate()) + " baud, " + std::to_string(device.Requests().size()) +
         " requests, " + std::to_string(stats.bytesWrongRate) + " bytes at a wrong rate";
}

// One device's options: the shared ones, its own serial number and link, and
// the faults meant for every device or for it alone.
SimOptions DeviceOptions(const SimOptions& shared, unsigned index, bool several,
                         const std::vector<bq::sim::DeviceFault>& faults) {
  SimOptions options = shared;
  options.serialNumber = static_cast<uint16_t>(shared.serialNumber + index);
  if (several && !shared.linkPath.empty()) options.linkPath += std::to_string(index);
  for (const auto& f : faults) {
    if (!f.device || *f.device == index) options.faults.push_back(f.fault);
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"A device's boot loader behind a pseudo-terminal"};
  SimOptions options;
  std::vector<std::string> faultTexts;
  bool blank = false;
  bool shortReply = false;
  bool verbose = false;
  unsigned count = 1;
  AddOptions(app, options, faultTexts, blank, shortReply);
  auto* countOption =
      app.add_option("--count", count,
                     "play N devices in one process, one pseudo-terminal each, and print their "
                     "N slave paths as the first N lines. Device I (from 0) has the serial "
                     "number --serial + I; see --link and --fault for the rest")
          ->check(CLI::Range(1u, 64u))
          ->option_text("N (1 to 64, default 1)");
  app.add_flag("-v,--verbose", verbose,
               "log every request and reply on stderr (with --count, each line starts with "
               "the device's number, \"2: #0 request ...\")");
  app.set_version_flag("--version", std::string("bootquarn-sim ") + BQ_VERSION,
                       "print the program version and exit");
  CLI11_PARSE(app, argc, argv);
  // --count given, even as 1: the link is a prefix and the log lines carry numbers,
  // so a script that sets the count gets the same names for any N.
  const bool several = countOption->count() > 0;

  options.longVersionReply = !shortReply;
  if (blank) options.memory = bq::sim::MemoryContent::kBlank;
  std::vector<bq::sim::DeviceFault> faults;
  try {
    for (const auto& text : faultTexts) {
      faults.push_back(bq::sim::ParseDeviceFault(text));
      if (faults.back().device && *faults.back().device >= count) {
        throw std::invalid_argument("fault '" + text + "' names device " +
                                    std::to_string(*faults.back().device) + " of " +
                                    std::to_string(count) + " (devices count from 0)");
      }
    }
  } catch (const std::invalid_argument& e) {
    std::cerr << "bootquarn-sim: " << e.what() << '\n';
    return 2;
  }
  if (options.serialNumber + (count - 1u) > 0xFFFFu) {
    std::cerr << "bootquarn-sim: serial numbers " << options.serialNumber << " to "
              << options.serialNumber + (count - 1u) << " go beyond 65535\n";
    return 2;
  }

  // Block the signals before the device threads start so that only sigwait sees them.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::vector<std::unique_ptr<bq::sim::VirtualDevice>> devices;
  for (unsigned i = 0; i < count; ++i) {
    auto& device = devices.emplace_back(
        std::make_unique<bq::sim::VirtualDevice>(DeviceOptions(options, i, several, faults)));
    if (verbose) {
      const std::string prefix = several ? std::to_string(i) + ": " : "";
      device->SetRequestObserver(
          [prefix](const bq::sim::Request& request) { LogLine(prefix + RequestLine(request)); });
    }
    try {
      device->Start();
    } catch (const bq::sim::SimError& e) {
      std::cerr << "bootquarn-sim: " << (several ? "device " + std::to_string(i) + ": " : "")
                << e.what() << '\n';
      return 1;  // the devices started so far stop and let their links go
    }
  }
  for (const auto& device : devices) std::cout << device->SlavePath() << '\n';
  std::cout << std::flush;

  for (;;) {
    int received = 0;
    if (sigwait(&signals, &received) != 0) continue;
    if (received != SIGUSR1) break;
    for (const auto& device : devices) device->EnterBootMode();
    if (verbose) LogLine("boot mode");
  }
  for (const auto& device : devices) device->Stop();
  for (unsigned i = 0; i < count; ++i) {
    std::cout << (several ? std::to_string(i) + ": " : "")
              << Summary(*devices[i], options.personality) << '\n';
  }
  std::cout << std::flush;
  return 0;
}
