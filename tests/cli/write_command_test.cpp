// bootquarn-cli write, run as a program against a virtual device and a
// private data folder: what it writes, what it refuses, how it answers the
// downgrade question and how Ctrl+C cancels it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "boot/boot_protocol.h"
#include "cli_process.h"
#include "hex_record.h"
#include "image/firmware_loader.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using namespace bq::cli::testing;

class WriteCommand : public CliProcess {};

constexpr const char* kLeftEmpty =
    "The device holds no application now and stays in boot mode: write it again.";

FirmwareImage ExampleImage() {
  FirmwareImage image;
  FirmwareHeader header;
  EXPECT_TRUE(LoadFirmwareFile(kKfx, image, header).ok());
  return image;
}

// A used device (firmware 3.01 of product 5, serial 1000, newer loader) meets
// the example file (3.07 of product 0, serial 1234). What differs per case is
// the device's firmware or hardware, the answer given and the operator's terminal.
struct WriteCase {
  const char* name;
  uint8_t firmwareVersion;
  uint8_t firmwareRevision;
  uint8_t hardwareVersion;
  std::vector<std::string> flags;
  std::optional<std::string> typed;  // stdin is a terminal holding this; else /dev/null
  bool written;
  const char* status;
};

TEST_F(WriteCommand, DecidesAndWritesAsTheDeviceAndTheOperatorAllow) {
  const WriteCase cases[] = {
      {"older firmware", 3, 1, 1, {}, std::nullopt, true, "Operação Ok"},
      {"newer firmware, unattended", 4, 0, 1, {}, std::nullopt, false, "Falha conexão!!"},
      {"newer firmware, --yes", 4, 0, 1, {"--yes"}, std::nullopt, true, "Operação Ok"},
      {"newer firmware, --no", 4, 0, 1, {"--no"}, std::nullopt, false, "Falha conexão!!"},
      {"newer firmware, operator types s", 4, 0, 1, {}, "s\n", true, "Operação Ok"},
      {"newer firmware, operator types n", 4, 0, 1, {}, "n\n", false, "Falha conexão!!"},
      {"newer firmware, operator types Sim", 4, 0, 1, {}, "Sim\n", true, "Operação Ok"},
      {"newer firmware, operator types não", 4, 0, 1, {}, "não\n", false, "Falha conexão!!"},
      {"newer firmware, operator types NÃO", 4, 0, 1, {}, "NÃO\n", false, "Falha conexão!!"},
      {"hardware the product refuses", 3, 1, 3, {"--yes"}, std::nullopt, false, "Falha conexão!!"},
  };
  const FirmwareImage image = ExampleImage();
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimOptions options;
    options.bootLoaderVersion = kNewerLoader;
    options.firmwareVersion = c.firmwareVersion;
    options.firmwareRevision = c.firmwareRevision;
    options.hardwareVersion = c.hardwareVersion;
    sim::VirtualDevice& device = StartDevice(options);
    const std::vector<uint8_t> before = device.Flash();
    fs::remove_all(dataHome_ + "/Quarn");

    std::vector<std::string> args = {"write", kKfx, "--port", device.PortPath(), "--json"};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const CliRun r = c.typed ? CliOnTerminal(args, *c.typed) : Cli(args);

    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, c.written ? 0 : 1) << r.err;
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out;
    EXPECT_EQ(j["ok"], c.written);
    EXPECT_EQ(j["file"], kKfx);
    EXPECT_EQ(j["header"],
              (nlohmann::json{
                  {"serialNumber", 1234}, {"version", 3}, {"revision", 7}, {"productCode", 0}}));
    const nlohmann::json& d = j["device"];
    EXPECT_EQ(d["port"], device.PortPath());
    EXPECT_EQ(d["baudRate"], 38400);
    EXPECT_EQ(d["serialNumber"], 1000);
    EXPECT_EQ(d["firmwareVersion"], c.firmwareVersion);
    EXPECT_EQ(d["firmwareRevision"], c.firmwareRevision);
    EXPECT_EQ(d["productCode"], 5);
    EXPECT_TRUE(d["productName"].is_string());
    EXPECT_EQ(d["bootLoaderVersion"], kNewerLoader);
    EXPECT_EQ(d["bootLoaderVersionText"], "2.02");
    EXPECT_EQ(d["hardwareVersion"], c.hardwareVersion);
    EXPECT_TRUE(j["elapsed"].is_string());
    EXPECT_TRUE(j["elapsedSeconds"].is_number_unsigned()) << j["elapsedSeconds"];
    EXPECT_EQ(j["status"], c.status);
    // The phases come from the engine's typed events: a written device went
    // through the erase and the whole write range.
    ASSERT_TRUE(j["phases"].is_array());
    if (c.written) {
      std::vector<std::string> names;
      for (const auto& p : j["phases"]) names.push_back(p["name"]);
      EXPECT_EQ(names, (std::vector<std::string>{"erase", "writeFlash"}));
      const nlohmann::json& write = j["phases"][1];
      EXPECT_EQ(write["start"], ApplicationStart);
      EXPECT_EQ(write["bytes"], write["end"].get<uint32_t>() - ApplicationStart + 1);
      EXPECT_GE(write["seconds"].get<double>(), 0.0);
    } else {
      EXPECT_TRUE(j["phases"].empty());
    }

    // Either way the device ends up running its firmware.
    EXPECT_FALSE(device.InBootMode());
    EXPECT_GE(CountRequests(device, [](uint8_t cmd) { return cmd == boot::kResetRun; }), 1u);
    const std::vector<uint8_t> flash = device.Flash();
    const bool logged =
        ProductionLog().find("Firmware gravado OK P00_V3_07_NS001234") != std::string::npos;
    if (c.written) {
      EXPECT_TRUE(std::equal(image.flash.begin() + ApplicationStart, image.flash.end(),
                             flash.begin() + ApplicationStart));
      EXPECT_EQ(device.ProductCode(), 0);
      EXPECT_TRUE(logged) << ProductionLog();
    } else {
      EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);
      EXPECT_TRUE(flash == before);
      EXPECT_EQ(device.ProductCode(), 5);
      EXPECT_FALSE(logged) << ProductionLog();
    }
    if (c.typed) {
      EXPECT_NE(r.err.find("Continua? [s/n]"), std::string::npos) << r.err;
    }
    // A write ends in one line that sums it up; a No says what the device keeps.
    const bool answeredNo = !c.written && c.firmwareVersion == 4;
    EXPECT_EQ(r.err.find("Wrote 4096 bytes in ") != std::string::npos, c.written) << r.err;
    EXPECT_EQ(r.err.find("the device keeps its firmware 4.00.") != std::string::npos, answeredNo)
        << r.err;
    device.Stop();
  }
}

// Failures found before any byte reaches a device: the port or the file.
TEST_F(WriteCommand, BadPortOrFileSendsNothing) {
  sim::VirtualDevice& device = StartDevice({});
  const std::string bad = dataHome_ + "/bad.kfx";
  {
    // The first data record (line 3) gets a wrong checksum.
    std::string text = ReadWhole(kKfx);
    size_t eol = 0;
    for (int line = 0; line < 3; ++line) eol = text.find('\n', eol + 1);
    char& digit = text[eol - 2];
    digit = digit == '0' ? '1' : '0';
    std::ofstream(bad, std::ios::binary) << text;
  }
  const std::string missing = dataHome_ + "/ttyMissing";
  struct Case {
    const char* name;
    std::string file;
    std::string port;
    std::string errorText;
  };
  const Case cases[] = {
      {"port that does not exist", kKfx, missing,
       "cannot open " + missing + ": "},  // followed by the reason and advice
      {"malformed firmware file", bad, device.PortPath(), "Linha 3: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun r = Cli({"write", c.file, "--port", c.port, "--json"});
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["ok"], false);
    EXPECT_NE(r.err.find(c.errorText), std::string::npos) << r.err;
    EXPECT_TRUE(device.Requests().empty());
  }
}

// A file with nothing for the flash from 0x0800 would leave the device erased
// and without a program: it is refused before anything is erased.
TEST_F(WriteCommand, AFileWithoutAnApplicationIsRefusedBeforeTheErase) {
  using bq::test::HexRecord;
  const std::string end = HexRecord(1, 0, {}) + "\r\n";
  std::vector<uint8_t> header(16, 0);
  header[0] = 5;  // the device's own product
  header[2] = 9;  // version 9, newer than the device's
  struct Case {
    const char* name;
    const char* file;
    std::string text;
  };
  const Case cases[] = {
      {"EEPROM only", "eeprom.hex",
       HexRecord(4, 0, {0x00, 0xF0}) + "\r\n" + HexRecord(0, 0x0010, {1, 2, 3, 4}) + "\r\n" + end},
      {"the header only", "header.kfx", HexRecord(6, 0, header) + "\r\n" + end},
      {"the boot loader's area only", "boot.hex",
       HexRecord(0, 0x0100, {0x12, 0x34, 0x56, 0x78}) + "\r\n" + end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dataHome_ + "/" + c.file;
    std::ofstream(file, std::ios::binary) << c.text;
    sim::VirtualDevice& device = StartDevice({});
    const std::vector<uint8_t> before = device.Flash();
    const CliRun r = Cli({"write", file, "--port", device.PortPath(), "--yes", "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out;
    EXPECT_EQ(j["ok"], false);
    EXPECT_NE(r.err.find("holds no program"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Operação Ok"), std::string::npos) << r.err;
    EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);
    EXPECT_TRUE(device.Flash() == before);
    device.Stop();
  }
}

// Ctrl+C during a paced write cancels it (the product code still goes in on a
// newer loader). A second Ctrl+C, a SIGTERM or a hang-up stops it the same way:
// the port is closed, the settings saved and the report printed.
TEST_F(WriteCommand, StopSignalsCancelTheWriteAndTheRunStillReports) {
  struct Case {
    const char* name;
    std::vector<int> signals;
  };
  const Case cases[] = {{"one Ctrl+C", {SIGINT}},
                        {"two Ctrl+C", {SIGINT, SIGINT}},
                        {"SIGTERM", {SIGTERM}},
                        {"SIGHUP", {SIGHUP}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dataHome_ + "/Quarn");
    sim::SimOptions options;
    options.bootLoaderVersion = kNewerLoader;
    options.pacing = true;
    // About 100 ms a block, so the whole write takes seconds; the detection's
    // replies stay prompt, well inside the probe time-out however busy the machine.
    options.writeDelayMs = 60;
    sim::VirtualDevice& device = StartDevice(options);

    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn({"write", kKfx, "--port", device.PortPath(), "--json"}, null);
    ::close(null);
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(device, IsFlashWrite) >= 3; }));
    for (int signal : c.signals) ::kill(pid, signal);
    const CliRun r = Finish(pid);
    EXPECT_LT(CountRequests(device, IsFlashWrite), 20u) << "the write went on after the signal";
    EXPECT_TRUE(device.InBootMode());  // a cancelled write is not started
    ASSERT_TRUE(r.exited) << "ended by signal " << r.status;
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find(" Cancelado"), std::string::npos) << r.err;
    // The erase went before the blocks: the operator hears the device is empty.
    EXPECT_NE(r.err.find(kLeftEmpty, r.err.find(" Cancelado")), std::string::npos) << r.err;
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out;
    EXPECT_EQ(j["ok"], false);
    EXPECT_EQ(j["failure"]["message"], " Cancelado");
    const std::string settings = ReadWhole(dataHome_ + "/Quarn/BootQuarn/BootQuarn.Ini");
    EXPECT_NE(settings.find("=" + device.PortPath() + "\r\n"), std::string::npos) << settings;
    if (c.signals == std::vector<int>{SIGINT}) {
      EXPECT_EQ(device.ProductCode(), 0);
    }
    device.Stop();
  }
}

// A Ctrl+C that lands while the device is still being found or identified
// ends the run before anything is erased: only the reset follows it.
TEST_F(WriteCommand, CtrlCBeforeTheEraseEndsTheRunWithTheDeviceUntouched) {
  struct Case {
    const char* name;
    uint8_t landsAfter;  // the request the Ctrl+C follows
  };
  const Case cases[] = {
      {"during the baud detection", boot::kReadBootVersion},
      {"during the identity reads", boot::kReadIdentity},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimOptions options;
    options.bootLoaderVersion = kNewerLoader;
    options.replyDelayMs = 40;  // well under the probe time-out, long enough to interrupt a read
    sim::VirtualDevice& device = StartDevice(options);
    const std::vector<uint8_t> before = device.Flash();

    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn({"write", kKfx, "--port", device.PortPath()}, null);
    ::close(null);
    ASSERT_TRUE(WaitUntil([&] {
      return CountRequests(device, [&](uint8_t cmd) { return cmd == c.landsAfter; }) >= 1;
    }));
    ::kill(pid, SIGINT);
    const CliRun r = Finish(pid);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find(" Cancelado"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Operação Ok"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(kLeftEmpty), std::string::npos) << r.out;
    EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);
    EXPECT_TRUE(device.Flash() == before);
    const auto requests = device.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().command, boot::kResetRun);
    device.Stop();
  }
}

// One lost or garbled reply to the version request of the connection is a
// failed connection: the device is neither refused as the wrong board nor reset.
TEST_F(WriteCommand, AGlitchOnTheVersionReadIsAFailedConnection) {
  // Where the connection's own version read falls among the requests.
  uint64_t versionRead = 0;
  {
    sim::VirtualDevice& device = StartDevice({});
    ASSERT_EQ(Cli({"write", kKfx, "--port", device.PortPath(), "--no"}).status, 0);
    bool identified = false;
    for (const sim::Request& r : device.Requests()) {
      identified = identified || r.command == boot::kReadIdentity;
      if (identified && r.command == boot::kReadBootVersion) {
        versionRead = r.index;
        break;
      }
    }
    ASSERT_TRUE(identified);
    device.Stop();
  }
  for (const char* fault : {"drop", "corrupt"}) {
    SCOPED_TRACE(fault);
    sim::SimOptions options;
    options.faults = {sim::ParseFault(std::string(fault) + "@" + std::to_string(versionRead))};
    sim::VirtualDevice& device = StartDevice(options);
    const CliRun r = Cli({"write", kKfx, "--port", device.PortPath(), "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("Este hard não aceita este soft"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" Erro le versao boot"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(kLeftEmpty), std::string::npos) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["status"], "Falha conexão!!");
    EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);
    EXPECT_EQ(CountRequests(device, [](uint8_t cmd) { return cmd == boot::kResetRun; }), 0u);
    device.Stop();
  }
}

// A device that vanishes mid-write is named as such: the port's text, the
// failed write, and the phase and address where it stopped answering, in the
// JSON report too.
TEST_F(WriteCommand, ADeviceLostMidWriteIsReportedWithThePhaseAndAddress) {
  uint64_t thirdBlock = 0;
  {
    sim::VirtualDevice& device = StartDevice({});
    ASSERT_EQ(Cli({"write", kKfx, "--port", device.PortPath(), "--no"}).status, 0);
    int blocks = 0;
    for (const sim::Request& r : device.Requests()) {
      if (IsFlashWrite(r.command) && ++blocks == 3) {
        thirdBlock = r.index;
        break;
      }
    }
    ASSERT_EQ(blocks, 3);
    device.Stop();
  }
  sim::SimOptions options;
  options.faults = {sim::ParseFault("unplug@" + std::to_string(thirdBlock))};
  sim::VirtualDevice& device = StartDevice(options);
  const CliRun r = Cli({"write", kKfx, "--port", device.PortPath(), "--json"});
  EXPECT_EQ(r.status, 1) << r.err;
  const size_t closed = r.err.find("Can't perform this operation on a closed port");
  const size_t lost = r.err.find("Equipamento parou de responder no endereço 0x");
  const size_t failed = r.err.find("Falha na gravação");
  ASSERT_NE(closed, std::string::npos) << r.err;
  ASSERT_NE(lost, std::string::npos) << r.err;
  ASSERT_NE(failed, std::string::npos) << r.err;
  EXPECT_LT(closed, lost);
  EXPECT_NE(r.err.find(kLeftEmpty, failed), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("durante a gravação da memória de programa", lost), std::string::npos)
      << r.err;
  nlohmann::json j;
  ASSERT_NO_THROW(j = nlohmann::json::parse(r.out)) << r.out;
  EXPECT_EQ(j["ok"], false);
  ASSERT_TRUE(j["failure"].is_object()) << r.out;
  EXPECT_EQ(j["failure"]["phase"], "writeFlash");
  const uint32_t address = j["failure"]["address"];
  EXPECT_GT(address, 0u);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%06X", address);
  EXPECT_EQ(j["failure"]["message"], std::string("Equipamento parou de responder no endereço ") +
                                         hex + " durante a gravação da memória de programa");
}

// Ctrl+C while the downgrade question waits on the terminal is no permission
// to go on: nothing is erased and the device goes back to its firmware.
TEST_F(WriteCommand, CtrlCAtTheDowngradeQuestionLeavesTheDeviceAlone) {
  sim::SimOptions options;
  options.firmwareVersion = 4;
  options.firmwareRevision = 0;
  sim::VirtualDevice& device = StartDevice(options);
  const std::vector<uint8_t> before = device.Flash();
  Terminal t;
  OpenTerminal(t);
  const pid_t pid = Spawn({"write", kKfx, "--port", device.PortPath()}, t.slave);
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadWhole(ErrPath()).find("Continua? [s/n] ") != std::string::npos; }));
  ASSERT_TRUE(WaitUntil([&] { return BlockedReadingStdin(pid); }));
  ::kill(pid, SIGINT);
  const CliRun r = Finish(pid);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);
  EXPECT_TRUE(device.Flash() == before);
  EXPECT_FALSE(device.InBootMode());
}

// verify and read: both only read the device. The device holds the example's
// flash, once exactly and once with one byte changed.
TEST_F(WriteCommand, VerifyFindsTheFirstDifferenceAndWritesNothing) {
  const FirmwareImage image = ExampleImage();
  const uint32_t changed = 0x0C31;
  for (bool differs : {false, true}) {
    SCOPED_TRACE(differs ? "one byte differs" : "same");
    sim::VirtualDevice& device = StartDevice({});
    std::vector<uint8_t> flash(image.flash.begin() + 0x800, image.flash.begin() + 0x10000);
    if (differs) flash[changed - 0x800] ^= 0x01;
    device.LoadFlash(0x800, flash);

    const CliRun run = Cli({"verify", kKfx, "--port", device.PortPath(), "--json"});

    EXPECT_EQ(run.status, differs ? 1 : 0) << run.err;
    const auto d = nlohmann::json::parse(run.out);
    EXPECT_EQ(d["ok"], !differs);
    if (differs) {
      EXPECT_EQ(d["firstDifference"], changed);
      EXPECT_NE(run.err.find("0x000C31"), std::string::npos) << run.err;
    } else {
      EXPECT_TRUE(d["firstDifference"].is_null());
    }
    EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);
    device.Stop();
  }
}

TEST_F(WriteCommand, ReadWritesAHexFileOurLoaderReadsBackAndKeepsAnExistingOne) {
  sim::VirtualDevice& device = StartDevice({});
  const std::string out = dataHome_ + "/dump.hex";

  CliRun run = Cli({"read", out, "--port", device.PortPath(), "--eeprom"});
  ASSERT_EQ(run.status, 0) << run.err;
  FirmwareImage back;
  FirmwareHeader header;
  ASSERT_TRUE(LoadFirmwareFile(out, back, header).ok());
  const std::vector<uint8_t> flash = device.Flash();
  EXPECT_TRUE(
      std::equal(flash.begin() + 0x800, flash.begin() + 0x10000, back.flash.begin() + 0x800));
  const std::vector<uint8_t> eeprom = device.Eeprom();
  EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), back.eeprom.begin()));
  EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);

  const std::string before = ReadWhole(out);
  run = Cli({"read", out, "--port", device.PortPath(), "--flash", "0x800:0x80F"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--force"), std::string::npos) << run.err;
  EXPECT_EQ(ReadWhole(out), before);

  run = Cli({"read", out, "--port", device.PortPath(), "--flash", "0x803:0x80A", "--force"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(ReadWhole(out), before);
}

// The index and address of the n-th request (from 0) with the command
// among a clean run's requests.
std::pair<uint64_t, uint32_t> NthRequest(const sim::VirtualDevice& device, uint8_t command,
                                         size_t n) {
  for (const sim::Request& r : device.Requests()) {
    if (r.command == command && n-- == 0) {
      return {r.index, static_cast<uint32_t>(r.payload[1] << 8 | r.payload[2])};
    }
  }
  ADD_FAILURE() << "no such request";
  return {0, 0};
}

// One lost or spoilt reply anywhere in a read is asked again: the copy and
// the comparison come out right. Faults that outlast the retries of one block
// end the run naming its address.
TEST_F(WriteCommand, ReadAndVerifyAskAgainAfterABadReply) {
  const FirmwareImage image = ExampleImage();
  const std::vector<uint8_t> exampleFlash(image.flash.begin() + 0x800,
                                          image.flash.begin() + 0x10000);
  // Where the requests fall on a clean device.
  uint64_t flashRead = 0, eepromRead = 0, verifyRead = 0;
  uint32_t flashAddress = 0, eepromAddress = 0, verifyAddress = 0;
  {
    sim::VirtualDevice& device = StartDevice({});
    ASSERT_EQ(
        Cli({"read", dataHome_ + "/clean.hex", "--port", device.PortPath(), "--eeprom"}).status, 0);
    std::tie(flashRead, flashAddress) = NthRequest(device, boot::kCompareFlash, 40);
    std::tie(eepromRead, eepromAddress) = NthRequest(device, boot::kReadEeprom, 3);
    device.Stop();
    sim::VirtualDevice& again = StartDevice({});
    again.LoadFlash(0x800, exampleFlash);
    ASSERT_EQ(Cli({"verify", kKfx, "--port", again.PortPath()}).status, 0);
    std::tie(verifyRead, verifyAddress) = NthRequest(again, boot::kCompareFlash, 10);
    again.Stop();
  }
  struct Case {
    const char* name;
    std::string command;  // read or verify
    std::vector<std::string> faults;
    std::optional<uint32_t> failsAt;
  };
  auto at = [](const char* kind, uint64_t index, int times) {
    std::vector<std::string> faults;
    for (int i = 0; i < times; ++i) faults.push_back(kind + ("@" + std::to_string(index + i)));
    return faults;
  };
  const Case cases[] = {
      {"read, one dropped flash reply", "read", at("drop", flashRead, 1), std::nullopt},
      {"read, one corrupt flash reply", "read", at("corrupt", flashRead, 1), std::nullopt},
      {"read, one wrong reply code", "read", at("wrongcode", flashRead, 1), std::nullopt},
      {"read, one corrupt EEPROM reply", "read", at("corrupt", eepromRead, 1), std::nullopt},
      {"read, a block that never answers", "read", at("corrupt", flashRead, 4), flashAddress},
      {"read, an EEPROM block that never answers", "read", at("drop", eepromRead, 4),
       0xF00000 | eepromAddress},
      {"verify, one dropped reply", "verify", at("drop", verifyRead, 1), std::nullopt},
      {"verify, one corrupt reply", "verify", at("corrupt", verifyRead, 1), std::nullopt},
      {"verify, a block that never answers", "verify", at("corrupt", verifyRead, 4), verifyAddress},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimOptions options;
    for (const std::string& f : c.faults) options.faults.push_back(sim::ParseFault(f));
    sim::VirtualDevice& device = StartDevice(options);
    device.LoadFlash(0x800, exampleFlash);
    const std::string out = dataHome_ + "/copy.hex";
    fs::remove(out);
    const CliRun run = c.command == "read"
                           ? Cli({"read", out, "--port", device.PortPath(), "--eeprom", "--json"})
                           : Cli({"verify", kKfx, "--port", device.PortPath(), "--json"});
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(run.out)) << run.out << run.err;
    if (c.failsAt) {
      EXPECT_EQ(run.status, 1) << run.err;
      EXPECT_EQ(j["ok"], false);
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%06X", *c.failsAt);
      EXPECT_NE(j.value("error", "").find(hex), std::string::npos) << j.dump();
      EXPECT_NE(run.err.find(hex), std::string::npos) << run.err;
      if (c.command == "verify") {
        EXPECT_TRUE(j["firstDifference"].is_null());
      }
    } else {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(j["ok"], true);
      if (c.command == "read") {
        FirmwareImage back;
        FirmwareHeader header;
        ASSERT_TRUE(LoadFirmwareFile(out, back, header).ok());
        const std::vector<uint8_t> flash = device.Flash();
        EXPECT_TRUE(
            std::equal(flash.begin() + 0x800, flash.begin() + 0x10000, back.flash.begin() + 0x800));
        const std::vector<uint8_t> eeprom = device.Eeprom();
        EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), back.eeprom.begin()));
      }
    }
    EXPECT_EQ(CountRequests(device, ChangesMemory), 0u);
    device.Stop();
  }
}

// A difference is read a second time before it is reported.
TEST_F(WriteCommand, VerifyReadsADifferingBlockAgainBeforeReportingIt) {
  const FirmwareImage image = ExampleImage();
  std::vector<uint8_t> flash(image.flash.begin() + 0x800, image.flash.begin() + 0x10000);
  sim::VirtualDevice& clean = StartDevice({});
  clean.LoadFlash(0x800, flash);
  ASSERT_EQ(Cli({"verify", kKfx, "--port", clean.PortPath()}).status, 0);
  const size_t reads = CountRequests(clean, [](uint8_t c) { return c == boot::kCompareFlash; });
  clean.Stop();

  flash[0x0C31 - 0x800] ^= 0x01;
  sim::VirtualDevice& device = StartDevice({});
  device.LoadFlash(0x800, flash);
  const CliRun run = Cli({"verify", kKfx, "--port", device.PortPath(), "--json"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out)["firstDifference"], 0x0C31);
  EXPECT_EQ(CountRequests(device, [](uint8_t c) { return c == boot::kCompareFlash; }), reads + 1);
}

}  // namespace
}  // namespace bq::cli
