#include "send/TSendPacer.h"

#include <algorithm>
#include <thread>

namespace postello {

bool IsRateLimitReply(const TSendResult& result) {
  if (result.ReplyCode != 421 && result.ReplyCode != 451) return false;
  std::string lower(result.Reason);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower.find("too many") != std::string::npos || lower.find("rate") != std::string::npos ||
         lower.find("try again later") != std::string::npos;
}

TSendPacer::TSendPacer(int ratePerMinute) : FRate(std::max(0, ratePerMinute)) {}

bool TSendPacer::WaitUntil(TTime when) {
  for (;;) {
    if (Cancel != nullptr && *Cancel) return false;
    const TTime now = Now();
    if (now >= when) break;
    const TMs left = std::chrono::ceil<TMs>(when - now);
    if (OnWait) OnWait(left);
    const TMs slice = std::min(left, TMs(1000));
    if (Sleep) Sleep(slice);
    else std::this_thread::sleep_for(slice);
  }
  if (OnWait) OnWait(TMs(0));
  return true;
}

bool TSendPacer::WaitTurn() {
  // Held through the wait: a session behind this one waits its own turn
  // after it, so starts stay spaced across all sessions.
  std::lock_guard<std::mutex> hold(FLock);
  if (FRate > 0 && FStarted && !WaitUntil(FNext)) return false;
  const TTime now = Now();
  if (FRate > 0) {
    const auto interval = std::chrono::duration_cast<TTime::duration>(std::chrono::minutes(1)) / FRate.load();
    FNext = std::max(now, FStarted ? FNext : now) + interval;
  }
  FStarted = true;
  FRecent.push_back(now);
  while (!FRecent.empty() && now - FRecent.front() >= std::chrono::minutes(1)) FRecent.pop_front();
  return true;
}

void TSendPacer::Halve() {
  // Without a set rate, what went out in the last minute was too much.
  const int base = FRate > 0 ? FRate.load() : static_cast<int>(FRecent.size());
  FRate = std::max(1, base / 2);
}

TSendResult TSendPacer::Deliver(const TOutgoingMail& mail,
                                const std::function<TSendResult(const TOutgoingMail&)>& deliver) {
  for (int halvings = 0;; ++halvings) {
    if (!WaitTurn()) return TSendResult::Interrupted("vom Benutzer abgebrochen");
    TSendResult result = deliver(mail);
    // Once the end of the data is out the server may have the message,
    // whatever its reply says.
    if (result.Delivered || result.Cancelled || result.DataEndSent || result.Uncertain ||
        !IsRateLimitReply(result) || halvings == MaxHalvings)
      return result;
    // The server asked for a break: a full pause for every session, then
    // the same message at the lower rate.
    std::lock_guard<std::mutex> hold(FLock);
    Halve();
    const auto interval = std::chrono::duration_cast<TMs>(std::chrono::minutes(1)) / FRate.load();
    if (!WaitUntil(Now() + std::max(LimitPause, interval))) return result;
    FNext = Now();
  }
}

} // namespace postello
