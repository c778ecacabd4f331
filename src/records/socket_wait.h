#pragma once
// Waiting on the records server's socket, one file per operating system.

#include <chrono>

namespace bq::records {

enum class SocketWait { Ready, TimedOut, Interrupted, Failed };

// Waits up to timeout for the socket to be ready for writing (or reading).
SocketWait WaitForSocket(int socket, bool forWriting, std::chrono::milliseconds timeout);

}  // namespace bq::records
