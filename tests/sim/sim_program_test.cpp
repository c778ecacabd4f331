// The bootquarn-sim program: first line is the port (the first N lines with
// --count N), SIGUSR1 is the boot button, SIGTERM ends it with a one-line
// summary per device; -v logs each request on stderr.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "requests.h"

namespace bq::sim::test {
namespace {

class SimProgram {
 public:
  explicit SimProgram(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
      std::vector<char*> argv{const_cast<char*>(Path().c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = fdopen(out[0], "r");
    err_ = err[0];
  }
  ~SimProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
    if (err_ >= 0) close(err_);
  }
  static const std::string& Path() {
    static const std::string path = std::string(BQ_BIN_DIR) + "/bootquarn-sim";
    return path;
  }
  std::string Line() {
    char buffer[512] = {};
    if (!out_ || !fgets(buffer, sizeof buffer, out_)) return {};
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }
  // The next line on stderr; what came of it after `timeoutMs` of silence.
  std::string ErrorLine(int timeoutMs = 2000) {
    std::string line;
    char c = 0;
    for (;;) {
      pollfd p{err_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0 || read(err_, &c, 1) != 1 || c == '\n') return line;
      line += c;
    }
  }
  void Signal(int s) { kill(pid_, s); }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int err_ = -1;
};

TEST(SimProgram, PrintsPortServesAndSummarises) {
  if (!std::filesystem::exists(SimProgram::Path())) GTEST_SKIP() << "bootquarn-sim not built";
  SimProgram sim({"--baud", "19200", "--serial", "4660", "--product", "9"});
  const std::string port = sim.Line();
  ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
  {
    LineClient line(port, 19200);
    EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x12, 0x34, 3, 1, 9, 0x00}));
    line.Write(Frame(ResetRunRequest()));
    EXPECT_EQ(line.Exchange(ReadVersionRequest(), 100), std::nullopt);
    sim.Signal(SIGUSR1);
    // Back in boot mode as soon as the signal is handled: the loader answers again.
    EXPECT_TRUE(WaitUntil([&] { return line.Exchange(ReadVersionRequest(), 50).has_value(); }));
  }
  sim.Signal(SIGTERM);
  const std::string summary = sim.Line();
  EXPECT_NE(summary.find("serial 4660"), std::string::npos) << summary;
  EXPECT_NE(summary.find("product 9"), std::string::npos) << summary;
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimProgram, RejectsBadArgumentsNamingThem) {
  if (!std::filesystem::exists(SimProgram::Path())) GTEST_SKIP() << "bootquarn-sim not built";
  struct Case {
    std::vector<std::string> args;
    const char* named;
  };
  const Case cases[] = {
      {{"--fault", "explode@1"}, "explode@1"},
      {{"--count", "2", "--fault", "2:drop@1"}, "2:drop@1"},  // devices 0 and 1 only
      {{"--count", "2", "--serial", "65535"}, "65535"},       // device 1 would be 65536
  };
  for (const auto& c : cases) {
    SimProgram sim(c.args);
    EXPECT_EQ(sim.Line(), "") << c.named;
    EXPECT_NE(sim.ErrorLine().find(c.named), std::string::npos) << c.named;
    EXPECT_EQ(sim.Wait(), 2) << c.named;
  }
}

// Three devices in one process: each behind its own link with its own serial
// number, a fault given to one device strikes it alone, one given bare strikes
// all, and each device counts its own requests.
TEST(SimProgram, CountPlaysSeveralDevicesEachWithItsOwnSerialAndFaults) {
  if (!std::filesystem::exists(SimProgram::Path())) GTEST_SKIP() << "bootquarn-sim not built";
  std::string dir = std::filesystem::temp_directory_path() / "bq-sim-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string prefix = dir + "/ttyQ";
  {
    SimProgram sim({"--count", "3", "--link", prefix, "--serial", "4000", "--fault", "1:drop@0",
                    "--fault", "drop@1", "-v"});
    std::vector<std::string> slaves;
    for (int i = 0; i < 3; ++i) slaves.push_back(sim.Line());
    for (int i = 0; i < 3; ++i) {
      const std::string link = prefix + std::to_string(i);
      ASSERT_EQ(slaves[i].rfind("/dev/pts/", 0), 0u) << slaves[i];
      EXPECT_EQ(std::filesystem::read_symlink(link), slaves[i]) << link;
    }
    struct Case {
      int device;
      bool firstAnswered;  // only device 1 drops its request #0
    };
    for (const Case c : {Case{0, true}, Case{1, false}, Case{2, true}}) {
      const uint16_t serial = static_cast<uint16_t>(4000 + c.device);
      const Bytes identity{0x38, Hi(serial), Lo(serial), 3, 1, 5, 0x00};
      LineClient line(prefix + std::to_string(c.device), 38400);
      const auto first = line.Exchange(ReadIdentityRequest(), c.firstAnswered ? 300 : 100);
      EXPECT_EQ(first, c.firstAnswered ? std::optional(identity) : std::nullopt) << c.device;
      EXPECT_EQ(line.Exchange(ReadIdentityRequest(), 100), std::nullopt) << c.device;
      EXPECT_EQ(line.Exchange(ReadIdentityRequest()), identity) << c.device;
    }
    EXPECT_EQ(sim.ErrorLine(), "0: #0 request 0D FF FF FF -> reply 38 0F A0 03 01 05 00");
    // The boot button is every device's: each one left its loader, each one is back.
    std::vector<std::unique_ptr<LineClient>> lines;
    for (int i = 0; i < 3; ++i) {
      lines.push_back(std::make_unique<LineClient>(prefix + std::to_string(i), 38400));
      lines.back()->Write(Frame(ResetRunRequest()));
      EXPECT_EQ(lines.back()->Exchange(ReadVersionRequest(), 100), std::nullopt) << i;
    }
    sim.Signal(SIGUSR1);
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(WaitUntil([&] {
        return lines[i]->Exchange(ReadVersionRequest(), 50).has_value();
      })) << i;
    }
    lines.clear();
    sim.Signal(SIGTERM);
    for (int i = 0; i < 3; ++i) {
      const std::string summary = sim.Line();
      EXPECT_EQ(summary.rfind(std::to_string(i) + ": boot, serial " + std::to_string(4000 + i), 0),
                0u)
          << summary;
    }
    EXPECT_EQ(sim.Wait(), 0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_FALSE(std::filesystem::is_symlink(prefix + std::to_string(i))) << i;
    }
  }
  std::filesystem::remove_all(dir);
}

// The bridge's runs, its boot entry and the boot loader's requests all show
// in the verbose log, in order.
TEST(SimProgram, PlaysAnAccessoryAndLogsEveryKindOfRequest) {
  if (!std::filesystem::exists(SimProgram::Path())) GTEST_SKIP() << "bootquarn-sim not built";
  SimProgram sim({"--personality", "arvex", "--serial", "4660", "-v"});
  const std::string port = sim.Line();
  ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
  {
    LineClient line(port, 4545);
    line.Write(Join(WakeRun(), ProbeRun()));
    const Bytes answer = line.ReadUntil("ponte_1");
    EXPECT_NE(std::string(answer.begin(), answer.end()).find("ponte_1"), std::string::npos);
    line.Write(BootRun());
    EXPECT_EQ(sim.ErrorLine(), "#0 run 'N' x24 (no reply)");
    EXPECT_EQ(sim.ErrorLine(),
              "#1 run 'P' x25 -> reply 00 FF 70 6F 6E 74 65 5F 31 0D 0A "
              "\"\\x00\\xFFponte_1\\r\\n\"");
    EXPECT_EQ(sim.ErrorLine(), "#2 run 'O' x25 (no reply) -> boot mode");
    line.SetRate(38400);
    EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x12, 0x34, 3, 1, 5, 0x00}));
    EXPECT_EQ(sim.ErrorLine(), "#3 request 0D FF FF FF -> reply 38 12 34 03 01 05 00");
  }
  sim.Signal(SIGTERM);
  const std::string summary = sim.Line();
  EXPECT_EQ(summary.rfind("arvex, serial 4660", 0), 0u) << summary;
  EXPECT_EQ(sim.Wait(), 0);
}

// A board swap between two programs: the second takes the link over, and the
// first, stopped afterwards, leaves it in place.
TEST(SimProgram, SecondProgramOnTheSameLinkTakesThePortOver) {
  if (!std::filesystem::exists(SimProgram::Path())) GTEST_SKIP() << "bootquarn-sim not built";
  std::string dir = std::filesystem::temp_directory_path() / "bq-sim-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string link = dir + "/ttyQuarn";
  {
    SimProgram first({"--link", link, "--serial", "1000"});
    ASSERT_FALSE(first.Line().empty());
    SimProgram second({"--link", link, "--serial", "2000"});
    ASSERT_FALSE(second.Line().empty());
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(), 0);
    LineClient line(link, 38400);
    EXPECT_EQ(line.Exchange(ReadIdentityRequest()), (Bytes{0x38, 0x07, 0xD0, 3, 1, 5, 0x00}));
  }
  std::filesystem::remove_all(dir);
}

// The help is read by people and turned into the manual page: the defaults of
// one-byte options are numbers, and no control character slips in.
TEST(SimProgram, HelpShowsDefaultsAsNumbersAndVersion) {
  if (!std::filesystem::exists(SimProgram::Path())) GTEST_SKIP() << "bootquarn-sim not built";
  FILE* pipe = ::popen((SimProgram::Path() + " --help").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0);
  for (const char* option : {"--hardware UINT=1 ", "--fw-version UINT=3 ", "--fw-revision UINT=1 ",
                             "--product UINT=5 "}) {
    EXPECT_NE(text.find(option), std::string::npos) << option << " in\n" << text;
  }
  for (char c : text) EXPECT_TRUE(c == '\n' || c < 0 || c >= ' ') << "control character " << int(c);

  SimProgram version({"--version"});
  EXPECT_EQ(version.Line(), "bootquarn-sim 5.54");
  EXPECT_EQ(version.Wait(), 0);
}

}  // namespace
}  // namespace bq::sim::test
