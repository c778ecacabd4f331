#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/console.h"

namespace bq::cli {

namespace {

int Descriptor(ConsoleStream stream) {
  switch (stream) {
    case ConsoleStream::Input:
      return STDIN_FILENO;
    case ConsoleStream::Output:
      return STDOUT_FILENO;
    case ConsoleStream::Error:
      return STDERR_FILENO;
  }
  return -1;
}

}  // namespace

bool IsTerminal(ConsoleStream stream) {
  return ::isatty(Descriptor(stream)) == 1;
}

int TerminalColumns(ConsoleStream stream) {
  winsize size{};
  if (::ioctl(Descriptor(stream), TIOCGWINSZ, &size) == 0) return size.ws_col;
  return 0;
}

}  // namespace bq::cli
