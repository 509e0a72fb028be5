#pragma once
// A folder of a mailbox as the reader of replies sees it: messages by
// UID, fetched in batches, moved (never deleted) once processed. The IMAP
// mailbox is the real one; tests put messages in memory behind it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace postello {

// One message of the folder: its UID, its size as the server states it,
// and its header block (raw bytes up to and including the empty line).
struct TMailItem {
  std::uint32_t Uid = 0;
  std::uint64_t Size = 0;
  std::string Header;
};

class TMailFolder {
public:
  virtual ~TMailFolder() = default;

  // UIDVALIDITY of the open folder: UIDs are only comparable under the same one.
  virtual std::uint32_t UidValidity() const = 0;
  // Number of messages in the open folder.
  virtual std::uint32_t Count() const = 0;
  // The headers of every message, oldest first, handed over batch by batch
  // (memory stays bounded by the batch); perBatch returns false to stop.
  virtual void FetchHeaders(const std::function<bool(std::vector<TMailItem>&& batch)>& perBatch) = 0;
  // The first maxBytes bytes of each of the messages (whole when shorter),
  // fetched in batches: pairs of UID and bytes, in the order of uids.
  virtual std::vector<std::pair<std::uint32_t, std::string>> FetchPrefixes(const std::vector<std::uint32_t>& uids,
                                                                          std::size_t maxBytes) = 0;
  // Creates the folder when the mailbox does not have it ("/" separates
  // levels, whatever the server's separator is).
  virtual void EnsureFolder(const std::string& folder) = 0;
  // Moves the messages to the folder; nothing is deleted on the way that
  // did not arrive there.
  virtual void Move(const std::vector<std::uint32_t>& uids, const std::string& folder) = 0;
};

} // namespace postello
