#pragma once
// Helpers the Windows platform files share: the program's UTF-8 text to and
// from the wide text of the Win32 calls, and the system's error codes in the
// errno terms the rest of the program uses.

#include <windows.h>

#include <string>

namespace bq::win32 {

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Narrow(const wchar_t* text, size_t size);

// The errno value for a Win32 error (EIO for one without an equivalent).
int ErrnoFromWin32(DWORD error);
// The system's message for a Win32 error, without the trailing line break.
std::string Win32ErrorText(DWORD error);

// Gives the file temporary the name path unless path is taken, in one step
// where the file system allows it; 0, or the Win32 error
// (ERROR_ALREADY_EXISTS for a taken name).
DWORD PlaceNoReplace(const std::wstring& temporary, const std::wstring& path);

// A handle closed when it goes out of scope.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(other.Release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = other.Release();
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  // Closes the handle; false (with GetLastError set) when closing failed.
  bool Reset() {
    bool ok = true;
    if (valid()) ok = ::CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace bq::win32
