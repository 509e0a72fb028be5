#pragma once
// Inserting a placeholder or a picture tag at the caret of a text held as
// lines (the formatted document's paragraphs, the HTML source or the plain
// text).
//
// Two ways of counting positions meet here. The editor's caret counts
// every line break as two characters (CR LF), as the stored texts have
// them. Qt's text widgets count a line break (a block boundary) as one.
// Lines never hold line-break characters; one character is one byte.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

struct TCaretInsert {
  std::vector<std::string> Lines;
  std::size_t Caret = 0;   // new caret, line breaks counted as two
  std::size_t Line = 0;    // index of the line that changed or was added
  bool Appended = false;   // the text became a new last line
};

// Finds the first line whose end (its start + length + 2) lies beyond the
// caret and puts text into it at column caret − start; the caret then
// stands right after the inserted text. A column inside the line break
// counts as the end of the line. When no line holds the caret (an empty
// target, or a caret behind the last line break or beyond the end) the
// text becomes a new last line and the caret stays where it was.
TCaretInsert InsertAtCaret(std::vector<std::string> lines, std::size_t caret, std::string_view text);

// A Qt position (line break = 1) as the editor's caret (line break = 2).
// A position beyond the end gives the end.
std::size_t CaretFromQtPosition(const std::vector<std::string>& lines, std::size_t position);

// The editor's caret as a Qt position. A caret inside a line break gives
// the end of that line; one beyond the end gives the end.
std::size_t QtPositionFromCaret(const std::vector<std::string>& lines, std::size_t caret);

} // namespace postello
