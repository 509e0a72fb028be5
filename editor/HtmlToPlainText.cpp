#include "editor/HtmlToPlainText.h"

#include "core/Cp1252.h"
#include "core/HexValue.h"
#include "editor/AsciiCase.h"

#include <array>

namespace postello {
namespace {

struct TNamedChar {
  const char* Name;
  char32_t Code;
};

// Latin-1's names, in the order of their code points from 0xA0.
constexpr std::array<const char*, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

constexpr TNamedChar kOtherNames[] = {
    {"amp", '&'},         {"lt", '<'},          {"gt", '>'},          {"quot", '"'},        {"apos", '\''},
    {"euro", 0x20AC},     {"sbquo", 0x201A},    {"fnof", 0x0192},     {"bdquo", 0x201E},    {"hellip", 0x2026},
    {"dagger", 0x2020},   {"Dagger", 0x2021},   {"circ", 0x02C6},     {"permil", 0x2030},   {"Scaron", 0x0160},
    {"lsaquo", 0x2039},   {"OElig", 0x0152},    {"lsquo", 0x2018},    {"rsquo", 0x2019},    {"ldquo", 0x201C},
    {"rdquo", 0x201D},    {"bull", 0x2022},     {"ndash", 0x2013},    {"mdash", 0x2014},    {"tilde", 0x02DC},
    {"trade", 0x2122},    {"scaron", 0x0161},   {"rsaquo", 0x203A},   {"oelig", 0x0153},    {"Yuml", 0x0178},
    {"larr", 0x2190},     {"rarr", 0x2192},     {"harr", 0x2194},     {"lArr", 0x21D0},     {"rArr", 0x21D2},
    {"hArr", 0x21D4},     {"le", 0x2264},       {"ge", 0x2265},       {"ne", 0x2260},       {"minus", 0x2212},
    {"ensp", 0x2002},     {"emsp", 0x2003},     {"thinsp", 0x2009},   {"zwnj", 0x200C},     {"zwj", 0x200D},
    {"lrm", 0x200E},      {"rlm", 0x200F}};

// Stand-ins for characters Windows-1252 lacks that mails use for layout;
// every other such character becomes '?'.
constexpr struct {
  char32_t Code;
  const char* Text;
} kStandIns[] = {
    {0x2190, "<-"}, {0x2192, "->"}, {0x2194, "<->"}, {0x21D0, "<="}, {0x21D2, "=>"}, {0x21D4, "<=>"},
    {0x2794, "->"}, {0x27A4, "->"}, {0x2264, "<="},  {0x2265, ">="}, {0x2260, "!="}, {0x2212, "-"},
    {0x2010, "-"},  {0x2011, "-"},  {0x2012, "-"},   {0x2002, " "},  {0x2003, " "},  {0x2009, " "},
    {0x200A, " "},  {0x202F, " "},  {0x200B, ""},    {0x200C, ""},   {0x200D, ""},   {0x200E, ""},
    {0x200F, ""},   {0x2060, ""},   {0xFEFF, ""},    {0x25CF, "*"},  {0x25AA, "*"},  {0x25A0, "*"},
    {0x2605, "*"}};

constexpr char32_t kNoChar = 0x110000;

char32_t NamedChar(std::string_view name) {
  for (std::size_t k = 0; k < kLatin1Names.size(); ++k)
    if (name == kLatin1Names[k]) return static_cast<char32_t>(0xA0 + k);
  for (const TNamedChar& c : kOtherNames)
    if (name == c.Name) return c.Code;
  return kNoChar;
}

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The character reference at text[amp] ("&name;", "&#123;", "&#x7B;"):
// its code point and length, or kNoChar when there is none there.
char32_t ReadReference(std::string_view text, std::size_t amp, std::size_t& length) {
  std::size_t i = amp + 1;
  char32_t cp = 0;
  bool any = false;
  if (i < text.size() && text[i] == '#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    for (; i < text.size(); ++i) {
      const int d = HexValue(text[i]);
      if (d < 0 || (!hex && d > 9)) break;
      any = true;
      if (cp < kNoChar) cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(d);
    }
    if (!any || i >= text.size() || text[i] != ';') return kNoChar;
    length = i + 1 - amp;
    return cp < kNoChar ? cp : 0xFFFD; // beyond Unicode: the replacement character
  }
  const std::size_t nameStart = i;
  while (i < text.size() && i - nameStart <= 8 && IsAlnum(text[i])) ++i;
  if (i >= text.size() || text[i] != ';' || i == nameStart) return kNoChar;
  cp = NamedChar(text.substr(nameStart, i - nameStart));
  if (cp != kNoChar) length = i + 1 - amp;
  return cp;
}

// One character given by a reference, as Windows-1252 text.
void AppendReferenced(std::string& out, char32_t cp) {
  if (cp >= 0x80 && cp <= 0x9F) {
    // HTML reads these references as the Windows-1252 characters.
    out += static_cast<char>(cp);
  } else if (cp == 0xA0 || cp == '\n' || cp == '\r') {
    out += ' ';
  } else if (cp == 0xAD) {
    // A soft hyphen only marks where a word may be divided.
  } else if (cp == '\t' || (cp >= 0x20 && cp != 0x7F && UnicodeToCp1252(cp) >= 0)) {
    out += static_cast<char>(UnicodeToCp1252(cp));
  } else {
    for (const auto& s : kStandIns) {
      if (s.Code == cp) {
        out += s.Text;
        return;
      }
    }
    out += '?';
  }
}

// Tags whose content is no text; the text up to their closing tag is
// skipped unread.
bool IsRawTextTag(std::string_view name) { return name == "STYLE" || name == "SCRIPT" || name == "TITLE"; }

// Tags that may stand in the head; any other tag ends it.
bool BelongsInHead(std::string_view name) {
  if (name.empty() || name[0] == '!' || name[0] == '?' || name[0] == '/' || name.find(':') != std::string_view::npos)
    return true;
  for (const char* n : {"HEAD", "TITLE", "META", "LINK", "STYLE", "SCRIPT", "BASE", "NOSCRIPT", "TEMPLATE", "XML", "OBJECT"})
    if (name == n) return true;
  return false;
}

class TPlainTextDeriver {
public:
  void Line(std::string_view line) {
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
      if (FState == sOutside) {
        const std::size_t lt = line.find('<', i);
        if (lt == std::string_view::npos) {
          Text(line.substr(i));
          break;
        }
        Text(line.substr(i, lt - i));
        if (line.substr(lt + 1, 3) == "!--") {
          // The end is looked for from the opener's own dashes on, so that
          // "<!-->" and "<!--->" close at once, as in a browser.
          FState = sComment;
          i = lt + 2;
          continue;
        }
        FTag.clear();
        FState = sInside;
        i = lt + 1;
      } else if (FState == sComment) {
        const std::size_t end = line.find("-->", i);
        if (end == std::string_view::npos) break;
        FState = sOutside;
        i = end + 3;
      } else if (FState == sRawText) {
        const std::size_t end = FindNoCaseAscii(line, FRawEnd, i);
        if (end == std::string_view::npos) break;
        FTag.clear();
        FState = sInside;
        i = end + 1;
      } else if (FState == sQuoted) {
        const std::size_t q = line.find('"', i);
        if (q == std::string_view::npos) {
          FTag.append(line, i);
          break;
        }
        FTag.append(line, i, q + 1 - i);
        FState = sInside;
        i = q + 1;
      } else {
        const std::size_t k = line.find_first_of("\">", i);
        if (k == std::string_view::npos) {
          FTag.append(line, i);
          break;
        }
        FTag.append(line, i, k - i);
        if (line[k] == '"') {
          FTag += '"';
          FState = sQuoted;
        } else {
          FState = sOutside;
          EndTag();
        }
        i = k + 1;
      }
    }
    // The line break of the HTML reads as a blank.
    if (FState != sRawText && FState != sComment && !FInHead && !FBulletOpen && !IsBlank(FCurrent)) FCurrent += ' ';
  }

  std::vector<std::string> Finish() {
    if (!FCurrent.empty()) Emit();
    return std::move(FOut);
  }

private:
  enum TState { sOutside, sInside, sQuoted, sRawText, sComment };

  static bool IsBlank(const std::string& s) { return s.empty() || s == " "; }

  static bool HasText(const std::string& s) { return s.find_first_not_of(" \t") != std::string::npos; }

  // True when the tag text is the name alone or holds name + " " anywhere.
  bool Names(std::string_view name, std::string_view nameBlank) const {
    return FTag == name || FTag.find(nameBlank) != std::string::npos;
  }

  // Text between tags, with its character references read.
  void Text(std::string_view text) {
    if (FInHead || text.empty()) return;
    if (FBulletOpen) {
      const std::size_t first = text.find_first_not_of(" \t");
      if (first == std::string_view::npos) return;
      text.remove_prefix(first);
      FBulletOpen = false;
    }
    std::size_t i = 0;
    while (i < text.size()) {
      const std::size_t amp = text.find('&', i);
      if (amp == std::string_view::npos) {
        FCurrent.append(text, i);
        break;
      }
      FCurrent.append(text, i, amp - i);
      std::size_t length = 0;
      const char32_t cp = ReadReference(text, amp, length);
      if (cp == kNoChar) {
        FCurrent += '&';
        i = amp + 1;
      } else {
        AppendReferenced(FCurrent, cp);
        i = amp + length;
      }
    }
  }

  void EndTag() {
    if (FTag.empty()) return;
    UpperAsciiInPlace(FTag);
    const std::size_t nameEnd = FTag.find_first_of(" \t/", 1);
    const std::string_view name = std::string_view(FTag).substr(0, nameEnd);

    if (IsRawTextTag(name)) {
      FRawEnd = "</" + std::string(name);
      FState = sRawText;
      return;
    }
    if (name == "HEAD") {
      FInHead = true;
      return;
    }
    if (FInHead) {
      if (name == "/HEAD") {
        FInHead = false;
        return;
      }
      if (BelongsInHead(name)) return;
      FInHead = false;
    }

    if (name == "LI") {
      EndLine();
      FCurrent = "- ";
      FBulletOpen = true;
    } else if (Names("BR", "BR ") || Names("P", "P ")) {
      Emit();
    } else if (Names("TR", "TR ")) {
      EndLine();
    } else if (Names("TD", "TD ") || name == "TH") {
      // The next cell of the row, after a tab (empty cells keep theirs); a
      // row's first cell starts the line.
      if (HasText(FCurrent)) {
        DropTrailing(" ");
        FCurrent += '\t';
      } else {
        FCurrent.clear();
      }
    } else if (Names("DIV", "DIV ")) {
      Emit();
    }
  }

  // Ends a line that holds text; a blank one is dropped.
  void EndLine() {
    if (HasText(FCurrent))
      Emit();
    else
      FCurrent.clear();
  }

  void DropTrailing(const char* blanks) {
    const std::size_t end = FCurrent.find_last_not_of(blanks);
    FCurrent.resize(end == std::string::npos ? 0 : end + 1);
  }

  // Outputs the current line, even an empty one, without trailing blanks;
  // an empty line after an empty line is left out.
  void Emit() {
    DropTrailing(" \t");
    FBulletOpen = false;
    if (FCurrent.empty() && !FOut.empty() && FOut.back().empty()) return;
    FOut.push_back(std::move(FCurrent));
    FCurrent.clear();
  }

  TState FState = sOutside;
  std::string FTag;
  std::string FRawEnd;
  bool FInHead = false;
  bool FBulletOpen = false;
  std::string FCurrent;
  std::vector<std::string> FOut;
};

} // namespace

std::vector<std::string> HtmlToPlainText(const std::vector<std::string>& htmlLines) {
  TPlainTextDeriver d;
  for (const std::string& line : htmlLines) d.Line(line);
  return d.Finish();
}

std::vector<std::string> HtmlToPlainText(std::string_view htmlText) {
  TPlainTextDeriver d;
  std::size_t start = 0;
  while (start < htmlText.size()) {
    const std::size_t end = htmlText.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      d.Line(htmlText.substr(start));
      break;
    }
    d.Line(htmlText.substr(start, end - start));
    start = end + 1;
    if (htmlText[end] == '\r' && start < htmlText.size() && htmlText[start] == '\n') ++start;
  }
  return d.Finish();
}

} // namespace postello
