#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "shell/desktop.h"

namespace bq {

std::string FindOnPath(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) {
    return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
  }
  const char* env = std::getenv("PATH");
  std::string path = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    // An empty entry is the current folder.
    const std::string dir = end > start ? path.substr(start, end - start) : std::string(".");
    const std::string candidate = dir + "/" + program;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  const std::string program = FindOnPath(argv[0]);
  if (program.empty()) return false;

  // Everything the children need is prepared before fork: after it only
  // async-signal-safe calls are allowed.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // The middle child starts the grandchild and leaves at once, so the
    // grandchild is adopted by init and never becomes our zombie.
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
      int devnull = ::open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
      }
      ::execv(program.c_str(), args.data());
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void OpenFolderInFileManager(const std::string& folder) {
  SpawnDetached({"xdg-open", folder});
}

bool PlaySoundFile(const std::string& file) {
  for (const char* player : {"paplay", "aplay"}) {
    if (SpawnDetached({player, file})) return true;
  }
  return false;
}

}  // namespace bq
