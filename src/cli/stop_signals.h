#pragma once
// The signals that stop a command (Ctrl+C, a request to terminate, a hang-up):
// catching them on the command's thread and keeping them off helper threads.
// Each operating system has its own implementation file.

#include <span>

namespace bq::cli {

using StopHandler = void (*)(int);

// Every signal of the list calls the handler from now on. A call the program
// is blocked in (a read of the terminal) is interrupted, not restarted.
void CatchSignals(std::span<const int> signals, StopHandler handler);

// The calling thread never takes the signals of the list; they go to a thread
// that does not block them.
void BlockSignalsOnThisThread(std::span<const int> signals);

}  // namespace bq::cli
