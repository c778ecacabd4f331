#pragma once
// Runs bootquarn-cli through the shell with a data folder of its own, stdin
// empty and stderr discarded: the exit status and what it printed on stdout.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace bq::cli {

struct QuickRun {
  int status;
  std::string out;
};

inline QuickRun RunCliQuietly(const std::string& dataHome, const std::string& args) {
  const std::string cmd = "XDG_DATA_HOME='" + dataHome + "' '" BQ_BIN_DIR "/bootquarn-cli' " +
                          args + " 2>/dev/null </dev/null";
  FILE* pipe = ::popen(cmd.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace bq::cli
