#include <poll.h>

#include <cerrno>

#include "records/socket_wait.h"

namespace bq::records {

SocketWait WaitForSocket(int socket, bool forWriting, std::chrono::milliseconds timeout) {
  pollfd fd{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
  const int ready = ::poll(&fd, 1, static_cast<int>(timeout.count()));
  if (ready > 0) return SocketWait::Ready;
  if (ready == 0) return SocketWait::TimedOut;
  return errno == EINTR ? SocketWait::Interrupted : SocketWait::Failed;
}

}  // namespace bq::records
