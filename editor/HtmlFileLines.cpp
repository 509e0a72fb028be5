#include "editor/HtmlFileLines.h"

#include "core/Cp1252.h"
#include "editor/AsciiCase.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace postello {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Whether every byte of line belongs to valid UTF-8, and whether any
// character lies beyond ASCII.
void CheckUtf8(std::string_view line, bool& valid, bool& high) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (static_cast<unsigned char>(line[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(line, i, cp);
    if (len == 0) {
      valid = false;
      return;
    }
    high = true;
    i += len;
  }
}

std::string Utf8LineToCp1252(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
      ++i;
      continue;
    }
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(line, i, cp);
    if (len == 0) {
      out += c;
      ++i;
      continue;
    }
    const int byte = UnicodeToCp1252(cp);
    if (byte >= 0) {
      out += static_cast<char>(byte);
    } else {
      out += "&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";";
    }
    i += len;
  }
  return out;
}

// Where a <meta> tag names a character set: the value after "charset=".
struct TCharsetValue {
  std::size_t Line;
  std::size_t Pos;
  std::size_t Len;
};

bool IsValueChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

void FindCharsetsIn(std::string_view line, std::size_t lineIndex, std::size_t from, std::size_t to,
                    std::vector<TCharsetValue>& found) {
  const std::string_view part = line.substr(0, to);
  std::size_t at = from;
  while ((at = FindNoCaseAscii(part, "CHARSET", at)) != std::string_view::npos) {
    std::size_t k = at + 7;
    at = k;
    while (k < part.size() && (part[k] == ' ' || part[k] == '\t')) ++k;
    if (k >= part.size() || part[k] != '=') continue;
    ++k;
    while (k < part.size() && (part[k] == ' ' || part[k] == '\t')) ++k;
    if (k < part.size() && (part[k] == '"' || part[k] == '\'')) ++k;
    std::size_t end = k;
    while (end < part.size() && IsValueChar(part[end])) ++end;
    if (end > k) found.push_back({lineIndex, k, end - k});
    at = end;
  }
}

// The charset values of all <meta> tags, also of tags spanning lines.
std::vector<TCharsetValue> FindMetaCharsets(const std::vector<std::string>& lines) {
  std::vector<TCharsetValue> found;
  bool inTag = false;
  bool inMeta = false;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const std::string_view line = lines[l];
    std::size_t i = 0;
    while (i < line.size()) {
      if (!inTag) {
        const std::size_t lt = line.find('<', i);
        if (lt == std::string_view::npos) break;
        inTag = true;
        const std::string_view name = line.substr(lt + 1, 5);
        inMeta = name.size() >= 4 && EqualsNoCaseAscii(name.substr(0, 4), "META") &&
                 (name.size() == 4 || name[4] == ' ' || name[4] == '\t' || name[4] == '/' || name[4] == '>');
        i = lt + 1;
      } else {
        const std::size_t gt = line.find('>', i);
        const std::size_t end = gt == std::string_view::npos ? line.size() : gt;
        if (inMeta) FindCharsetsIn(line, l, i, end, found);
        if (gt == std::string_view::npos) break;
        inTag = inMeta = false;
        i = gt + 1;
      }
    }
  }
  return found;
}

bool IsUtf8Name(std::string_view value) {
  return EqualsNoCaseAscii(value, "UTF-8") || EqualsNoCaseAscii(value, "UTF8");
}

std::string OpenError(const std::string& path, int err) {
  return "Die Datei \"" + Utf8ToCp1252(path) + "\" konnte nicht gelesen werden: " + std::strerror(err);
}

std::ifstream OpenForReading(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw std::runtime_error(OpenError(path, EISDIR));
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(OpenError(path, errno));
  return in;
}

} // namespace

std::vector<std::string> ReadLines(std::istream& in) {
  std::vector<std::string> lines;
  std::string current;
  bool afterCr = false;
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    const std::string_view chunk(buffer.data(), got);
    std::size_t i = 0;
    if (afterCr && chunk[0] == '\n') i = 1;
    afterCr = false;
    while (i < got) {
      const std::size_t brk = chunk.find_first_of("\r\n", i);
      if (brk == std::string_view::npos) {
        current.append(chunk, i);
        break;
      }
      current.append(chunk, i, brk - i);
      lines.push_back(std::move(current));
      current.clear();
      i = brk + 1;
      if (chunk[brk] == '\r') {
        if (i < got) {
          if (chunk[i] == '\n') ++i;
        } else {
          afterCr = true;  // the LF may open the next piece
        }
      }
    }
    if (in.eof()) break;
  }
  if (in.bad()) throw std::runtime_error("Lesefehler");
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

THtmlFileLines ReadHtmlLines(std::istream& in) {
  THtmlFileLines result;
  result.Lines = ReadLines(in);
  std::vector<std::string>& lines = result.Lines;
  bool bom = false;
  if (!lines.empty() && lines[0].compare(0, kBom.size(), kBom) == 0) {
    lines[0].erase(0, kBom.size());
    bom = true;
  }
  const std::vector<TCharsetValue> charsets = FindMetaCharsets(lines);
  bool declared = false;
  for (const TCharsetValue& c : charsets) {
    if (IsUtf8Name(std::string_view(lines[c.Line]).substr(c.Pos, c.Len))) declared = true;
  }
  bool valid = true;
  bool high = false;
  if (!bom && !declared) {
    for (const std::string& line : lines) {
      CheckUtf8(line, valid, high);
      if (!valid) break;
    }
  }
  if (!bom && !declared && !(valid && high)) return result;

  // Back to front, so the positions of earlier values on a line stay right.
  for (auto it = charsets.rbegin(); it != charsets.rend(); ++it) {
    std::string& line = lines[it->Line];
    if (IsUtf8Name(std::string_view(line).substr(it->Pos, it->Len))) line.replace(it->Pos, it->Len, "windows-1252");
  }
  for (std::string& line : lines) line = Utf8LineToCp1252(line);
  result.ConvertedFromUtf8 = true;
  return result;
}

THtmlFileLines ReadHtmlFile(const std::string& path) {
  std::ifstream in = OpenForReading(path);
  try {
    return ReadHtmlLines(in);
  } catch (const std::runtime_error&) {
    throw std::runtime_error(OpenError(path, errno ? errno : EIO));
  }
}

std::vector<std::string> ReadCp1252File(const std::string& path) {
  std::ifstream in = OpenForReading(path);
  try {
    return ReadLines(in);
  } catch (const std::runtime_error&) {
    throw std::runtime_error(OpenError(path, errno ? errno : EIO));
  }
}

} // namespace postello
