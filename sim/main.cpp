// bootquarn-sim: a device's boot loader behind a pseudo-terminal, optionally
// behind an accessory's application (--personality). Prints the slave's path
// on the first line, runs until SIGINT or SIGTERM, and re-enters boot mode on
// SIGUSR1 (the operator pressing the boot button).
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
#include <string>

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
                 "(QX version, bridge) is garbled by corrupt and wrongcode alike");
  app.add_option("--link", options.linkPath,
                 "keep a symlink at PATH pointing at the current slave. Another bootquarn-sim "
                 "started with the same PATH takes the link over (a board swap); this one then "
                 "leaves it alone, also when it stops");
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
void LogRequest(const bq::sim::Request& request) {
  std::cerr << "#" << request.index << " " << KindText(request.kind) << " ";
  if (request.kind == RequestKind::kLetterRun) {
    std::cerr << "'" << static_cast<char>(request.command) << "' x" << request.payload.size();
  } else {
    std::cerr << Hex(request.payload);
  }
  if (!request.reply.empty()) {
    std::cerr << " -> reply " << Hex(request.reply);
    const bool text =
        request.kind == RequestKind::kQxFrame || request.kind == RequestKind::kLetterRun;
    if (text) std::cerr << " " << Quoted(request.reply);
  }
  std::cerr << OutcomeText(request.outcome);
  if (request.entersBoot) std::cerr << " -> boot mode";
  std::cerr << '\n';
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"A device's boot loader behind a pseudo-terminal"};
  SimOptions options;
  std::vector<std::string> faultTexts;
  bool blank = false;
  bool shortReply = false;
  bool verbose = false;
  AddOptions(app, options, faultTexts, blank, shortReply);
  app.add_flag("-v,--verbose", verbose, "log every request and reply on stderr");
  app.set_version_flag("--version", std::string("bootquarn-sim ") + BQ_VERSION,
                       "print the program version and exit");
  CLI11_PARSE(app, argc, argv);

  options.longVersionReply = !shortReply;
  if (blank) options.memory = bq::sim::MemoryContent::kBlank;
  try {
    for (const auto& text : faultTexts) options.faults.push_back(bq::sim::ParseFault(text));
  } catch (const std::invalid_argument& e) {
    std::cerr << "bootquarn-sim: " << e.what() << '\n';
    return 2;
  }

  // Block the signals before the device thread starts so that only sigwait sees them.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  bq::sim::VirtualDevice device(options);
  if (verbose) device.SetRequestObserver(LogRequest);
  try {
    device.Start();
  } catch (const bq::sim::SimError& e) {
    std::cerr << "bootquarn-sim: " << e.what() << '\n';
    return 1;
  }
  std::cout << device.SlavePath() << std::endl;

  for (;;) {
    int received = 0;
    if (sigwait(&signals, &received) != 0) continue;
    if (received != SIGUSR1) break;
    device.EnterBootMode();
    if (verbose) std::cerr << "boot mode\n";
  }
  device.Stop();
  std::cout << Summary(device, options.personality) << std::endl;
  return 0;
}
