#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

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

std::optional<DeviceGroup> DeviceGroupOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  DeviceGroup group;
  group.name = std::to_string(info.st_gid);
  group.mayReadWrite = (info.st_mode & S_IRGRP) && (info.st_mode & S_IWGRP);
  long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 1024);
  struct group entry {};
  struct group* found = nullptr;
  int rc = 0;
  while ((rc = ::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (rc == 0 && found && found->gr_name) group.name = found->gr_name;
  return group;
}

}  // namespace bq
