#pragma once
// bootquarn-cli loop FILE --ports A,B,...: one production loop per port in one
// process. Each port is a station of its own, with its own file of the batch,
// turn counter and cancel; a port that fails or will not open does not stop
// the others. Each port's devices and port trouble are told on lines that
// name the port, and each port leaves a summary line as its loop ends (on a
// terminal, a line per port redrawn in place while the loops run). Ctrl+C
// cancels the write under way on every port and ends every loop.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_session.h"

namespace bq::cli {

struct BenchLoopOptions {
  std::string file;
  std::vector<std::string> ports;
  int max = 0;  // per port
};

// Each port's loop ends as a single loop ends; the exit status is 0 when every
// port's would be 0, 1 when any port's would be 1, and otherwise 130 (a
// cancel). report gets "ok", "file" and "stations": one object per port, as
// a single `loop --json` gives it, with its "port" and "status".
int RunBenchLoop(CliSession& session, const BenchLoopOptions& options, nlohmann::json& report);

}  // namespace bq::cli
