#include "send/TSpamCheckJob.h"

namespace postello {

TSpamCheckJob::TSpamCheckJob(std::string program, std::string message,
                             std::function<void(const TSpamVerdict&)> done) {
  FThread = std::thread([this, program = std::move(program), message = std::move(message), done = std::move(done)] {
    TChildProcess runner;
    runner.Cancel = &FCancel;
    const TSpamVerdict verdict = TSpamCheck(runner, program).Check(message);
    if (!FCancel.load()) done(verdict);
  });
}

TSpamCheckJob::~TSpamCheckJob() {
  FCancel.store(true);
  if (FThread.joinable()) FThread.join();
}

} // namespace postello
