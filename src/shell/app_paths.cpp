#include "shell/app_paths.h"

#include <filesystem>

#include "shell/system_folders.h"
#include "shell/utilities.h"

namespace bq {

namespace fs = std::filesystem;

AppPaths DefaultAppPaths() {
  AppPaths paths;
  paths.dataRoot = UserDataHome() + "Quarn/BootQuarn/";
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
