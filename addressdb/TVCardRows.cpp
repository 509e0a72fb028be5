#include "addressdb/TVCardRows.h"

#include "addressdb/AddressDb.h"

#include "core/Cp1252.h"
#include "core/HexValue.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>

namespace postello {

namespace {

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=' && i + 2 < s.size() + 0 && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Text of a charset to Windows-1252. Without a charset, valid UTF-8 is
// UTF-8 (what 3.0 and 4.0 prescribe) and anything else Windows-1252 (what
// old Windows address books wrote).
std::string ToCp1252(const std::string& bytes, std::string charset) {
  charset = UpperCaseAZ(charset);
  if (charset.empty()) return LooksLikeUtf8(bytes) ? Utf8ToCp1252(bytes) : bytes;
  if (charset == "UTF-8" || charset == "UTF8") return Utf8ToCp1252(bytes);
  if (charset == "WINDOWS-1252" || charset == "CP1252" || charset == "US-ASCII" || charset == "ASCII") return bytes;
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return LooksLikeUtf8(bytes) ? Utf8ToCp1252(bytes) : bytes;
  std::string utf8;
  std::string in = bytes;
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    utf8.append(buffer, sizeof buffer - outLeft);
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      utf8 += '?';  // a byte the charset does not know
      ++inPtr;
      --inLeft;
    }
  }
  iconv_close(cd);
  return Utf8ToCp1252(utf8);
}

// Splits at unescaped ';' (N, ORG) when split is set, and resolves \, \;
// \n \\ in each piece.
std::vector<std::string> Components(std::string_view value, bool split = true) {
  std::vector<std::string> out(1);
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      const char e = value[++i];
      out.back() += e == 'n' || e == 'N' ? '\n' : e;
    } else if (c == ';' && split) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

std::string Trim(std::string s) {
  const auto notSpace = [](char c) { return c != ' ' && c != '\t'; };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
  s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
  return s;
}

} // namespace

TVCardRows::TVCardRows(std::unique_ptr<std::istream> in, const std::string& fileName)
    : mIn(std::move(in)), mFileName(fileName) {
  mFormatName = "vCard";
}

bool TVCardRows::ReadPhysical(std::string& line) {
  line.clear();
  std::streambuf* buf = mIn->rdbuf();
  int c = buf->sbumpc();
  if (c == std::char_traits<char>::eof()) return false;
  ++mPhysicalLine;
  while (c != std::char_traits<char>::eof() && c != '\n') {
    if (c != '\r' && line.size() <= kMaxPropertyBytes) line += static_cast<char>(c);
    c = buf->sbumpc();
  }
  if (mPhysicalLine == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  return true;
}

// A property over its folded lines: a following line that begins with a
// blank continues it; in 2.1 a quoted-printable value ending in '=' goes on
// in the next line.
bool TVCardRows::ReadLogical(std::string& line, std::size_t& lineNumber) {
  if (!mHaveAhead && !ReadPhysical(mAhead)) return false;
  mHaveAhead = false;
  line.swap(mAhead);
  lineNumber = mPhysicalLine;
  const std::string upperHead = UpperCaseAZ(line.substr(0, std::min(line.find(':'), line.size())));
  const bool qp = upperHead.find("QUOTED-PRINTABLE") != std::string::npos;
  while (ReadPhysical(mAhead)) {
    const bool folded = !mAhead.empty() && (mAhead[0] == ' ' || mAhead[0] == '\t');
    const bool softBreak = qp && !line.empty() && line.back() == '=';
    if (!folded && !softBreak) {
      mHaveAhead = true;
      break;
    }
    if (softBreak) {
      line.pop_back();
      if (line.size() <= kMaxPropertyBytes) line += mAhead;
    } else if (line.size() <= kMaxPropertyBytes) {
      line.append(mAhead, 1);
    }
  }
  return true;
}

bool TVCardRows::ParseProperty(const std::string& line, TProperty& property) {
  bool quoted = false;
  std::size_t colon = std::string::npos;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) {
      colon = i;
      break;
    }
  }
  if (colon == std::string::npos) return false;
  property.value = line.substr(colon + 1);
  property.params.clear();
  std::vector<std::string> pieces(1);
  quoted = false;
  for (std::size_t i = 0; i < colon; ++i) {
    if (line[i] == '"') quoted = !quoted;
    else if (line[i] == ';' && !quoted) pieces.emplace_back();
    else pieces.back() += line[i];
  }
  property.name = UpperCaseAZ(pieces[0].substr(pieces[0].rfind('.') + 1));
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const std::size_t eq = pieces[i].find('=');
    if (eq == std::string::npos) {
      // 2.1 names bare values: "PREF", "INTERNET", "QUOTED-PRINTABLE".
      const std::string bare = UpperCaseAZ(Trim(pieces[i]));
      property.params.emplace_back(bare == "QUOTED-PRINTABLE" || bare == "BASE64" ? "ENCODING" : "TYPE", bare);
    } else {
      property.params.emplace_back(UpperCaseAZ(Trim(pieces[i].substr(0, eq))), pieces[i].substr(eq + 1));
    }
  }
  return true;
}

bool TVCardRows::Next(std::vector<std::string>& cells) {
  if (!mHeaderGiven) {
    mHeaderGiven = true;
    cells = kVCardColumns;
    mLine = 1;
    return true;
  }
  std::string line;
  std::size_t lineNumber = 0;
  TProperty p;
  while (ReadLogical(line, lineNumber)) {
    if (!ParseProperty(line, p) || p.name != "BEGIN" || UpperCaseAZ(Trim(p.value)) != "VCARD") continue;
    const std::size_t begin = lineNumber;
    std::vector<std::string> row(kVCardColumns.size());
    std::string email;
    int emailRank = 1000;
    bool hasEmail = false;
    int depth = 1;
    while (depth > 0 && ReadLogical(line, lineNumber)) {
      if (!ParseProperty(line, p) || line.size() > kMaxPropertyBytes) continue;
      const std::string upperValue = UpperCaseAZ(Trim(p.value));
      if (p.name == "BEGIN" && upperValue == "VCARD") ++depth;
      if (p.name == "END" && upperValue == "VCARD") --depth;
      if (depth != 1 || (p.name != "N" && p.name != "FN" && p.name != "ORG" && p.name != "EMAIL")) continue;
      std::string charset, encoding;
      int rank = 1000;
      for (const auto& [key, val] : p.params) {
        const std::string v = UpperCaseAZ(val);
        if (key == "CHARSET") charset = val;
        if (key == "ENCODING") encoding = v;
        if (key == "PREF") rank = std::clamp(std::atoi(val.c_str()), 1, 100);
        if (key == "TYPE" && (v == "PREF" || v.find("PREF,") == 0 || v.find(",PREF") != std::string::npos))
          rank = std::min(rank, 1);
      }
      const std::string raw = encoding == "QUOTED-PRINTABLE" ? DecodeQuotedPrintable(p.value) : p.value;
      if (encoding == "B" || encoding == "BASE64") continue;
      const bool structured = p.name == "N" || p.name == "ORG";
      const std::vector<std::string> parts = Components(ToCp1252(raw, charset), structured);
      const auto part = [&](std::size_t i) { return i < parts.size() ? Trim(parts[i]) : std::string(); };
      if (p.name == "N") {
        row[1] = part(0);
        row[2] = part(1);
        row[3] = part(3);
      } else if (p.name == "FN") {
        row[4] = part(0);
      } else if (p.name == "ORG") {
        row[5] = part(0);
      } else if (p.name == "EMAIL") {
        std::string address = part(0);
        if (address.compare(0, 7, "mailto:") == 0) address.erase(0, 7);
        if (address.empty()) continue;
        if (!hasEmail || rank < emailRank) {
          email = address;
          emailRank = rank;
          hasEmail = true;
        }
      }
    }
    if (hasEmail) {
      row[0] = email;
      cells = std::move(row);
      mLine = begin;
      return true;
    }
    std::string name = !row[4].empty() ? row[4] : Trim(row[2] + " " + row[1]);
    if (name.empty()) name = row[5];
    mSkipped.push_back({begin, name, depth > 0 ? "keine E-Mail-Adresse; die Karte endet nicht (END:VCARD fehlt)"
                                               : "keine E-Mail-Adresse"});
  }
  cells.clear();
  return false;
}

} // namespace postello
