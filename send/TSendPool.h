#pragma once
// Several SMTP sessions delivering at once, each on its own thread.
#include "smtp/TOutgoingMail.h"
#include "smtp/TSendResult.h"
#include "smtp/TSmtpSession.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace postello {

class TSendRun;

// A fixed number of worker threads, each owning one TSmtpSession that it
// makes on first use. The owner hands in composed messages (Submit) and
// takes the results back (TakeDone) on its own thread, so that composing
// and recording stay there; the workers only deliver. At most Sessions()
// messages are in flight: Submit expects a free place.
class TSendPool {
public:
  // Delivers one message on the worker's session; may throw (the message
  // then fails without a reason).
  using TDeliver = std::function<TSendResult(TSmtpSession&, const TOutgoingMail&)>;
  using TMakeSession = std::function<std::unique_ptr<TSmtpSession>()>;
  using TDone = std::pair<TOutgoingMail, TSendResult>;

  TSendPool(int sessions, TMakeSession makeSession, TDeliver deliver);
  // Shutdown.
  ~TSendPool();
  TSendPool(const TSendPool&) = delete;
  TSendPool& operator=(const TSendPool&) = delete;

  int Sessions() const { return static_cast<int>(FThreads.size()); }
  // Messages submitted whose result has not been taken.
  int InFlight() const;
  bool Full() const { return InFlight() >= Sessions(); }

  void Submit(TOutgoingMail mail);
  // A finished message, if there is one, without waiting.
  std::optional<TDone> TakeDone();
  // Waits until a result can be taken or nothing is in flight.
  void WaitDone();
  // Called on a worker thread each time a result is ready (a window wakes
  // its event loop with it). Set before the first Submit.
  std::function<void()> OnDone;
  // Asks the workers to end their sessions with QUIT and stop, without
  // waiting; messages still waiting for a session are dropped. Each
  // worker calls OnDone once more as it stops.
  void Stop();
  // Every worker has stopped (after Stop).
  bool Stopped() const;
  // Stop, then joins the threads. Further calls do nothing.
  void Shutdown();

private:
  void Work();

  TMakeSession FMakeSession;
  TDeliver FDeliver;
  std::vector<std::thread> FThreads;
  mutable std::mutex FLock;
  std::condition_variable FWork, FReady;
  std::deque<TOutgoingMail> FQueue;
  std::deque<TDone> FDone;
  int FInFlight = 0;
  int FRunning = 0;  // workers not yet stopped
  bool FStop = false;
};

// The run's messages through the pool: composed and recorded on the
// calling thread, delivered on the pool's sessions, results recorded in
// the order they come. wait is called while results are outstanding and
// must return when one may be ready (empty: TSendPool::WaitDone); a
// window lets its events through there. Throws as TSendRun::Run does; the
// sessions in flight are then cancelled through the run, their results
// counted as far as possible, and the run is aborted.
void RunOnPool(TSendRun& run, TSendPool& pool, const std::function<void()>& wait = {});

} // namespace postello
