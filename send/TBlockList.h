#pragma once
// The block list of a data folder: addresses no run writes to, kept in
// "sperrliste.csv" (UTF-8 with byte order mark, semicolons, a header row,
// lines ending in CR LF) so that a person can also open it in a
// spreadsheet. Texts inside the program are Windows-1252.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace postello {

// The block list cannot be read or written; what() is the German text for
// the user and names the file.
class EBlockListError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct TBlockEntry {
  std::string Address;
  std::string Reason;
  std::string Date;    // "2024-05-01 10:00:00"
  std::string Source;  // who blocked it: "Hand", "Import", ...

  bool operator==(const TBlockEntry&) const = default;
};

class TBlockList {
public:
  static constexpr const char* kFileName = "sperrliste.csv";
  // Longest line and most lines a reader takes: a list beyond them is no
  // list this program wrote, and reading it must not fill the memory.
  static constexpr std::size_t kMaxLine = 64 * 1024;
  static constexpr std::size_t kMaxEntries = 1000000;

  // dataDir + kFileName (dataDir with or without its final '/').
  static std::string PathIn(const std::string& dataDir);

  // The list of a data folder; empty when the file does not exist. Throws
  // EBlockListError naming the file when it cannot be read or a line is
  // damaged: a damaged list is never taken as empty.
  static TBlockList Load(const std::string& dataDir);

  // Replaces the file safely, readable by its owner only. Throws
  // EBlockListError.
  void Save(const std::string& dataDir) const;
  // The file's bytes.
  std::string Csv() const;

  // Letters compare without case, blanks around the address do not count.
  bool Contains(std::string_view address) const;
  // False when the address is empty, holds a control character or is
  // already listed; otherwise appended (Date set to now when empty).
  bool Add(TBlockEntry entry);
  // False when the address was not listed.
  bool Remove(std::string_view address);

  const std::vector<TBlockEntry>& Entries() const { return FEntries; }
  std::size_t Size() const { return FEntries.size(); }

  // The address as compared: trimmed, ASCII letters in lower case.
  static std::string Key(std::string_view address);

  // Addresses from a file a person made (one a line, or the first column
  // of a CSV file separated by semicolons or commas, a header row
  // allowed): each text that holds an '@'. Bytes are UTF-8 or
  // Windows-1252; the result is Windows-1252.
  static std::vector<std::string> AddressesFromText(std::string_view bytes);

private:
  std::vector<TBlockEntry> FEntries;
  std::unordered_set<std::string> FKeys;  // Key of each entry
};

} // namespace postello
