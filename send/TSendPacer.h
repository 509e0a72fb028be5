#pragma once
// The sending rate of a run: at most N messages a minute, and the pause
// and retry after a server's rate-limit reply.
#include "smtp/TOutgoingMail.h"
#include "smtp/TSendResult.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>

namespace postello {

// True for a message refused by a reply coded 421 or 451 whose text
// speaks of a rate limit ("too many", "rate", "try again later", letters
// compared without case). Only the reply code counts as the code: digits
// inside a reason text never do.
bool IsRateLimitReply(const TSendResult& result);

// Spaces the starts of messages so that no more than RatePerMinute begin
// in any minute, and handles rate-limit replies: pause, halve the rate,
// retry the same message, up to MaxHalvings times. A message whose end of
// data went out is never tried again.
//
// Time comes from Now and passes in Sleep, both replaceable so that tests
// run on a fake clock. Sleep is given slices of at most a second and the
// pacer checks Cancel between them, so a waiting run stops at once.
// WaitTurn and Deliver may be called from several sessions' threads at
// once; OnWait is then called on the thread that waits.
class TSendPacer {
public:
  using TTime = std::chrono::steady_clock::time_point;
  using TMs = std::chrono::milliseconds;
  static constexpr int MaxHalvings = 3;
  // The pause after a rate-limit reply when no rate was set.
  static constexpr TMs LimitPause{60000};

  explicit TSendPacer(int ratePerMinute);

  std::function<TTime()> Now = [] { return std::chrono::steady_clock::now(); };
  std::function<void(TMs)> Sleep;  // empty: std::this_thread::sleep_for
  const std::atomic<bool>* Cancel = nullptr;
  // Called before and during a wait with the time still to wait (0 when
  // the wait is over), for the place of the status text.
  std::function<void(TMs)> OnWait;

  // Messages a minute now; 0: no limit.
  int Rate() const { return FRate.load(); }
  // Waits until the next message may start. False when Cancel ended the
  // wait.
  bool WaitTurn();
  // Delivers the message with deliver, waiting its turn; on a rate-limit
  // reply pauses, halves the rate and tries again, at most MaxHalvings
  // times, after which the last result stands.
  TSendResult Deliver(const TOutgoingMail& mail, const std::function<TSendResult(const TOutgoingMail&)>& deliver);

private:
  bool WaitUntil(TTime when);
  void Halve();

  std::mutex FLock;  // the schedule below, and the right to wait for it
  std::atomic<int> FRate;
  TTime FNext{};
  bool FStarted = false;
  std::deque<TTime> FRecent;  // starts within the last minute
};

} // namespace postello
