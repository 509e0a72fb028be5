#pragma once
// Placeholders of a personalised mail: "[%" field name "]" stands for the
// value of that field in the recipient's address record.
#include "addressdb/TDbf.h"
#include "core/TMailRec.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// Moves table to the record at `position` of its view (filter applied,
// counted from 0) and returns text with every placeholder replaced by that
// record's field as text (a character field without its trailing padding
// blanks; leading blanks stay). Field names compare with only the letters
// a to z folded to upper case; the first matching field wins. Values are
// inserted as they are, without any escaping.
//
// What is not a complete placeholder stays as written: an unknown field
// name, "[%]", a "[" not followed by "%", and a "[" or "[%name" still open
// when the text ends. When the record cannot be reached (a negative
// position or one past the end of the view, a closed table, a read error)
// the text comes back unchanged; nothing is thrown.
std::string MergeFields(std::string_view text, TDbf& table, std::int64_t position);

// The scan alone, on the table's current record (for callers that moved
// the table themselves). Throws what reading the table throws. unknown,
// when given, receives each complete placeholder naming no field, as
// written ("[%name]"), once, in the order first met.
std::string MergeCurrentRecord(std::string_view text, const TDbf& table,
                               std::vector<std::string>* unknown = nullptr);

// text with every control character replaced by a blank: one line of a
// header or of the error log, whatever a field or an address holds.
std::string OneLine(std::string text);

// The HTML text a message of the mail sends; none for a text mail.
const std::string* SentHtml(const TMailRecFields& mail);

} // namespace postello
