// bootquarn-cli write, run as a program against a virtual device and a
// private data folder: what it writes, what it refuses, how it answers the
// downgrade question and how Ctrl+C cancels it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
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
#include "image/firmware_loader.h"
#include "recording_operator.h"
#include "virtual_device.h"

extern char** environ;

namespace bq::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kKfx = BQ_SOURCE_DIR "/examples/demo_firmware_v3_07.kfx";
constexpr uint16_t kNewerLoader = 0x0202;

struct CliRun {
  bool exited = false;
  int status = -1;  // exit status, or the signal that ended the program
  std::string out;
  std::string err;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool ChangesMemory(uint8_t command) {
  switch (command) {
    case boot::kEraseAll:
    case boot::kEraseBlocks:
    case boot::kWriteFlash:
    case boot::kWriteVerifyFlash:
    case boot::kWriteVerifyFlashLong:
    case boot::kWriteEeprom:
    case boot::kWriteProductType:
      return true;
    default:
      return false;
  }
}

bool IsFlashWrite(uint8_t command) {
  return command == boot::kWriteVerifyFlash || command == boot::kWriteVerifyFlashLong ||
         command == boot::kWriteFlash;
}

size_t CountRequests(const sim::VirtualDevice& device, const std::function<bool(uint8_t)>& pick) {
  const auto requests = device.Requests();
  return static_cast<size_t>(std::count_if(requests.begin(), requests.end(),
                                           [&](const sim::Request& r) { return pick(r.command); }));
}

class WriteCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_cliw_XXXXXX";
    dataHome_ = ::mkdtemp(tmpl);
    ASSERT_FALSE(dataHome_.empty());
  }
  void TearDown() override {
    if (device_) device_->Stop();
    fs::remove_all(dataHome_);
  }

  sim::VirtualDevice& StartDevice(sim::SimOptions options) {
    device_ = std::make_unique<sim::VirtualDevice>(std::move(options));
    device_->Start();
    return *device_;
  }

  // Starts the program with stdin from stdinFd and stdout/stderr into files of
  // the data folder. Everything the child needs is prepared before fork: the
  // device's thread runs in this process.
  pid_t Spawn(const std::vector<std::string>& args, int stdinFd) {
    std::vector<std::string> env = {"XDG_DATA_HOME=" + dataHome_};
    for (char** e = environ; *e; ++e) {
      if (std::string(*e).rfind("XDG_DATA_HOME=", 0) != 0) env.emplace_back(*e);
    }
    std::vector<std::string> argv = {BQ_BIN_DIR "/bootquarn-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = [](std::vector<std::string>& v) {
      std::vector<char*> p;
      for (auto& s : v) p.push_back(s.data());
      p.push_back(nullptr);
      return p;
    };
    auto envp = pointers(env);
    auto argp = pointers(argv);
    const int out = ::open(OutPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(ErrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(stdinFd, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execve(argp[0], argp.data(), envp.data());
      ::_exit(127);
    }
    ::close(out);
    ::close(err);
    return pid;
  }

  // Waits for the program (killing it after a minute, which fails the test).
  CliRun Finish(pid_t pid) {
    CliRun run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "bootquarn-cli did not end within a minute";
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    run.out = ReadWhole(OutPath());
    run.err = ReadWhole(ErrPath());
    return run;
  }

  CliRun Cli(const std::vector<std::string>& args) {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn(args, null);
    ::close(null);
    return Finish(pid);
  }

  // A terminal for the program's stdin: the master side stays with the test
  // (kept open, so the program never sees a hang-up while it reads).
  struct Terminal {
    int master = -1;
    int slave = -1;
    ~Terminal() {
      if (slave >= 0) ::close(slave);
      if (master >= 0) ::close(master);
    }
  };
  static void OpenTerminal(Terminal& t) {
    t.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(t.master, 0);
    ASSERT_EQ(::grantpt(t.master), 0);
    ASSERT_EQ(::unlockpt(t.master), 0);
    t.slave = ::open(::ptsname(t.master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(t.slave, 0);
  }

  // The program with a terminal on stdin that already holds the operator's reply.
  CliRun CliOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
    Terminal t;
    OpenTerminal(t);
    EXPECT_EQ(::write(t.master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    return Finish(Spawn(args, t.slave));
  }

  // Polls until ready() holds; false after the deadline.
  static bool WaitUntil(const std::function<bool()>& ready, std::chrono::seconds limit = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  // Whether the program's main thread sits in a read of its standard input.
  static bool BlockedReadingStdin(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    std::string fd;
    in >> number >> fd;
    return number == SYS_read && fd == "0x0";
  }

  std::string ProductionLog() const {
    std::string all;
    const fs::path dir = dataHome_ + "/Quarn/BootQuarn/Log_Producao";
    if (!fs::is_directory(dir)) return all;
    for (const auto& entry : fs::directory_iterator(dir)) all += ReadWhole(entry.path().string());
    return all;
  }

  std::string OutPath() const { return dataHome_ + "/stdout.txt"; }
  std::string ErrPath() const { return dataHome_ + "/stderr.txt"; }

  std::string dataHome_;
  std::unique_ptr<sim::VirtualDevice> device_;
};

// Whether the process has a handler for SIGINT (its "SigCgt" mask in /proc).
bool CatchesInterrupt(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("SigCgt:", 0) == 0) {
      return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1u;
    }
  }
  return false;
}

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
    EXPECT_EQ(j["status"], c.status);

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

// Ctrl+C during a paced write: the first one cancels (the product code still
// goes in on a newer loader), a second one ends the program at once.
TEST_F(WriteCommand, CtrlCCancelsTheWriteAndASecondOneEndsTheProgram) {
  struct Case {
    const char* name;
    int interrupts;
  };
  const Case cases[] = {{"one Ctrl+C", 1}, {"two Ctrl+C", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimOptions options;
    options.bootLoaderVersion = kNewerLoader;
    options.pacing = true;
    options.replyDelayMs = 60;  // about 100 ms a block: the whole write takes seconds
    sim::VirtualDevice& device = StartDevice(options);

    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn({"write", kKfx, "--port", device.PortPath()}, null);
    ::close(null);
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(device, IsFlashWrite) >= 3; }));
    ::kill(pid, SIGINT);
    if (c.interrupts == 2) {
      // The first one has been taken once the program no longer catches SIGINT.
      ASSERT_TRUE(WaitUntil([pid] { return !CatchesInterrupt(pid); }));
      ::kill(pid, SIGINT);
    }
    const CliRun r = Finish(pid);
    const size_t writes = CountRequests(device, IsFlashWrite);
    EXPECT_LT(writes, 20u) << "the write went on after Ctrl+C";
    EXPECT_TRUE(device.InBootMode());  // a cancelled write is not started
    if (c.interrupts == 1) {
      EXPECT_TRUE(r.exited);
      EXPECT_EQ(r.status, 130) << r.err;
      EXPECT_NE(r.err.find(" Cancelado"), std::string::npos) << r.err;
      EXPECT_EQ(device.ProductCode(), 0);
    } else {
      EXPECT_FALSE(r.exited);
      EXPECT_EQ(r.status, SIGINT);
    }
    device.Stop();
  }
}

// A Ctrl+C that lands while the device is still being identified is one press
// of the cancel command, used up before programming starts: it must never come
// back later to stop the write between the erase and the first block.
TEST_F(WriteCommand, CtrlCDuringTheChecksNeverLeavesTheDeviceErased) {
  sim::SimOptions options;
  options.bootLoaderVersion = kNewerLoader;
  options.replyDelayMs = 80;  // under the probe time-out, long enough to interrupt a read
  sim::VirtualDevice& device = StartDevice(options);

  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn({"write", kKfx, "--port", device.PortPath()}, null);
  ::close(null);
  ASSERT_TRUE(WaitUntil([&] {
    return CountRequests(device, [](uint8_t cmd) { return cmd == boot::kReadIdentity; }) >= 1;
  }));
  ::kill(pid, SIGINT);
  const CliRun r = Finish(pid);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0) << r.err;
  const FirmwareImage image = ExampleImage();
  const std::vector<uint8_t> flash = device.Flash();
  EXPECT_TRUE(std::equal(image.flash.begin() + ApplicationStart, image.flash.begin() + 0x10000,
                         flash.begin() + ApplicationStart));
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

}  // namespace
}  // namespace bq::cli
