// The console's stop requests on Windows: Ctrl+C, Ctrl+Break and the console
// window being closed reach the program through SetConsoleCtrlHandler, on a
// thread of their own, and are handed to the handler as the signal they stand
// for on POSIX systems (SIGINT for Ctrl+C, SIGTERM for the others).

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <csignal>

#include "cli/stop_signals.h"

namespace bq::cli {

namespace {

std::atomic<StopHandler> gHandler{nullptr};
std::atomic<bool> gCatchInterrupt{false};
std::atomic<bool> gCatchTerminate{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const StopHandler handler = gHandler.load();
  if (handler == nullptr) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
      if (!gCatchInterrupt) return FALSE;
      handler(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      if (!gCatchTerminate) return FALSE;
      handler(SIGTERM);
      // Closing the window ends the process once this returns: give the
      // command the moment the system allows to close the port and report.
      if (event == CTRL_CLOSE_EVENT) ::Sleep(4000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchSignals(std::span<const int> signals, StopHandler handler) {
  auto has = [&](int s) { return std::find(signals.begin(), signals.end(), s) != signals.end(); };
  gCatchInterrupt = has(SIGINT);
  gCatchTerminate = has(SIGTERM) || has(SIGBREAK);
  const bool first = gHandler.exchange(handler) == nullptr;
  if (first) ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void BlockSignalsOnThisThread(std::span<const int> signals) {
  // Console events always come on a thread of their own: nothing to keep off.
  (void)signals;
}

}  // namespace bq::cli
