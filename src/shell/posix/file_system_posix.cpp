#include <sys/stat.h>

#include "shell/file_system.h"

namespace bq {

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

}  // namespace bq
