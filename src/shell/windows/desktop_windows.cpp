// The Win32 headers below need windows.h first.
// clang-format off
#include <windows.h>
// clang-format on

#include <mmsystem.h>
#include <shellapi.h>

#include <vector>

#include "shell/desktop.h"
#include "shell/windows/win32_text.h"

namespace bq {

std::string FindOnPath(const std::string& program) {
  if (program.empty()) return {};
  const std::wstring name = win32::Wide(program);
  // A name without an extension is looked up as a program (.exe).
  const wchar_t* extension = name.find(L'.') == std::wstring::npos ? L".exe" : nullptr;
  std::wstring found(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::SearchPathW(nullptr, name.c_str(), extension,
                                  static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (n == 0) return {};
    if (n < found.size()) {
      found.resize(n);
      break;
    }
    found.resize(n + 1);
  }
  const DWORD attributes = ::GetFileAttributesW(found.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {};
  }
  return win32::Narrow(found);
}

namespace {

// One argument quoted as CommandLineToArgvW reads it back.
std::wstring QuotedArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      quoted.append(backslashes * 2 + 1, L'\\');
    else
      quoted.append(backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  const std::string program = FindOnPath(argv[0]);
  if (program.empty()) return false;
  std::wstring commandLine = QuotedArgument(win32::Wide(program));
  for (size_t i = 1; i < argv.size(); ++i)
    commandLine += L" " + QuotedArgument(win32::Wide(argv[i]));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const std::wstring application = win32::Wide(program);
  if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &process)) {
    return false;
  }
  // Nothing waits for it: the handles go at once.
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

void OpenFolderInFileManager(const std::string& folder) {
  // Explorer opens the folder; without a shell nothing happens.
  ::ShellExecuteW(nullptr, L"open", win32::Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool PlaySoundFile(const std::string& file) {
  return ::PlaySoundW(win32::Wide(file).c_str(), nullptr,
                      SND_FILENAME | SND_ASYNC | SND_NODEFAULT) != FALSE;
}

}  // namespace bq
