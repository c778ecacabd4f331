#pragma once
// Runs bootquarn-cli as a program against a virtual device and a private data
// folder, and reads what it left: its output, its exit, the device's requests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "boot/boot_protocol.h"
#include "virtual_device.h"

extern char** environ;

namespace bq::cli::testing {

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

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool ChangesMemory(uint8_t command) {
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

inline bool IsFlashWrite(uint8_t command) {
  return command == boot::kWriteVerifyFlash || command == boot::kWriteVerifyFlashLong ||
         command == boot::kWriteFlash;
}

inline size_t CountRequests(const sim::VirtualDevice& device,
                            const std::function<bool(uint8_t)>& pick) {
  const auto requests = device.Requests();
  return static_cast<size_t>(std::count_if(requests.begin(), requests.end(),
                                           [&](const sim::Request& r) { return pick(r.command); }));
}

class CliProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    // No underscore before the random part: a folder whose name held "_NS"
    // would give the production loop's file pattern a second one.
    char tmpl[] = "/tmp/bq_cliw.XXXXXX";
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
  // the data folder, told apart by name for programs that run at once.
  // Everything the child needs is prepared before fork: the device's thread
  // runs in this process.
  pid_t Spawn(const std::vector<std::string>& args, int stdinFd, const std::string& name = "") {
    std::vector<std::string> env = extraEnv_;
    env.push_back("XDG_DATA_HOME=" + dataHome_);
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string key = entry.substr(0, entry.find('=') + 1);
      if (std::none_of(env.begin(), env.end(),
                       [&](const std::string& set) { return set.rfind(key, 0) == 0; })) {
        env.push_back(entry);
      }
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
    const int out = ::open(OutPath(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(ErrPath(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // Under a file-size limit the output travels through pipes, which the
    // limit does not cover, and this process copies it into the files.
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (fileSizeLimit_) {
      EXPECT_EQ(::pipe2(outPipe, O_CLOEXEC), 0);
      EXPECT_EQ(::pipe2(errPipe, O_CLOEXEC), 0);
    }
    const rlimit limit{fileSizeLimit_.value_or(0), fileSizeLimit_.value_or(0)};
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(stdinFd, 0);
      ::dup2(outputTerminal_ >= 0 ? outputTerminal_ : fileSizeLimit_ ? outPipe[1] : out, 1);
      ::dup2(outputTerminal_ >= 0 ? outputTerminal_
             : errTerminal_ >= 0  ? errTerminal_
             : fileSizeLimit_     ? errPipe[1]
                                  : err,
             2);
      if (fileSizeLimit_) {
        // A write past the limit then fails with EFBIG, as on a full disk.
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execve(argp[0], argp.data(), envp.data());
      ::_exit(127);
    }
    if (fileSizeLimit_) {
      ::close(outPipe[1]);
      ::close(errPipe[1]);
      relays_.emplace_back(Relay, outPipe[0], out);
      relays_.emplace_back(Relay, errPipe[0], err);
    } else {
      ::close(out);
      ::close(err);
    }
    return pid;
  }

  // Copies from a pipe into a file until the pipe's writer is gone.
  static void Relay(int from, int to) {
    char buffer[4096];
    for (ssize_t n; (n = ::read(from, buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || ::write(to, buffer, static_cast<size_t>(n)) != n) break;
    }
    ::close(from);
    ::close(to);
  }

  // Waits for the program (killing it after a minute, which fails the test).
  CliRun Finish(pid_t pid, const std::string& name = "") {
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
    for (std::thread& relay : relays_) relay.join();
    relays_.clear();
    CliRun result;
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    result.out = ReadWhole(OutPath(name));
    result.err = ReadWhole(ErrPath(name));
    return result;
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
  // Whether the program's main thread sits in a read of its standard input.
  static bool BlockedReadingStdin(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    std::string fd;
    in >> number >> fd;
    return number == SYS_read && fd == "0x0";
  }

  static bool WaitUntil(const std::function<bool()>& ready, std::chrono::seconds limit = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  std::string ProductionLog() const {
    std::string all;
    const fs::path dir = dataHome_ + "/Quarn/BootQuarn/Log_Producao";
    if (!fs::is_directory(dir)) return all;
    for (const auto& entry : fs::directory_iterator(dir)) all += ReadWhole(entry.path().string());
    return all;
  }

  std::string OutPath(const std::string& name = "") const {
    return dataHome_ + "/stdout" + name + ".txt";
  }
  std::string ErrPath(const std::string& name = "") const {
    return dataHome_ + "/stderr" + name + ".txt";
  }

  // When set (a terminal's slave side), the program's stdout and stderr go
  // there instead of into the files.
  int outputTerminal_ = -1;
  // When set, the program runs with this file-size limit.
  std::optional<rlim_t> fileSizeLimit_;
  // When set, the program's stderr is this terminal (a pty's slave side).
  int errTerminal_ = -1;
  std::vector<std::thread> relays_;
  std::string dataHome_;
  // NAME=value entries the program gets in place of the test's own.
  std::vector<std::string> extraEnv_;
  std::unique_ptr<sim::VirtualDevice> device_;
};

}  // namespace bq::cli::testing
