
#include <windows.h>

#include <cerrno>
#include <random>
#include <string>

#include "shell/file_system.h"
#include "shell/safe_file.h"
#include "shell/windows/win32_text.h"

namespace bq {

namespace {

using win32::Handle;

int LastErrno() {
  return win32::ErrnoFromWin32(::GetLastError());
}

// Other programs may read, append to, rename or remove a file while we hold it,
// as on POSIX systems.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Writes all of data; 0, or the errno value of the failure.
int WriteAll(HANDLE file, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr)) return LastErrno();
    done += written;
  }
  return 0;
}

}  // namespace

// A hard link fails on a taken name in one step, which a move without
// replacing does not promise everywhere (Wine checks, then renames). A file
// system without hard links gets the move. 0, or the Win32 error.
DWORD win32::PlaceNoReplace(const std::wstring& temporary, const std::wstring& path) {
  if (::CreateHardLinkW(path.c_str(), temporary.c_str(), nullptr)) {
    ::DeleteFileW(temporary.c_str());
    return 0;
  }
  const DWORD linkError = ::GetLastError();
  if (linkError == ERROR_ALREADY_EXISTS || linkError == ERROR_FILE_EXISTS) return linkError;
  return ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) ? 0
                                                                                : ::GetLastError();
}

namespace {

// A new file that appears with all of its data at once: written under a name
// of its own, then moved to path, which fails if path exists. A writer that
// appends to path meanwhile therefore never gets in before the data.
FileAppend CreateWithData(const std::string& path, std::string_view data) {
  const std::string temporary = RandomTemporaryName(path);
  const std::wstring wideTemporary = win32::Wide(temporary);
  Handle file(::CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return {false, LastErrno()};
  int err = WriteAll(file.get(), data);
  if (!file.Reset() && err == 0) err = LastErrno();
  if (err != 0) {
    ::DeleteFileW(wideTemporary.c_str());
    return {false, err};
  }
  const DWORD placeError = win32::PlaceNoReplace(wideTemporary, win32::Wide(path));
  if (placeError != 0) {
    ::DeleteFileW(wideTemporary.c_str());
    return {false, win32::ErrnoFromWin32(placeError)};
  }
  return {true, 0};
}

// Opens path for reading without ever waiting on what it names. *kind is
// FILE_TYPE_DISK for a file; folders open too, and say so in *folder.
Handle OpenForReading(const std::string& path, bool* folder) {
  Handle file(::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  *folder = false;
  if (!file.valid()) return file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(file.get()) == FILE_TYPE_DISK &&
      ::GetFileInformationByHandle(file.get(), &info)) {
    *folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  return file;
}

bool IsRegular(const Handle& file, bool folder) {
  return !folder && ::GetFileType(file.get()) == FILE_TYPE_DISK;
}

}  // namespace

FileAppend AppendToFile(const std::string& path, std::string_view data, FileOpening opening) {
  if (opening == FileOpening::CreateNew) return CreateWithData(path, data);
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end, as
  // with O_APPEND. FILE_READ_DATA is there for the lock below.
  Handle file(::CreateFileW(win32::Wide(path).c_str(),
                            FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, kShareAll, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return {false, LastErrno()};
  // Writers of other programs take turns: not every implementation of the
  // append is one step (Wine's finds the end, then writes), and two lines
  // written at once must never land on each other. The lock is on a byte far
  // past any end, so readers are never held up.
  OVERLAPPED at{};
  at.Offset = MAXDWORD;
  at.OffsetHigh = MAXDWORD >> 1;
  const bool locked = ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
  int err = WriteAll(file.get(), data);
  if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &at);
  if (!file.Reset() && err == 0) err = LastErrno();
  return {true, err};
}

namespace {

class WindowsFileReader : public FileReader {
 public:
  explicit WindowsFileReader(Handle file) : file_(std::move(file)) {}

  std::ptrdiff_t Read(char* buffer, std::size_t size, int* error) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!::ReadFile(file_.get(), buffer, want, &got, nullptr)) {
      *error = LastErrno();
      return -1;
    }
    return static_cast<std::ptrdiff_t>(got);
  }

 private:
  Handle file_;
};

}  // namespace

std::unique_ptr<FileReader> OpenRegularFileForReading(const std::string& path, int* error) {
  bool folder = false;
  Handle file = OpenForReading(path, &folder);
  if (!file.valid()) {
    *error = LastErrno();
    return nullptr;
  }
  if (!IsRegular(file, folder)) {
    *error = folder ? EISDIR : 0;
    return nullptr;
  }
  return std::make_unique<WindowsFileReader>(std::move(file));
}

bool MakeFolder(const std::string& path) {
  return ::CreateDirectoryW(win32::Wide(path).c_str(), nullptr) != 0;
}

bool MakeUniqueFolder(std::string& pattern) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  constexpr size_t kSuffix = 6;
  if (pattern.size() < kSuffix ||
      pattern.compare(pattern.size() - kSuffix, kSuffix, "XXXXXX") != 0) {
    return false;
  }
  static std::mt19937_64 engine{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string candidate = pattern;
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (size_t i = pattern.size() - kSuffix; i < pattern.size(); ++i) {
      candidate[i] = kAlphabet[pick(engine)];
    }
    if (::CreateDirectoryW(win32::Wide(candidate).c_str(), nullptr)) {
      pattern = candidate;
      return true;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool RenameFolderNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on a name already taken.
  return ::MoveFileExW(win32::Wide(from).c_str(), win32::Wide(to).c_str(), 0) != 0;
}

SmallFileRead ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string* data) {
  using Status = SmallFileRead::Status;
  bool folder = false;
  Handle file = OpenForReading(path, &folder);
  if (!file.valid()) {
    const int err = LastErrno();
    return {err == ENOENT ? Status::Missing : Status::Failed, err};
  }
  if (!IsRegular(file, folder)) return {Status::NotRegular, 0};
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return {Status::Failed, LastErrno()};
  if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) return {Status::TooLarge, 0};
  std::string text;
  char buffer[8192];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      return {Status::Failed, LastErrno()};
    }
    if (got == 0) break;
    // A file that grows while it is read stops at the limit too.
    if (text.size() + got > maxBytes) return {Status::TooLarge, 0};
    text.append(buffer, got);
  }
  *data += text;
  return {Status::Ok, 0};
}

}  // namespace bq
