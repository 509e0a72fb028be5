#include "send/TSendPool.h"

#include "send/TSendRun.h"

namespace postello {

TSendPool::TSendPool(int sessions, TMakeSession makeSession, TDeliver deliver)
    : FMakeSession(std::move(makeSession)), FDeliver(std::move(deliver)) {
  if (sessions < 1) sessions = 1;
  FRunning = sessions;
  FThreads.reserve(static_cast<std::size_t>(sessions));
  for (int i = 0; i < sessions; ++i) FThreads.emplace_back([this] { Work(); });
}

TSendPool::~TSendPool() { Shutdown(); }

int TSendPool::InFlight() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FInFlight;
}

void TSendPool::Submit(TOutgoingMail mail) {
  {
    std::lock_guard<std::mutex> hold(FLock);
    FQueue.push_back(std::move(mail));
    ++FInFlight;
  }
  FWork.notify_one();
}

std::optional<TSendPool::TDone> TSendPool::TakeDone() {
  std::lock_guard<std::mutex> hold(FLock);
  if (FDone.empty()) return std::nullopt;
  TDone done = std::move(FDone.front());
  FDone.pop_front();
  --FInFlight;
  return done;
}

void TSendPool::WaitDone() {
  std::unique_lock<std::mutex> hold(FLock);
  FReady.wait(hold, [this] { return !FDone.empty() || FInFlight == 0; });
}

void TSendPool::Stop() {
  {
    std::lock_guard<std::mutex> hold(FLock);
    FStop = true;
  }
  FWork.notify_all();
}

bool TSendPool::Stopped() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FRunning == 0;
}

void TSendPool::Shutdown() {
  Stop();
  for (std::thread& t : FThreads) t.join();
  FThreads.clear();
}

void TSendPool::Work() {
  std::unique_ptr<TSmtpSession> session;
  for (;;) {
    TOutgoingMail mail;
    {
      std::unique_lock<std::mutex> hold(FLock);
      FWork.wait(hold, [this] { return FStop || !FQueue.empty(); });
      if (FStop) break;
      mail = std::move(FQueue.front());
      FQueue.pop_front();
    }
    TSendResult result;
    try {
      if (!session) session = FMakeSession();
      result = FDeliver(*session, mail);
    } catch (...) {
      result = TSendResult(false);
    }
    {
      std::lock_guard<std::mutex> hold(FLock);
      FDone.emplace_back(std::move(mail), std::move(result));
    }
    FReady.notify_all();
    if (OnDone) OnDone();
  }
  if (session) session->Close();
  {
    std::lock_guard<std::mutex> hold(FLock);
    --FRunning;
  }
  if (OnDone) OnDone();
}

void RunOnPool(TSendRun& run, TSendPool& pool, const std::function<void()>& wait) {
  const auto waitOnce = [&] {
    if (wait) wait();
    else pool.WaitDone();
  };
  try {
    for (;;) {
      while (std::optional<TSendPool::TDone> done = pool.TakeDone()) run.Finish(done->first, done->second);
      if (!pool.Full()) {
        if (std::optional<TOutgoingMail> mail = run.NextMessage()) {
          if (mail->Deliverable) pool.Submit(std::move(*mail));
          else run.Finish(*mail, TSendResult::Failed(kControlCharacterReason));
          continue;
        }
        // Nothing more to compose; the run ends once the last result is in.
        if (!run.Sending()) break;
      }
      waitOnce();
    }
  } catch (...) {
    // What is on the wire is stopped, and what it did still counts where
    // the record allows.
    run.RequestCancel();
    while (pool.InFlight() > 0) {
      waitOnce();
      while (std::optional<TSendPool::TDone> done = pool.TakeDone()) {
        try {
          run.Finish(done->first, done->second);
        } catch (const std::exception&) {
        }
      }
    }
    try {
      throw;
    } catch (const std::exception& e) {
      run.Abort(e.what());
      throw;
    } catch (...) {
      run.Abort();
      throw;
    }
  }
}

} // namespace postello
