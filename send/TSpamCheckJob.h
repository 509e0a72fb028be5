#pragma once
// The spam check of one composed message on a thread of its own:
// SpamAssassin takes a second or two, which a window must not stand still
// for. Dropping the job stops it: SpamAssassin is killed and the thread is
// joined, which takes a fraction of a second, not the check's time limit.
#include "send/SpamCheck.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace postello {

class TSpamCheckJob {
public:
  // Starts program on message (the bytes DATA would carry). done gets the
  // verdict on the job's thread, unless the job was dropped first.
  TSpamCheckJob(std::string program, std::string message, std::function<void(const TSpamVerdict&)> done);
  ~TSpamCheckJob();
  TSpamCheckJob(const TSpamCheckJob&) = delete;
  TSpamCheckJob& operator=(const TSpamCheckJob&) = delete;

private:
  std::atomic<bool> FCancel{false};
  std::thread FThread;
};

} // namespace postello
