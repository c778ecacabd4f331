// A production bench, two ways: one bootquarn-cli write per adapter, all at
// once on one data folder, and one `write --ports` process for all of them.
// Each virtual device paces its bytes at the real line rate. For 1, 4 and 8
// devices: the wall time until the last write ends, its ratio to a single
// device, the CPU time the programs took per station (as a share of the wall
// time), and how many writes succeeded (the device holding the image). Prints
// figures only. An optional argument names another firmware
// file (the example is small: its write is mostly the program's start-up).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/firmware_loader.h"
#include "virtual_device.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kCli = BQ_BIN_DIR "/bootquarn-cli";
constexpr const char* kExampleKfx = BQ_SOURCE_DIR "/examples/demo_firmware_v3_07.kfx";

pid_t SpawnWrite(const std::string& file, const std::string& ports, const std::string& outFile,
                 bool bench) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {kCli,  "write", file,    bench ? "--ports" : "--port",
                                   ports, "--no",  "--json"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, kCli, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

struct Round {
  double seconds = 0;
  double cpuSeconds = 0;  // of the programs, user and system
  int succeeded = 0;
};

double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool HoldsImage(const bq::sim::VirtualDevice& device, const bq::FirmwareImage& image) {
  const std::vector<uint8_t> flash = device.Flash();
  return flash.size() >= image.flash.size() &&
         std::equal(image.flash.begin() + bq::ApplicationStart, image.flash.end(),
                    flash.begin() + bq::ApplicationStart);
}

Round WriteAtOnce(int count, bool oneProcess, const std::string& file, const std::string& dataHome,
                  const bq::FirmwareImage& image) {
  std::vector<std::unique_ptr<bq::sim::VirtualDevice>> devices;
  std::string ports;
  for (int i = 0; i < count; ++i) {
    bq::sim::SimOptions o;
    o.pacing = true;
    devices.push_back(std::make_unique<bq::sim::VirtualDevice>(o));
    devices.back()->Start();
    ports += (i ? "," : "") + devices.back()->PortPath();
  }
  std::vector<pid_t> pids;
  const double cpuBefore = ChildrenCpuSeconds();
  const auto start = Clock::now();
  if (oneProcess) {
    pids.push_back(SpawnWrite(file, ports, dataHome + "/out", true));
  } else {
    for (int i = 0; i < count; ++i) {
      pids.push_back(
          SpawnWrite(file, devices[i]->PortPath(), dataHome + "/out" + std::to_string(i), false));
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
  }
  Round round;
  round.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  round.cpuSeconds = ChildrenCpuSeconds() - cpuBefore;
  for (int i = 0; i < count; ++i) {
    if (HoldsImage(*devices[i], image)) ++round.succeeded;
    devices[i]->Stop();
  }
  return round;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : kExampleKfx;
  bq::FirmwareImage image;
  bq::FirmwareHeader header;
  if (!bq::LoadFirmwareFile(file, image, header).ok()) {
    std::fprintf(stderr, "cannot load %s\n", file.c_str());
    return 1;
  }
  char tmpl[] = "/tmp/bq_bench_parallel_XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dataHome = tmpl;
  ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
  std::printf("how            devices  wall(s)  ratio  cpu/station(s)  cpu/station(%%)  ok\n");
  for (bool oneProcess : {false, true}) {
    double single = 0;
    for (int count : {1, 4, 8}) {
      const Round r = WriteAtOnce(count, oneProcess, file, dataHome, image);
      if (count == 1) single = r.seconds;
      const double perStation = r.cpuSeconds / count;
      std::printf("%-14s  %7d  %7.2f  %5.2f  %14.3f  %14.2f  %d/%d\n",
                  oneProcess ? "one process" : "a process each", count, r.seconds,
                  single > 0 ? r.seconds / single : 0, perStation,
                  r.seconds > 0 ? 100 * perStation / r.seconds : 0, r.succeeded, count);
      std::fflush(stdout);
    }
  }
  fs::remove_all(dataHome);
  return 0;
}
