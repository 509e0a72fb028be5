#pragma once
// The plain text an HTML mail carries beside its HTML, derived from the
// HTML while "Reinen Text automatisch aus dem HTML-Code erzeugen" is on.
//
// The rules are kept exactly, odd results included, so a mail's text comes
// out as it always has:
// - Text outside tags is copied; tags are dropped. A ">" inside a
//   double-quoted attribute value does not end the tag.
// - A tag's upper-cased text (attributes included) that is "BR", "P" or
//   "DIV", or holds "BR ", "P " or "DIV " anywhere, outputs the current line,
//   even an empty one; "TR"/"TR " and "TD"/"TD " output it only when it is
//   neither empty nor a single blank (and else drop it). So
//   <td valign=top > counts as a paragraph ("P " in "TOP "), while <br/>,
//   </p> and </div> start nothing.
// - Each line end of the HTML appends one blank to a current line that is
//   neither empty nor a single blank.
// - Entities stay as they are (&amp; remains &amp;), white space is not
//   collapsed, scripts and styles are text. A tag may continue on the next
//   line; its parts are joined without a separator. An unfinished last
//   tag is dropped.
//
// Text is Windows-1252 bytes; the function runs on every keystroke, so it
// is one pass without backtracking.
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// htmlLines: the HTML as lines without line-break characters.
std::vector<std::string> HtmlToPlainText(const std::vector<std::string>& htmlLines);

// The same for a whole text whose lines end in CR LF, LF or a lone CR; a
// final line break starts no further line.
std::vector<std::string> HtmlToPlainText(std::string_view htmlText);

} // namespace postello
