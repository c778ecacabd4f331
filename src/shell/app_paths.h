#pragma once
// Where the program keeps its files.

#include <string>

namespace bq {

struct AppPaths {
  std::string dataRoot;          // ${XDG_DATA_HOME:-$HOME/.local/share}/Quarn/BootQuarn/
  std::string settingsFile;      // dataRoot + "BootQuarn.Ini"
  std::string productionLogDir;  // dataRoot + "Log_Producao/"
  std::string productionLog;     // productionLogDir + "Log_Producao_" + DateStamp + ".txt"
  std::string usageLog;          // dataRoot + "LogUsoBoot.txt"
  std::string programFolder;     // folder of the running program, with a trailing '/'
  std::string shareFolder;       // installed share/ folder (maker folder, sounds, help)
};

// Paths for this run: the data root from XDG_DATA_HOME (or HOME), the production
// log named from today's date, the program folder from /proc/self/exe.
AppPaths DefaultAppPaths();

}  // namespace bq
