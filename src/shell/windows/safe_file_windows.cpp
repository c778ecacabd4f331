
#include <windows.h>

#include <cerrno>

#include "shell/safe_file.h"
#include "shell/windows/win32_text.h"

namespace bq {

namespace {

using win32::Handle;

// Writes all of data; 0, or the errno value of the failure.
int WriteAll(HANDLE file, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr)) {
      return win32::ErrnoFromWin32(::GetLastError());
    }
    done += written;
  }
  return 0;
}

// One attempt at giving the complete temporary file its final name: 0, or
// the Win32 error.
DWORD PlaceOnce(const std::wstring& temporary, const std::wstring& path, ReplaceMode mode) {
  if (mode == ReplaceMode::KeepExisting) {
    // A taken name fails, in one step where the file system allows it.
    return win32::PlaceNoReplace(temporary, path);
  }
  // ReplaceFileW keeps the replaced file's attributes and security, as the
  // POSIX rename keeps its permissions.
  if (::ReplaceFileW(path.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr)) {
    return 0;
  }
  const DWORD replaceError = ::GetLastError();
  // A target that is not there yet, or a file system where ReplaceFileW cannot
  // work: the plain move over it.
  if (::MoveFileExW(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  const DWORD moveError = ::GetLastError();
  return replaceError == ERROR_FILE_NOT_FOUND ? moveError : replaceError;
}

// Gives the complete temporary file its final name; 0, or the errno value.
// Windows refuses a rename onto a file that another program (or another
// writer's rename) holds at that moment; such a refusal is short-lived, so
// the rename is tried again for a while before it counts as failed.
int Place(const std::wstring& temporary, const std::wstring& path, ReplaceMode mode) {
  constexpr int kAttempts = 50;
  DWORD error = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    error = PlaceOnce(temporary, path, mode);
    const bool heldElsewhere = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                               error == ERROR_LOCK_VIOLATION ||
                               error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
                               error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    if (!heldElsewhere) break;
    ::Sleep(attempt < 10 ? 1 : 20);
  }
  return win32::ErrnoFromWin32(error);
}

}  // namespace

std::optional<SafeWriteError> WriteFileSafely(const std::string& path, std::string_view data,
                                              ReplaceMode mode) {
  // CREATE_NEW never opens a name someone placed there (a link above all);
  // another random name is tried instead.
  std::wstring temporary;
  Handle file;
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
    temporary = win32::Wide(RandomTemporaryName(path));
    file = Handle(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
  }
  if (!file.valid())
    return SafeWriteError{SafeWriteError::Step::Create, win32::ErrnoFromWin32(error)};

  int err = WriteAll(file.get(), data);
  if (err == 0 && !::FlushFileBuffers(file.get())) err = win32::ErrnoFromWin32(::GetLastError());
  if (!file.Reset() && err == 0) err = win32::ErrnoFromWin32(::GetLastError());
  if (err != 0) {
    ::DeleteFileW(temporary.c_str());
    return SafeWriteError{SafeWriteError::Step::Write, err};
  }
  if (err = Place(temporary, win32::Wide(path), mode); err != 0) {
    ::DeleteFileW(temporary.c_str());
    return SafeWriteError{SafeWriteError::Step::Place, err};
  }
  return std::nullopt;
}

}  // namespace bq
