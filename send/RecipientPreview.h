#pragma once
// One personalised mail as the run sends it to one address record, for
// looking at before sending.
#include "addressdb/TDbf.h"
#include "core/TMailRec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace postello {

struct TRecipientPreview {
  // Merged when the mail asks for it; as in the message header, a line
  // break (any control character) of a field becomes a blank.
  std::string Subject;
  bool HasHtml = false; // a text mail sends no HTML part
  std::string Html;
  std::string Text;
  // Placeholders naming no field ("[%name]" as written), once each, from
  // the subject (when merged), the HTML part and the text: they go out as
  // written.
  std::vector<std::string> Unknown;
};

// Moves table to the record at `position` of its view (filter applied,
// counted from 0) and merges the mail for it. Throws std::out_of_range with
// a German message when the view has no such record, and what reading the
// table throws.
TRecipientPreview PreviewForRecord(const TMailRecFields& mail, TDbf& table, std::uint32_t position);

// html with every occurrence of the given placeholders wrapped in a
// highlighting <mark>, so that they stand out in a browser.
std::string MarkPlaceholders(const std::string& html, const std::vector<std::string>& placeholders);

} // namespace postello
