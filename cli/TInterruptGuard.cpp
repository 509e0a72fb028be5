#include "cli/TInterruptGuard.h"

namespace postello {
namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted = true; }

} // namespace

TInterruptGuard::TInterruptGuard() {
  gInterrupted = false;
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, &FOld);
}

TInterruptGuard::~TInterruptGuard() { sigaction(SIGINT, &FOld, nullptr); }

std::atomic<bool>& TInterruptGuard::Flag() { return gInterrupted; }

} // namespace postello
