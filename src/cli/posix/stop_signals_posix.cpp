#include <pthread.h>
#include <signal.h>

#include "cli/stop_signals.h"

namespace bq::cli {

void CatchSignals(std::span<const int> signals, StopHandler handler) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  // No SA_RESTART: a pending question is interrupted too.
  sa.sa_flags = 0;
  for (int signal : signals) ::sigaction(signal, &sa, nullptr);
}

void BlockSignalsOnThisThread(std::span<const int> signals) {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : signals) sigaddset(&set, signal);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace bq::cli
