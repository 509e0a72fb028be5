#pragma once
// Text cells that spreadsheets read: a cell that looks like a formula is
// written with an apostrophe in front, so that opening the file never runs
// what a record holds.
#include <string>
#include <string_view>

namespace postello {

// The byte order mark that starts the UTF-8 files made for spreadsheets.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// True for a cell starting with '=', '+', '-' or '@', also after leading
// apostrophes: a cell that already starts with apostrophes before such a
// character gets one more, so that reading strips exactly one.
bool LooksLikeFormula(std::string_view cell);

// The cell as written: an apostrophe in front when it looks like a formula.
std::string EscapeFormula(std::string_view cell);

// The cell as it was before EscapeFormula: one apostrophe taken away when
// what follows it looks like a formula.
std::string UnescapeFormula(std::string_view cell);

} // namespace postello
