// The bootquarn-sim program: first line is the port, SIGUSR1 is the boot
// button, SIGTERM ends it with a one-line summary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "requests.h"

namespace bq::sim::test {
namespace {

class SimProgram {
 public:
  explicit SimProgram(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv{const_cast<char*>(Path().c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = fdopen(out[0], "r");
  }
  ~SimProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
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
    usleep(50000);
    EXPECT_TRUE(line.Exchange(ReadVersionRequest()).has_value());
  }
  sim.Signal(SIGTERM);
  const std::string summary = sim.Line();
  EXPECT_NE(summary.find("serial 4660"), std::string::npos) << summary;
  EXPECT_NE(summary.find("product 9"), std::string::npos) << summary;
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimProgram, RejectsAMalformedFault) {
  if (!std::filesystem::exists(SimProgram::Path())) GTEST_SKIP() << "bootquarn-sim not built";
  SimProgram sim({"--fault", "explode@1"});
  EXPECT_EQ(sim.Line(), "");
  EXPECT_EQ(sim.Wait(), 2);
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
