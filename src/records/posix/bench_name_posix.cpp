// The bench's name on a POSIX system: the computer's host name.
#include <unistd.h>

#include <climits>
#include <string>

#include "records/production_record.h"

namespace bq::records {

std::string BenchName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace bq::records
