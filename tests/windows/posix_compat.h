#pragma once
// The few POSIX calls that the shared test files use, for their Windows build
// (force-included there): a scratch folder from a "/tmp/...XXXXXX" pattern,
// which lands in the Windows temporary folder, and the environment.
#ifdef _WIN32
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "shell/file_system.h"

inline char* mkdtemp(char* pattern) {
  std::string path(pattern);
  if (path.rfind("/tmp/", 0) == 0) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    std::wstring wide(temp, n);
    std::string folder(wide.begin(), wide.end());  // the temporary folder's name is ASCII here
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (!folder.empty() && folder.back() != '/') folder += '/';
    path = folder + path.substr(5);
  }
  thread_local std::string made;
  if (!bq::MakeUniqueFolder(path)) return nullptr;
  made = path;
  return made.data();
}

inline int setenv(const char* name, const char* value, int) {
  return ::_putenv_s(name, value);
}

inline int unsetenv(const char* name) {
  return ::_putenv_s(name, "");
}
#endif
