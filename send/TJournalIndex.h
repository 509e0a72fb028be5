#pragma once
// Finds the message of a send run a returned report names by its
// Message-ID: which journal, which run, which message, which addresses
// and records.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace postello {

struct TJournalHit {
  std::string File;      // the journal's file name
  std::string RunStart;  // the run's start time
  int Nr = 0;            // the message's number in the run
  std::vector<std::string> Addresses;
  std::vector<std::uint32_t> RecNos;  // one per address; 0 for a typed one

  // The record number of one of the addresses (compared without case); 0
  // when it is none of them.
  std::uint32_t RecNoOf(std::string_view address) const;
};

class TJournalIndex {
public:
  // Reads every journal of the data folder once, line by line, and keeps
  // the messages whose Message-ID is among wanted (with or without angle
  // brackets), so memory follows the reports, not the journals. A journal
  // that cannot be read is passed over. Throws EJournalError when the
  // folders are not safe (CheckJournalFolders).
  static TJournalIndex Build(const std::string& dataDir, const std::vector<std::string>& wanted);

  // Null when no journal holds the Message-ID.
  const TJournalHit* Find(std::string_view messageId) const;
  std::size_t Size() const { return FHits.size(); }

  // The Message-ID as compared: without blanks and angle brackets.
  static std::string Key(std::string_view messageId);

private:
  std::unordered_map<std::string, TJournalHit> FHits;
};

} // namespace postello
