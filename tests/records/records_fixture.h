#pragma once
// A scratch data folder for the records tests, and records to keep in it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "records/production_record.h"
#include "records/record_store.h"

extern char** environ;

namespace bq::records::testing {

namespace fs = std::filesystem;

inline std::string ScratchFolder(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
  const char* made = ::mkdtemp(pattern.data());
  return made ? std::string(made) : std::string();
}

// A record with every field filled, unique by its serial number.
inline ProductionRecord FullRecord(int64_t serial, const std::string& bench = "bench-a") {
  ProductionRecord r = StartRecord("write", "5.54");
  r.bench = bench;
  r.startedAt = "2026-12-10T16:22:46.123Z";
  r.endedAt = "2026-12-10T16:23:28.456Z";
  r.port = "/dev/ttyUSB0";
  r.portById = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
  r.device = {serial, 3, 5, 7, 0x0202, 4};
  r.file = {"/srv/firmware/P07_V3_07_NS001234.kfx",
            "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
            serial,
            3,
            7,
            7};
  r.result = RecordResult::kOk;
  r.phases = {{"erase", "2026-12-10T16:22:47.000Z", "2026-12-10T16:22:49.500Z", 0, 2.5},
              {"write", "2026-12-10T16:22:49.500Z", "2026-12-10T16:23:28.250Z", 131072, 38.75}};
  return r;
}

// A record of which nothing was read: every optional field empty.
inline ProductionRecord BareRecord() {
  ProductionRecord r = StartRecord("reset", "5.54");
  r.result = RecordResult::kFailed;
  r.failure = {"connect", std::nullopt, "the device did not answer"};
  return r;
}

inline RecordsConfig LocalConfig(const std::string& folder) {
  RecordsConfig config;
  config.dataFolder = folder;
  return config;
}

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs bootquarn-cli with XDG_DATA_HOME=dataHome and the extra variables,
// and waits for it to end.
inline ProgramRun RunCli(const std::vector<std::string>& args, const std::string& dataHome,
                         const std::vector<std::string>& extraEnv = {}) {
  const std::string outPath = dataHome + "/cli.out", errPath = dataHome + "/cli.err";
  std::vector<std::string> env = extraEnv;
  env.push_back("XDG_DATA_HOME=" + dataHome);
  env.push_back("LANGUAGE=C");
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("XDG_DATA_HOME=", 0) == 0 || entry.rfind("BOOTQUARN_RECORDS=", 0) == 0 ||
        entry.rfind("LANGUAGE=", 0) == 0) {
      continue;
    }
    env.push_back(entry);
  }
  std::vector<std::string> argv = {BQ_BIN_DIR "/bootquarn-cli"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto pointers = [](std::vector<std::string>& v) {
    std::vector<char*> p;
    for (auto& s : v) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
  };
  auto argp = pointers(argv);
  auto envp = pointers(env);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen(outPath.c_str(), "w", stdout) ||
        !std::freopen(errPath.c_str(), "w", stderr)) {
      ::_exit(126);
    }
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  ProgramRun run;
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  run.out = ReadWhole(outPath);
  run.err = ReadWhole(errPath);
  return run;
}

}  // namespace bq::records::testing
