#include "editor/InsertAtCaret.h"

#include <algorithm>

namespace postello {

TCaretInsert InsertAtCaret(std::vector<std::string> lines, std::size_t caret, std::string_view text) {
  TCaretInsert r;
  std::size_t start = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t end = start + lines[i].size() + 2;
    if (end > caret) {
      std::string& line = lines[i];
      const std::size_t column = std::min(caret - start, line.size());
      line.insert(column, text);
      r.Lines = std::move(lines);
      r.Caret = caret + text.size();
      r.Line = i;
      return r;
    }
    start = end;
  }
  lines.emplace_back(text);
  r.Lines = std::move(lines);
  r.Caret = caret;
  r.Line = r.Lines.size() - 1;
  r.Appended = true;
  return r;
}

std::size_t CaretFromQtPosition(const std::vector<std::string>& lines, std::size_t position) {
  std::size_t qtStart = 0;
  std::size_t caretStart = 0;
  for (const std::string& line : lines) {
    if (position <= qtStart + line.size()) return caretStart + (position - qtStart);
    qtStart += line.size() + 1;
    caretStart += line.size() + 2;
  }
  // Beyond the end: the end of the last line.
  return lines.empty() ? 0 : caretStart - 2;
}

std::size_t QtPositionFromCaret(const std::vector<std::string>& lines, std::size_t caret) {
  std::size_t qtStart = 0;
  std::size_t caretStart = 0;
  for (const std::string& line : lines) {
    if (caret < caretStart + line.size() + 2) return qtStart + std::min(caret - caretStart, line.size());
    qtStart += line.size() + 1;
    caretStart += line.size() + 2;
  }
  return lines.empty() ? 0 : qtStart - 1;
}

} // namespace postello
