#pragma once
// Ctrl-C for a command that waits on the network: while a guard lives,
// SIGINT only sets a flag, which the command hands to its sockets and
// loops as their cancel flag, so a wait ends at once and the work stops
// at the next safe point. The previous handling comes back with the
// guard's end.
#include <signal.h>

#include <atomic>

namespace postello {

class TInterruptGuard {
public:
  // Clears the flag and takes over SIGINT.
  TInterruptGuard();
  ~TInterruptGuard();
  TInterruptGuard(const TInterruptGuard&) = delete;
  TInterruptGuard& operator=(const TInterruptGuard&) = delete;

  // Set by Ctrl-C; lives as long as the program.
  static std::atomic<bool>& Flag();

private:
  struct sigaction FOld {};
};

} // namespace postello
