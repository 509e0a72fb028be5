#pragma once
// Stored mail texts keep CR LF between lines; the editor's memos hold lines.
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// Splits at CR LF, and at a lone LF or CR (texts from other programs). The
// empty text has no lines; a text ending in a line end ends in an empty
// line.
std::vector<std::string> SplitMemoLines(std::string_view text);

// The lines with CR LF between them (none after the last).
std::string JoinMemoLines(const std::vector<std::string>& lines);

} // namespace postello
