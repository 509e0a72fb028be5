#pragma once
// The plain text an HTML mail carries beside its HTML, derived from the
// HTML while "Reinen Text automatisch aus dem HTML-Code erzeugen" is on.
//
// The rules keep the lines the program has always made where they read
// well, odd results included:
// - Text outside tags is copied; tags are dropped. A ">" inside a
//   double-quoted attribute value does not end the tag. The content of
//   <style>, <script> and <title> up to its closing tag, and everything in
//   <head> up to </head>, <body> or the first tag that cannot stand in a
//   head, is skipped.
// - Character references (&#8222;, &#x201E;, &bdquo;, &amp;, the Latin-1
//   names) become their Windows-1252 byte; &nbsp; becomes a blank and a
//   soft hyphen nothing. Characters the code page lacks become an ASCII
//   stand-in ("->" for an arrow, "<=" ...) or '?'. An unknown name, or one
//   without its ";", stays as it is.
// - A tag's upper-cased text (attributes included) that is "BR", "P" or
//   "DIV", or holds "BR ", "P " or "DIV " anywhere, outputs the current line,
//   even an empty one; "TR"/"TR " outputs it only when it holds more than
//   blanks (and else drops it). So <td valign=top > counts as a paragraph
//   ("P " in "TOP "), while <br/>, </p> and </div> start nothing.
// - <li> ends a line that holds text and starts the next with "- ".
// - "TD"/"TD " and <th> separate a cell from the text before it in the
//   row by a tab; on a line of blanks they start the line afresh.
// - Each line end of the HTML appends one blank to a current line that is
//   neither empty nor a single blank. White space inside a line is not
//   collapsed, but lines lose their trailing blanks and tabs, and a run of
//   empty lines becomes one.
// - A tag may continue on the next line; its parts are joined without a
//   separator. An unfinished last tag is dropped.
// - A comment runs from "<!--" to the next "-->", over lines and quotes,
//   and is dropped with its line breaks; an unfinished one runs to the
//   end. So Outlook's "<!--[if mso]>...<![endif]-->" goes, while the text
//   between "<!--[if !mso]><!-->" and "<!--<![endif]-->" stays.
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
