// The folders of a Windows system. Paths are given with '/' between folders,
// which every Win32 call takes, as the rest of the program writes them.
// The Win32 headers below need windows.h first.
// clang-format off
#include <windows.h>
// clang-format on

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

#include "shell/system_folders.h"
#include "shell/utilities.h"
#include "shell/windows/win32_text.h"

namespace bq {

namespace {

std::string ForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace

// Every station keeps its data for all of its users in the Public folder
// (C:\Users\Public\ as a rule), so the data root is Public\Quarn\BootQuarn\.
std::string UserDataHome() {
  PWSTR folder = nullptr;
  std::string path;
  if (::SHGetKnownFolderPath(FOLDERID_Public, KF_FLAG_DEFAULT, nullptr, &folder) == S_OK) {
    path = win32::Narrow(folder);
  }
  ::CoTaskMemFree(folder);
  if (path.empty()) {
    // The known folder should always be there; the environment is the fallback.
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"PUBLIC", buffer, MAX_PATH);
    path = n > 0 && n < MAX_PATH ? win32::Narrow(buffer, n) : std::string("C:\\Users\\Public");
  }
  return WithTrailingSlash(ForwardSlashes(path));
}

std::string ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return "./";
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  std::string exe = ForwardSlashes(win32::Narrow(buffer));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
}

}  // namespace bq
