#pragma once
// Reading and rewriting single header lines. A line is one whole header
// without its line end: name, colon, blank, value, then parameters each
// introduced by "; ". Double quotes open and close a quoted stretch in which
// colons and semicolons mean nothing. Names compare without regard to the
// case of a to z.
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// Index of the n-th line (counting from 0) that starts with `prefix`,
// ignoring case; -1 when there is none. Labels are searched as "Label:".
int FindHeaderLine(const std::vector<std::string>& lines, std::string_view prefix, int occurrence = 0);

// Strips leading tabs and blanks and trailing blanks (trailing tabs stay).
std::string TrimBlanks(std::string_view text);
// Strips leading and trailing blanks and tabs.
std::string TrimBlanksAndTabs(std::string_view text);

// The value part of a line: after the first unquoted colon, up to the next
// unquoted semicolon; trimmed, with one enclosing pair of double quotes removed.
std::string HeaderLineValue(std::string_view line);

// The value of the parameter `name` of a line (quotes removed), or empty.
std::string HeaderLineParam(std::string_view line, std::string_view name);

// The line with its value part replaced by `value`; parameters stay.
std::string ReplaceHeaderLineValue(std::string_view line, std::string_view value);

// The line with parameter `name` set to `value`, in place when present,
// appended as "; name=value" otherwise. Values that need quotes are passed
// with them.
std::string ReplaceHeaderLineParam(std::string_view line, std::string_view name, std::string_view value);

// A value that is about to become part of a header line, with every CR and
// LF replaced by a blank: a value from outside (an address, a file name)
// must not be able to start a header line of its own.
std::string HeaderSafe(std::string_view value);

// A file name safe on every file system: trimmed, at most 254 characters,
// control characters and : \ / * ? " < > | ' replaced by "_".
std::string SafeFileName(std::string_view name);

// ASCII-only case helpers: only a to z / A to Z change.
std::string UpperCaseAscii(std::string_view text);
std::string LowerCaseAscii(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);

} // namespace postello
