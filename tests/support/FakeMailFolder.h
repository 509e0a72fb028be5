#pragma once
// A mail folder in memory for the tests of reading the reply mailbox.
#include "imap/TMailFolder.h"

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace postello::test {

// A folder in memory, in batches of three; Calls records what changes it
// (and the fetching of leading parts).
class TFakeMailFolder : public TMailFolder {
public:
  std::map<std::uint32_t, std::string> Messages;  // uid -> header + body
  std::vector<std::string> Calls;
  bool MoveFails = false;

  std::uint32_t UidValidity() const override { return 77; }
  std::uint32_t Count() const override { return static_cast<std::uint32_t>(Messages.size()); }
  void FetchHeaders(const std::function<bool(std::vector<TMailItem>&& batch)>& perBatch) override {
    std::vector<TMailItem> batch;
    for (const auto& [uid, bytes] : Messages) {
      const std::size_t end = bytes.find("\r\n\r\n");
      batch.push_back({uid, bytes.size(), end == std::string::npos ? bytes : bytes.substr(0, end + 4)});
      if (batch.size() == 3 && !perBatch(std::exchange(batch, {}))) return;
    }
    if (!batch.empty()) perBatch(std::move(batch));
  }
  std::vector<std::pair<std::uint32_t, std::string>> FetchPrefixes(const std::vector<std::uint32_t>& uids,
                                                                  std::size_t maxBytes) override {
    Calls.push_back("prefixes " + std::to_string(uids.size()) + " " + std::to_string(maxBytes));
    std::vector<std::pair<std::uint32_t, std::string>> out;
    for (std::uint32_t uid : uids) out.emplace_back(uid, Messages.at(uid));
    return out;
  }
  void EnsureFolder(const std::string& folder) override { Calls.push_back("ensure " + folder); }
  void Move(const std::vector<std::uint32_t>& uids, const std::string& folder) override {
    if (MoveFails) throw std::runtime_error("Verbindung verloren");
    std::string call = "move";
    for (std::uint32_t uid : uids) {
      call += " " + std::to_string(uid);
      Messages.erase(uid);
    }
    Calls.push_back(call + " " + folder);
  }
};

} // namespace postello::test
