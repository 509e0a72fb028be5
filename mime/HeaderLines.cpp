#include "mime/HeaderLines.h"

namespace postello {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string StripDoubleQuotes(std::string s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

// Position of the first unquoted `wanted` at or after `from`, or npos.
std::size_t FindUnquoted(std::string_view s, char wanted, std::size_t from) {
  bool quoted = false;
  for (std::size_t i = from; i < s.size(); ++i) {
    if (s[i] == '"')
      quoted = !quoted;
    else if (!quoted && s[i] == wanted)
      return i;
  }
  return std::string_view::npos;
}

// Locates the value of parameter `name` in a line that ends with ";":
// [begin, end) of the characters after "=", or npos when absent.
std::pair<std::size_t, std::size_t> LocateParam(std::string_view s, std::string_view name) {
  constexpr auto none = std::string_view::npos;
  std::size_t colon = FindUnquoted(s, ':', 0);
  if (colon == none) return {none, none};
  bool quoted = false;
  bool inName = false;
  std::string collected;
  const std::string wanted = TrimBlanks(name);
  for (std::size_t i = colon + 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      quoted = !quoted;
      if (inName) collected += c;
      continue;
    }
    if (quoted) {
      if (inName) collected += c;
      continue;
    }
    if (c == ';') {
      inName = true;
      collected.clear();
    } else if (c == '=' && inName) {
      inName = false;
      if (SameTextAscii(TrimBlanks(collected), wanted)) {
        std::size_t end = FindUnquoted(s, ';', i + 1);
        if (end == none) end = s.size();
        return {i + 1, end};
      }
    } else if (inName) {
      collected += c;
    }
  }
  return {none, none};
}

} // namespace

std::string UpperCaseAscii(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string LowerCaseAscii(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = LowerAscii(c);
  return s;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

int FindHeaderLine(const std::vector<std::string>& lines, std::string_view prefix, int occurrence) {
  int seen = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.size() >= prefix.size() && SameTextAscii(std::string_view(line).substr(0, prefix.size()), prefix)) {
      if (seen == occurrence) return static_cast<int>(i);
      ++seen;
    }
  }
  return -1;
}

std::string TrimBlanks(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
  std::size_t last = text.size();
  while (last > first && text[last - 1] == ' ') --last;
  return std::string(text.substr(first, last - first));
}

std::string TrimBlanksAndTabs(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

std::string HeaderLineValue(std::string_view line) {
  std::size_t colon = FindUnquoted(line, ':', 0);
  if (colon == std::string_view::npos) return {};
  std::size_t end = FindUnquoted(line, ';', colon + 1);
  if (end == std::string_view::npos) end = line.size();
  return StripDoubleQuotes(TrimBlanks(line.substr(colon + 1, end - colon - 1)));
}

std::string HeaderLineParam(std::string_view line, std::string_view name) {
  std::string s = TrimBlanks(line);
  if (s.empty() || s.back() != ';') s += ';';
  auto [begin, end] = LocateParam(s, name);
  if (begin == std::string_view::npos) return {};
  return StripDoubleQuotes(TrimBlanks(std::string_view(s).substr(begin, end - begin)));
}

std::string ReplaceHeaderLineValue(std::string_view line, std::string_view value) {
  std::string s(line);
  std::size_t colon = FindUnquoted(s, ':', 0);
  if (colon == std::string::npos) {
    // Not a header line; make it one rather than lose the value.
    s += ':';
    colon = s.size() - 1;
  }
  std::size_t end = FindUnquoted(s, ';', colon + 1);
  if (end == std::string::npos) end = s.size();
  s.replace(colon + 1, end - colon - 1, " " + TrimBlanks(value));
  return s;
}

std::string ReplaceHeaderLineParam(std::string_view line, std::string_view name, std::string_view value) {
  std::string trimmed = TrimBlanks(line);
  std::string s = trimmed;
  bool appended = false;
  if (s.empty() || s.back() != ';') {
    s += ';';
    appended = true;
  }
  auto [begin, end] = LocateParam(s, name);
  if (begin == std::string::npos) return trimmed + "; " + TrimBlanks(name) + "=" + TrimBlanks(value);
  s.replace(begin, end - begin, TrimBlanks(value));
  if (appended) s.pop_back();
  return s;
}

std::string HeaderSafe(std::string_view value) {
  std::string s(value);
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

std::string SafeFileName(std::string_view name) {
  std::string s = TrimBlanks(name);
  if (s.size() > 254) s.resize(254);
  for (char& c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
    case ':': case '\\': case '/': case '*': case '?': case '"':
    case '<': case '>': case '|': case '\'':
      c = '_';
      break;
    default:
      if (u < 32) c = '_';
    }
  }
  return s;
}

} // namespace postello
