#include "serial/port_error.h"

namespace bq {

// A Windows port name names no file to look at: the open's error says it all.
PortOpenProblem ClassifyOpenError(int osCode, const std::string& path) {
  (void)path;
  return ClassifyOpenError(osCode);
}

}  // namespace bq
