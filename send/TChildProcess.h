#pragma once
// Runs an external program without a shell: the message goes to its
// standard input, its standard output comes back, bounded in time and in
// size. Virtual, so that callers can be given a stand-in.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

struct TChildResult {
  bool Started = false;     // false: the program could not be run at all
  int StartErrno = 0;       // why not (ENOENT: no such program)
  bool TimedOut = false;    // killed when the time was up
  bool Cancelled = false;   // killed because Cancel was set
  bool Truncated = false;   // more output than kept; the rest was read and dropped
  int ExitCode = -1;        // -1 when killed by a signal
  std::string Output;       // the first MaxOutput bytes of standard output
};

class TChildProcess {
public:
  virtual ~TChildProcess() = default;
  // argv[0] is the program, looked up in PATH when it holds no "/".
  // Standard error goes nowhere. The child is killed when timeout has
  // passed, and is always waited for.
  // The child is also killed, within a fraction of a second, once Cancel
  // is set.
  virtual TChildResult Run(const std::vector<std::string>& argv, std::string_view input,
                           std::chrono::milliseconds timeout, std::size_t maxOutput);

  // Set from another thread to stop a running child; none: only the time
  // limit stops it.
  const std::atomic<bool>* Cancel = nullptr;
};

} // namespace postello
