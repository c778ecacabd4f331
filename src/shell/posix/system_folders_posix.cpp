#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shell/system_folders.h"
#include "shell/utilities.h"

namespace bq {

namespace fs = std::filesystem;

std::string UserDataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return WithTrailingSlash(xdg);
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && env[0] != '\0') {
    home = env;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  } else {
    home = "/tmp";
  }
  return WithTrailingSlash(home) + ".local/share/";
}

std::string ProgramFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return WithTrailingSlash(fs::current_path(ec).string());
  return WithTrailingSlash(exe.parent_path().string());
}

}  // namespace bq
