#include "Cancellation.h"

#include <signal.h>
#include <csignal>

namespace qv::backend {
namespace {

volatile sig_atomic_t cancelled = 0;

void OnTerminate(int) { cancelled = 1; }

}  // namespace

void WatchForCancel() {
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a read waiting for data returns at once
  sigaction(SIGTERM, &action, nullptr);
  // A scheduler that goes away closes our pipes: a write then fails instead of killing us.
  signal(SIGPIPE, SIG_IGN);
}

bool Cancelled() { return cancelled != 0; }

}  // namespace qv::backend
