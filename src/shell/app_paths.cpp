#include "shell/app_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shell/utilities.h"

namespace bq {

namespace fs = std::filesystem;

namespace {

// The base of per-user data: XDG_DATA_HOME when it is an absolute path,
// else $HOME/.local/share (the password database when HOME is unset).
std::string DataHome() {
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

}  // namespace

AppPaths DefaultAppPaths() {
  AppPaths paths;
  paths.dataRoot = DataHome() + "Quarn/BootQuarn/";
  paths.settingsFile = paths.dataRoot + "BootQuarn.Ini";
  paths.productionLogDir = paths.dataRoot + "Log_Producao/";
  paths.productionLog = paths.productionLogDir + "Log_Producao_" + DateStamp(NowLocal()) + ".txt";
  paths.usageLog = paths.dataRoot + "LogUsoBoot.txt";
  paths.programFolder = ProgramFolder();
  paths.shareFolder = WithTrailingSlash(
      (fs::path(paths.programFolder) / ".." / "share" / "bootquarn").lexically_normal().string());
  return paths;
}

}  // namespace bq
