#pragma once
// The replies the reading of the reply mailbox has taken over, kept in
// "rueckmeldungen.csv" of the data folder (UTF-8 with byte order mark,
// semicolons, a header row, lines ending in CR LF, readable by its owner
// only): which report was processed, so a message whose block line was
// written but which was not yet moved is not counted again, and which
// runs an address bounced softly in, so that three of them block it.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace postello {

// The file cannot be read or written; what() is German and names it.
class EReplyLogError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// One processed report and one address it was about (Windows-1252).
struct TReplyLogLine {
  std::string Date;      // when it was taken over, "2024-05-01 10:00:00"
  std::string Kind;      // InboxKindText of the report's kind
  std::string Address;
  std::string Status;    // status code or reason
  std::string ReportId;  // the report's Message-ID, else "uid:<uidvalidity>:<uid>"
  std::string Run;       // journal file name of the run it answers; "" unknown

  bool operator==(const TReplyLogLine&) const = default;
};

class TReplyLog {
public:
  static constexpr const char* kFileName = "rueckmeldungen.csv";
  // A file beyond these limits is none this program wrote.
  static constexpr std::size_t kMaxLine = 64 * 1024;
  static constexpr std::size_t kMaxLines = 2000000;

  static std::string PathIn(const std::string& dataDir);
  // Empty when the file does not exist; throws EReplyLogError for a file
  // that cannot be read or holds a damaged line.
  static TReplyLog Load(const std::string& dataDir);
  // Replaces the file safely, mode 0600. Throws EReplyLogError.
  void Save(const std::string& dataDir) const;
  std::string Csv() const;

  void Add(TReplyLogLine line);
  // Some line names this report.
  bool Holds(std::string_view reportId) const;
  // Per address (TBlockList::Key) the different runs it bounced softly
  // in, known runs only; softKind is the kind text of a soft bounce.
  std::unordered_map<std::string, std::vector<std::string>> SoftBounceRuns(std::string_view softKind) const;

  const std::vector<TReplyLogLine>& Lines() const { return FLines; }

private:
  std::vector<TReplyLogLine> FLines;
  std::unordered_set<std::string> FReports;
};

} // namespace postello
