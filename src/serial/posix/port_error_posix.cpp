#include <sys/stat.h>
#include <unistd.h>

#include "serial/port_error.h"

namespace bq {

PortOpenProblem ClassifyOpenError(int osCode, const std::string& path) {
  const PortOpenProblem problem = ClassifyOpenError(osCode);
  struct stat info {};
  if (problem == PortOpenProblem::None || ::stat(path.c_str(), &info) != 0) return problem;
  if (!S_ISCHR(info.st_mode)) return PortOpenProblem::NotSerialPort;
  if (problem == PortOpenProblem::NoPermission && ::access(path.c_str(), R_OK | W_OK) == 0) {
    return PortOpenProblem::NotSerialPort;
  }
  return problem;
}

}  // namespace bq
