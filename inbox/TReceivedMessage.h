#pragma once
// A received message as the MIME library reads it: the one place that
// speaks to GMime. Headers come back unfolded and decoded to Windows-1252,
// the part tree as a flat list, and the header blocks of delivery and
// feedback reports as fields. Damaged input never throws: what cannot be
// read is simply missing.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// One field of a header block: the name as written, the value unfolded and
// decoded to Windows-1252, and the value's bytes as the message has them
// (for address lists, whose decoded names may hold commas).
struct THeaderField {
  std::string Name;
  std::string Value;
  std::string Raw;
};
using THeaderBlock = std::vector<THeaderField>;

// One part of the tree, in depth-first order. The parts of an enclosed
// message (message/rfc822 and the like) are not walked: they belong to
// another message.
struct TReceivedPart {
  std::string MediaType;  // "multipart/report", lower case
  std::string ReportType; // the report-type parameter, lower case
  int Depth = 0;          // 0 for the message's own body
};

class TReceivedMessage {
 public:
  // Reads at most kReadLimit bytes of the message (as much as the mailbox
  // reader fetches of one), of its own header block at most kHeaderLimit,
  // and of a report's status part at most kStatusLimit: what lies beyond is
  // never looked at, whatever the caller hands over. The library keeps
  // some hundred bytes per header line, so these bound what a hostile
  // message costs (some 30 MB and a twentieth of a second at worst), while
  // every report seen in the wild fits: its status part comes before the
  // returned message and names one recipient per message sent.
  static constexpr std::size_t kReadLimit = 256 * 1024;
  static constexpr std::size_t kHeaderLimit = 64 * 1024;
  static constexpr std::size_t kStatusLimit = 64 * 1024;

  explicit TReceivedMessage(std::string_view bytes);
  ~TReceivedMessage();
  TReceivedMessage(const TReceivedMessage&) = delete;
  TReceivedMessage& operator=(const TReceivedMessage&) = delete;

  // The first field of that name (any case), "" when there is none.
  std::string Header(std::string_view name) const;
  // The addresses of an address field (To, Cc, From, ...), groups opened.
  std::vector<std::string> Addresses(std::string_view name) const;

  const std::vector<TReceivedPart>& Parts() const;
  // A part's content with its transfer encoding undone, at most cap bytes;
  // text parts converted from their charset to Windows-1252.
  std::string Content(std::size_t part, std::size_t cap) const;
  // The header blocks of a message/delivery-status,
  // message/global-delivery-status or message/feedback-report part.
  std::vector<THeaderBlock> StatusBlocks(std::size_t part) const;
  // The headers of the message a report returns: message/rfc822,
  // message/global or text/rfc822-headers.
  THeaderBlock ReturnedHeaders(std::size_t part) const;

  // One header block read by the MIME library (folded lines, encoded
  // words, raw UTF-8 or Windows-1252 bytes).
  static THeaderBlock ParseHeaderBlock(std::string_view text);
  // The addresses (Windows-1252) of an address list value as the message
  // has it (THeaderField::Raw).
  static std::vector<std::string> ParseAddresses(std::string_view raw);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

// The value of the first field of that name (any case), "" when missing.
std::string FieldValue(const THeaderBlock& block, std::string_view name);

} // namespace postello
