#include <windows.h>

#include "cli/console.h"

namespace bq::cli {

namespace {

HANDLE StreamHandle(ConsoleStream stream) {
  switch (stream) {
    case ConsoleStream::Input:
      return ::GetStdHandle(STD_INPUT_HANDLE);
    case ConsoleStream::Output:
      return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case ConsoleStream::Error:
      return ::GetStdHandle(STD_ERROR_HANDLE);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool IsTerminal(ConsoleStream stream) {
  const HANDLE handle = StreamHandle(stream);
  DWORD mode = 0;
  // Only a console answers GetConsoleMode; a file or a pipe does not.
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

int TerminalColumns(ConsoleStream stream) {
  if (stream == ConsoleStream::Input) stream = ConsoleStream::Output;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(StreamHandle(stream), &info)) return 0;
  // The window's width, not the buffer's (which may be far wider).
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace bq::cli
