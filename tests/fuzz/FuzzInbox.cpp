// The sorting of received messages from any bytes. Besides crashes, leaks
// and undefined behaviour this checks what the mailbox reader relies on:
// - damaged input is never a reason to throw;
// - every address handed on for blocking is a non-empty address with '@'
//   and without line breaks, and the texts stay within their caps;
// - where the header block is said to suffice, it alone is never a bounce
//   or a complaint (those name their recipients in the body).
#include "inbox/TInboxVerdict.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>

using namespace postello;
using postello::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = postello::fuzz::AsText(data, size);
  TInboxContext context;
  context.UnsubscribeMailboxes = {"abmelden@example.org"};
  const TInboxVerdict verdict = ClassifyMessage(text, context);
  for (const TInboxRecipient& r : verdict.Recipients) {
    Check(!r.Address.empty() && r.Address.find('@') != std::string::npos, "recipient without an address");
    Check(r.Address.find_first_of("\r\n") == std::string::npos, "line break in a recipient address");
    Check(r.Diagnostic.size() <= 300, "diagnostic beyond its cap");
  }
  Check(verdict.Reason.size() <= 400, "reason beyond its cap");
  const std::size_t headerEnd = std::min(text.find("\r\n\r\n"), text.find("\n\n"));
  const std::string_view header = text.substr(0, headerEnd == std::string_view::npos ? text.size() : headerEnd + 1);
  if (!ReadsWholeMessage(header, context)) {
    const TInboxKind kind = ClassifyMessage(header, context).Kind;
    Check(kind == TInboxKind::Other || kind == TInboxKind::AutoReply || kind == TInboxKind::Unsubscribe,
          "a header said to suffice is a report");
  }
  return 0;
}
