#pragma once
// The spam check of the pre-send check: SpamAssassin, run locally (no
// network tests) on a message as the run would send it, and its verdict
// in German.
#include "send/TChildProcess.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

struct TSpamRule {
  std::string Name;
  double Points = 0;
  std::string Description;  // SpamAssassin's own, English
};

struct TSpamReport {
  bool Found = false;  // the output held a score
  double Score = 0, Threshold = 0;
  std::vector<TSpamRule> Rules;
};

// Reads the X-Spam-Status and X-Spam-Report headers at the top of the
// message SpamAssassin gives back (the report header is asked for on its
// command line). Only the first header block counts, so the message's own
// text cannot pass for a verdict.
TSpamReport ParseSpamReport(std::string_view output);

// A German explanation for the common rules; SpamAssassin's description
// for the others.
std::string SpamRuleText(const TSpamRule& rule);

inline constexpr const char* kSpamCheckMissing =
    "Spam-Pr\xFC" "fung nicht verf\xFCgbar (SpamAssassin ist nicht installiert)";

// Shown in the check while SpamAssassin is still at work.
inline constexpr const char* kSpamCheckRunning = "Spam-Pr\xFC" "fung l\xE4uft ...";

struct TSpamVerdict {
  bool Spam = false;               // at or over the threshold
  std::vector<std::string> Lines;  // German (Windows-1252), one line each
};

class TSpamCheck {
public:
  static constexpr std::chrono::seconds TimeLimit{30};
  // Only the header block of the output is needed; the message echoed
  // after it is read and dropped beyond this.
  static constexpr std::size_t MaxOutput = 1024 * 1024;

  explicit TSpamCheck(TChildProcess& runner, std::string program = "spamassassin")
      : FRunner(runner), FProgram(std::move(program)) {}
  // message: the bytes DATA would carry.
  TSpamVerdict Check(std::string_view message) const;

private:
  TChildProcess& FRunner;
  std::string FProgram;
};

} // namespace postello
