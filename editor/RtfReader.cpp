#include "editor/RtfReader.h"

#include "core/Cp1252.h"
#include "core/HexValue.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

namespace postello {

namespace {

// Groups nested deeper than this are refused. Real documents stay far
// below it; the limit keeps the group stack small whatever the input.
// Groups that are skipped whole (pictures, unknown destinations) are only
// counted, so they have no limit.
constexpr std::size_t kMaxDepth = 1000;

// Half points when no \fs is given, as RTF defines it: 12 points.
constexpr int kDefaultHalfPoints = 24;

// Where the text of a group goes.
enum class TDest : std::uint8_t {
  Body,              // the document's characters
  FontTable,         // font names
  ColorTable,        // ';' ends a colour
  ListTable,         // list definitions: which level shows a bullet
  ListOverrideTable, // \ls numbers of the list definitions
  Pn,                // old-style paragraph numbering of the paragraph around it
  ListText,          // the bullet or number as text, for readers without lists
  DefChp,            // default character properties
};

enum class TListKind : std::uint8_t { None, Bullet, Numbered, Continued };

struct TCharState {
  int Font = -1;  // font number; -1: the document's default font
  int HalfPoints = kDefaultHalfPoints;
  int Color = 0;  // index into the colour table; 0 is automatic
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Hidden = false;

  bool operator==(const TCharState&) const = default;
};

struct TParaState {
  TParaAlign Align = paLeft;
  TListKind Pn = TListKind::None;  // from \pn
  int Ls = 0;                      // list override number from \ls, 0: none
  int Ilvl = 0;                    // list level
};

struct TGroup {
  TCharState Chr;
  TParaState Para;
  int Uc = 1;  // fallback characters after \u
  TDest Dest = TDest::Body;
};

struct TColorEntry {
  bool Auto = true;
  std::uint32_t Value = 0;
};

// Control words the reader acts on. Every other word is skipped.
enum class TWord : std::uint8_t {
  Unknown,
  // document
  Deff, Uc, U, Bin,
  // destinations
  FontTable, ColorTable, ListTable, ListOverrideTable, List, ListLevel, ListOverride, Pn, PnText, ListText,
  DefChp, SkipDest,
  // table entries
  Red, Green, Blue, LevelNfc, ListId, Ls, Ilvl,
  PnBullet, PnNumbered, PnContinued,
  // characters
  Plain, F, Fs, Cf, B, I, Ul, UlNone, V,
  // paragraphs
  Pard, Ql, Qc, Qr, Qj,
  Par, Line, Cell, Row, Sect,
  // special characters
  Tab, Bullet, EmDash, EnDash, LQuote, RQuote, LDblQuote, RDblQuote, Space, Nothing,
};

const std::unordered_map<std::string_view, TWord>& Words() {
  static const std::unordered_map<std::string_view, TWord> words = [] {
    std::unordered_map<std::string_view, TWord> w{
        {"deff", TWord::Deff}, {"uc", TWord::Uc}, {"u", TWord::U}, {"bin", TWord::Bin},
        {"fonttbl", TWord::FontTable}, {"colortbl", TWord::ColorTable}, {"listtable", TWord::ListTable},
        {"listoverridetable", TWord::ListOverrideTable}, {"list", TWord::List}, {"listlevel", TWord::ListLevel},
        {"listoverride", TWord::ListOverride}, {"pn", TWord::Pn}, {"pntext", TWord::PnText},
        {"listtext", TWord::ListText}, {"defchp", TWord::DefChp},
        {"red", TWord::Red}, {"green", TWord::Green}, {"blue", TWord::Blue},
        {"levelnfc", TWord::LevelNfc}, {"levelnfcn", TWord::LevelNfc}, {"listid", TWord::ListId},
        {"ls", TWord::Ls}, {"ilvl", TWord::Ilvl},
        {"pnlvlblt", TWord::PnBullet}, {"pnlvlbody", TWord::PnNumbered}, {"pnlvl", TWord::PnNumbered},
        {"pnlvlcont", TWord::PnContinued},
        {"plain", TWord::Plain}, {"f", TWord::F}, {"fs", TWord::Fs}, {"cf", TWord::Cf}, {"b", TWord::B},
        {"i", TWord::I}, {"ulnone", TWord::UlNone}, {"v", TWord::V},
        {"pard", TWord::Pard}, {"ql", TWord::Ql}, {"qc", TWord::Qc}, {"qr", TWord::Qr}, {"qj", TWord::Qj},
        {"qd", TWord::Qj},
        {"par", TWord::Par}, {"line", TWord::Line}, {"cell", TWord::Cell}, {"nestcell", TWord::Cell},
        {"row", TWord::Row}, {"nestrow", TWord::Row}, {"sect", TWord::Sect},
        {"tab", TWord::Tab}, {"bullet", TWord::Bullet}, {"emdash", TWord::EmDash}, {"endash", TWord::EnDash},
        {"lquote", TWord::LQuote}, {"rquote", TWord::RQuote}, {"ldblquote", TWord::LDblQuote},
        {"rdblquote", TWord::RDblQuote}, {"enspace", TWord::Space}, {"emspace", TWord::Space},
        {"qmspace", TWord::Space}};
    // Every kind of underline the formats know is underline here.
    for (const char* ul : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth",
                           "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw",
                           "ulwave"}) {
      w.emplace(ul, TWord::Ul);
    }
    // Destinations whose content is not text of the document: pictures,
    // objects, shapes, headers and footers, notes, fields' instructions,
    // the style sheet and the document information. Destinations marked
    // with \* need no entry: every unknown one of those is skipped.
    for (const char* d :
         {"stylesheet", "info", "pict", "object", "objdata", "result", "header", "headerl", "headerr", "headerf",
          "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "atnid", "atnauthor", "xe", "tc",
          "txe", "rxe", "revtbl", "filetbl", "nonshppict", "shp", "shpinst", "shprslt", "shptxt", "shpgrp", "do",
          "template", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "fldinst", "bkmkstart",
          "bkmkend", "comment", "author", "operator", "title", "subject", "keywords", "doccomm", "company",
          "category", "creatim", "revtim", "printim", "buptim", "falt", "panose", "leveltext", "levelnumbers",
          "listname", "pntxta", "pntxtb", "pgdsctbl", "background", "defpap", "xmlnstbl", "rsidtbl",
          "generator", "themedata", "colorschememapping", "latentstyles", "datastore", "mmathPr", "fchars",
          "lchars", "userprops", "docvar", "private", "picprop", "blipuid", "listpicture", "fontemb",
          "fontfile"}) {
      w.emplace(d, TWord::SkipDest);
    }
    // Characters and marks with no place in the model.
    for (const char* n : {"zwj", "zwnj", "ltrmark", "rtlmark", "zwbo", "zwnbo", "softline", "softpage",
                          "softcol", "chftn", "page", "column"}) {
      w.emplace(n, TWord::Nothing);
    }
    return w;
  }();
  return words;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

class TRtfParser {
public:
  explicit TRtfParser(std::string_view in) : FIn(in) {}

  TRtfReadResult Run() {
    std::size_t start = 0;
    while (start < FIn.size() && (FIn[start] == ' ' || FIn[start] == '\r' || FIn[start] == '\n' || FIn[start] == '\t'))
      ++start;
    if (start == FIn.size()) {
      FResult.Error = "Das RTF-Dokument ist leer.";
      return std::move(FResult);
    }
    if (FIn.substr(start, 5) != "{\\rtf") {
      FResult.Error = "Der Text ist kein RTF-Dokument: er beginnt nicht mit \"{\\rtf\".";
      return std::move(FResult);
    }
    FPos = start;
    Parse();
    if (!FDone && FResult.Error.empty()) {
      FResult.Error = "Das RTF-Dokument ist unvollst\xE4ndig: es endet nach " + std::to_string(FIn.size()) +
                      " Bytes, und " + std::to_string(FStack.size() + (FSkipDepth > 0 ? FSkipDepth - 1 : 0)) +
                      " Klammer(n) sind nicht geschlossen. Gelesen wurde der Text bis dorthin.";
    }
    if (!FDone) {
      FinishFallback();
      EndDocument(FStack.empty() ? TParaState{} : FStack.back().Para);
    }
    return std::move(FResult);
  }

private:
  // ---- the scanner ----------------------------------------------------

  void Parse() {
    while (FPos < FIn.size() && !FDone) {
      const char c = FIn[FPos++];
      switch (c) {
      case '{':
        if (!Push()) return;
        break;
      case '}':
        Pop();
        break;
      case '\\':
        Control();
        break;
      case '\r':
      case '\n':
        break;
      default:
        Text(static_cast<unsigned char>(c));
        break;
      }
    }
  }

  void Control() {
    if (FPos >= FIn.size()) return;
    const char c = FIn[FPos];
    if (!IsLetter(c)) {
      ++FPos;
      Symbol(c);
      return;
    }
    const std::size_t begin = FPos;
    while (FPos < FIn.size() && IsLetter(FIn[FPos])) ++FPos;
    const std::string_view word = FIn.substr(begin, FPos - begin);
    bool hasParam = false;
    bool negative = false;
    std::int64_t param = 0;
    if (FPos + 1 < FIn.size() && FIn[FPos] == '-' && IsDigit(FIn[FPos + 1])) {
      negative = true;
      ++FPos;
    }
    while (FPos < FIn.size() && IsDigit(FIn[FPos])) {
      hasParam = true;
      // Saturate: a parameter of a thousand digits is still one number.
      if (param < 10'000'000'000) param = param * 10 + (FIn[FPos] - '0');
      ++FPos;
    }
    if (FPos < FIn.size() && FIn[FPos] == ' ') ++FPos;
    param = std::clamp<std::int64_t>(negative ? -param : param, INT32_MIN, INT32_MAX);
    Word(word, hasParam, static_cast<std::int32_t>(param));
  }

  void Symbol(char c) {
    if (c == '\'') {
      int value = 0, digits = 0;
      while (digits < 2 && FPos < FIn.size() && HexValue(FIn[FPos]) >= 0) {
        value = value * 16 + HexValue(FIn[FPos++]);
        ++digits;
      }
      if (digits > 0) Text(static_cast<unsigned char>(value));
      return;
    }
    if (c == '\\' || c == '{' || c == '}') {
      Text(static_cast<unsigned char>(c));
      return;
    }
    if (c == '*') {
      if (SkipFallback()) return;
      FStar = true;
      return;
    }
    if (SkipFallback()) return;
    switch (c) {
    case '~': Emit(0xA0); break;  // non-breaking space
    case '_': Emit('-'); break;   // non-breaking hyphen
    case '\r':
    case '\n': Paragraph(); break; // a backslash before a line end is \par
    default: break;               // optional hyphen, index marks, unknown symbols
    }
  }

  // ---- groups ---------------------------------------------------------

  bool Push() {
    FinishFallback();
    FStar = false;
    if (FStack.size() >= kMaxDepth) {
      FResult.Error = "Das RTF-Dokument ist zu tief verschachtelt: mehr als " + std::to_string(kMaxDepth) +
                      " Gruppen ineinander bei Byte " + std::to_string(FPos - 1) +
                      ". Gelesen wurde der Text bis dorthin.";
      return false;
    }
    if (FStack.empty()) {
      FStack.emplace_back();
    } else {
      FStack.push_back(FStack.back());
    }
    return true;
  }

  void Pop() {
    FinishFallback();
    FStar = false;
    if (FStack.empty()) return;
    const TGroup closed = FStack.back();
    if (closed.Dest == TDest::FontTable) EndFontEntry();
    if (closed.Dest == TDest::ColorTable && !FColor.Auto) {
      // The last colour may lack its closing semicolon.
      FColors.push_back(FColor);
      FColor = {};
    }
    FStack.pop_back();
    if (FStack.empty()) {
      EndDocument(closed.Para);
      return;
    }
    TGroup& outer = FStack.back();
    if (closed.Dest == TDest::Pn && outer.Dest != TDest::Pn) outer.Para.Pn = closed.Para.Pn;
    if (closed.Dest == TDest::DefChp && outer.Dest != TDest::DefChp) {
      FPlain = closed.Chr;
      FPlain.Hidden = false;
      outer.Chr = FPlain;
    }
  }

  // Skips the rest of the current group without looking at its words,
  // then closes it. Binary data after \bin is stepped over whole.
  void SkipGroup() {
    FSkipDepth = 1;
    while (FPos < FIn.size()) {
      const char c = FIn[FPos++];
      if (c == '{') {
        ++FSkipDepth;
      } else if (c == '}') {
        if (--FSkipDepth == 0) {
          Pop();
          return;
        }
      } else if (c == '\\' && FPos < FIn.size()) {
        if (!IsLetter(FIn[FPos])) {
          ++FPos;
          continue;
        }
        const std::size_t begin = FPos;
        while (FPos < FIn.size() && IsLetter(FIn[FPos])) ++FPos;
        if (FIn.substr(begin, FPos - begin) == "bin") SkipBinary();
      }
    }
  }

  // After the word \bin: its parameter counts the raw bytes that follow.
  void SkipBinary() {
    std::uint64_t n = 0;
    while (FPos < FIn.size() && IsDigit(FIn[FPos])) {
      if (n < FIn.size()) n = n * 10 + static_cast<unsigned>(FIn[FPos] - '0');
      ++FPos;
    }
    if (FPos < FIn.size() && FIn[FPos] == ' ') ++FPos;
    FPos += static_cast<std::size_t>(std::min<std::uint64_t>(n, FIn.size() - FPos));
  }

  TGroup& Cur() { return FStack.back(); }

  // ---- control words --------------------------------------------------

  void Word(std::string_view word, bool hasParam, std::int32_t param) {
    const auto it = Words().find(word);
    const TWord w = it == Words().end() ? TWord::Unknown : it->second;
    if (FStack.empty()) return;
    if (w == TWord::U) {
      FStar = false;
      Unicode(param);
      return;
    }
    if (SkipFallback()) return;
    if (FStar) {
      FStar = false;
      // Of the destinations marked ignorable, only these carry what the
      // model holds; the others are skipped with all they contain.
      if (w != TWord::Pn && w != TWord::ListTable && w != TWord::ListOverrideTable && w != TWord::DefChp) {
        SkipGroup();
        return;
      }
    }
    const bool on = !hasParam || param != 0;
    TGroup& g = Cur();
    switch (w) {
    case TWord::Unknown: break;
    case TWord::Deff: FDeff = param; break;
    case TWord::Uc: g.Uc = std::clamp(param, 0, 255); break;
    case TWord::U: break;
    case TWord::Bin: SkipBinaryParam(hasParam ? param : 0); break;
    case TWord::FontTable: g.Dest = TDest::FontTable; break;
    case TWord::ColorTable:
      g.Dest = TDest::ColorTable;
      FColor = {};
      break;
    case TWord::ListTable: g.Dest = TDest::ListTable; break;
    case TWord::ListOverrideTable: g.Dest = TDest::ListOverrideTable; break;
    case TWord::List:
      if (g.Dest == TDest::ListTable) FLists.emplace_back();
      break;
    case TWord::ListLevel:
      if (g.Dest == TDest::ListTable && !FLists.empty()) FLists.back().LevelNfc.push_back(0);
      break;
    case TWord::LevelNfc:
      if (g.Dest == TDest::ListTable && !FLists.empty() && !FLists.back().LevelNfc.empty())
        FLists.back().LevelNfc.back() = param;
      break;
    case TWord::ListId:
      if (g.Dest == TDest::ListTable && !FLists.empty()) {
        FLists.back().Id = param;
        FListById[param] = FLists.size() - 1;
      } else if (g.Dest == TDest::ListOverrideTable) {
        FOverrideListId = param;
        if (FOverrideLs > 0) FListOfLs[FOverrideLs] = param;
      }
      break;
    case TWord::ListOverride:
      if (g.Dest == TDest::ListOverrideTable) FOverrideListId = FOverrideLs = 0;
      break;
    case TWord::Ls:
      if (g.Dest == TDest::ListOverrideTable) {
        FOverrideLs = param;
        if (param > 0) FListOfLs[param] = FOverrideListId;
      } else {
        g.Para.Ls = param;
      }
      break;
    case TWord::Ilvl: g.Para.Ilvl = std::clamp(param, 0, 8); break;
    case TWord::Pn: g.Dest = TDest::Pn; break;
    case TWord::PnBullet: g.Para.Pn = TListKind::Bullet; break;
    case TWord::PnNumbered: g.Para.Pn = TListKind::Numbered; break;
    case TWord::PnContinued: g.Para.Pn = TListKind::Continued; break;
    case TWord::PnText:
    case TWord::ListText:
      if (g.Dest == TDest::Body) g.Dest = TDest::ListText;
      break;
    case TWord::DefChp: g.Dest = TDest::DefChp; break;
    case TWord::SkipDest: SkipGroup(); break;
    case TWord::Red: SetColorPart(0, param); break;
    case TWord::Green: SetColorPart(8, param); break;
    case TWord::Blue: SetColorPart(16, param); break;
    case TWord::Plain: g.Chr = FPlain; break;
    case TWord::F:
      if (g.Dest == TDest::FontTable) {
        EndFontEntry();
        FFontNumber = param;
      } else {
        g.Chr.Font = param;
      }
      break;
    case TWord::Fs: g.Chr.HalfPoints = hasParam ? std::clamp(param, 2, 3276) : kDefaultHalfPoints; break;
    case TWord::Cf: g.Chr.Color = std::max(param, 0); break;
    case TWord::B: g.Chr.Bold = on; break;
    case TWord::I: g.Chr.Italic = on; break;
    case TWord::Ul: g.Chr.Underline = on; break;
    case TWord::UlNone: g.Chr.Underline = false; break;
    case TWord::V: g.Chr.Hidden = on; break;
    case TWord::Pard: g.Para = TParaState{}; break;
    case TWord::Ql:
    case TWord::Qj: g.Para.Align = paLeft; break;
    case TWord::Qc: g.Para.Align = paCenter; break;
    case TWord::Qr: g.Para.Align = paRight; break;
    case TWord::Par:
    case TWord::Line:
    case TWord::Cell: Paragraph(); break;
    case TWord::Row:
    case TWord::Sect:
      if (!FPara.Runs.empty()) Paragraph();
      break;
    case TWord::Tab: Emit('\t'); break;
    case TWord::Bullet: Emit(0x95); break;
    case TWord::EmDash: Emit(0x97); break;
    case TWord::EnDash: Emit(0x96); break;
    case TWord::LQuote: Emit(0x91); break;
    case TWord::RQuote: Emit(0x92); break;
    case TWord::LDblQuote: Emit(0x93); break;
    case TWord::RDblQuote: Emit(0x94); break;
    case TWord::Space: Emit(' '); break;
    case TWord::Nothing: break;
    }
  }

  void SkipBinaryParam(std::int32_t n) {
    if (n <= 0) return;
    FPos += std::min<std::size_t>(static_cast<std::size_t>(n), FIn.size() - FPos);
  }

  void SetColorPart(int shift, std::int32_t value) {
    if (Cur().Dest != TDest::ColorTable) return;
    const auto v = static_cast<std::uint32_t>(std::clamp(value, 0, 255));
    FColor.Auto = false;
    FColor.Value = (FColor.Value & ~(0xFFu << shift)) | (v << shift);
  }

  // ---- Unicode and its fallback -----------------------------------------

  // \uN: the character, then Uc fallback characters for readers without
  // Unicode. A character Windows-1252 has replaces its fallback; one it
  // lacks is given by its fallback, or by '?' when there is none.
  void Unicode(std::int32_t param) {
    FinishFallback();
    const char32_t cp = static_cast<char32_t>(param < 0 ? param + 65536 : param);
    const int uc = Cur().Uc;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      // The first half of a pair: its partner stands for the character.
      FFallbackLeft = uc;
      FFallbackEmit = false;
      return;
    }
    const int byte = (cp >= 0xDC00 && cp <= 0xDFFF) || cp > 0xFFFF ? -1 : UnicodeToCp1252(cp);
    if (byte >= 0) {
      if (byte >= 0x20 || byte == '\t') Emit(static_cast<unsigned char>(byte));
      FFallbackLeft = uc;
      FFallbackEmit = false;
      return;
    }
    FFallbackLeft = uc;
    FFallbackEmit = true;
    FFallbackEmitted = false;
    if (uc == 0) FinishFallback();
  }

  // Counts one item of a pending fallback; true when the item belongs to
  // it (and so is not acted on).
  bool SkipFallback() {
    if (FFallbackLeft <= 0) return false;
    if (--FFallbackLeft == 0) FinishFallback();
    return true;
  }

  void FinishFallback() {
    if (FFallbackEmit && !FFallbackEmitted) {
      FFallbackEmit = false;
      Emit('?');
    }
    FFallbackEmit = false;
    FFallbackLeft = 0;
  }

  // ---- text -----------------------------------------------------------

  void Text(unsigned char c) {
    FStar = false;
    // Control characters other than the tab carry nothing, also in a
    // fallback and as \'hh: a line break never enters a paragraph.
    const bool visible = c >= 0x20 || c == '\t';
    if (FFallbackLeft > 0) {
      if (FFallbackEmit && visible) {
        FFallbackEmitted = true;
        Emit(c);
      }
      SkipFallback();
      return;
    }
    if (visible) Emit(c);
  }

  void Emit(unsigned char c) {
    if (FStack.empty()) return;
    const TGroup& g = Cur();
    switch (g.Dest) {
    case TDest::Body:
      if (!g.Chr.Hidden) Append(FPara.Runs, FLastBody, FHasLastBody, g.Chr, c);
      break;
    case TDest::ListText:
      if (!g.Chr.Hidden) Append(FListText, FLastList, FHasLastList, g.Chr, c);
      break;
    case TDest::FontTable:
      if (c == ';') {
        EndFontEntry();
      } else {
        FFontName += static_cast<char>(c);
      }
      break;
    case TDest::ColorTable:
      if (c == ';') {
        FColors.push_back(FColor);
        FColor = {};
      }
      break;
    default:
      break;
    }
  }

  // Adds one character to a list of runs: to the last run while the
  // character state is unchanged or gives the same format.
  void Append(std::vector<TTextRun>& runs, TCharState& last, bool& hasLast, const TCharState& chr, unsigned char c) {
    if (!hasLast || !(last == chr)) {
      TCharFormat f = Format(chr);
      if (runs.empty() || !(runs.back().Format == f)) runs.push_back(TTextRun{std::move(f), {}});
      last = chr;
      hasLast = true;
    }
    runs.back().Text += static_cast<char>(c);
  }

  TCharFormat Format(const TCharState& chr) const {
    TCharFormat f;
    auto font = FFonts.find(chr.Font < 0 ? FDeff : chr.Font);
    if (font == FFonts.end()) font = FFonts.find(FDeff);
    if (font != FFonts.end()) f.Face = font->second;
    f.Size = (chr.HalfPoints + 1) / 2;
    const std::size_t color = static_cast<std::size_t>(chr.Color);
    f.Color = color < FColors.size() && !FColors[color].Auto ? FColors[color].Value : 0;
    f.Bold = chr.Bold;
    f.Italic = chr.Italic;
    f.Underline = chr.Underline;
    return f;
  }

  void EndFontEntry() {
    if (FFontNumber >= 0 && !FFontName.empty()) FFonts[FFontNumber] = Trim(FFontName);
    FFontName.clear();
  }

  // ---- paragraphs -------------------------------------------------------

  // Ends the current paragraph with the paragraph properties in force.
  void Paragraph() {
    if (FStack.empty() || Cur().Dest != TDest::Body) return;
    Close(Cur().Para);
  }

  void Close(const TParaState& para) {
    FPara.Align = para.Align;
    FPara.Bullet = IsBullet(para);
    if (!FPara.Bullet && HasVisibleText(FListText)) {
      // A numbered list: the model has no numbering, so the number the
      // writer put there as text is kept, in the format of the paragraph's
      // first character and without the blanks some writers put before it.
      std::string number;
      for (const TTextRun& r : FListText) number += r.Text;
      number.erase(0, number.find_first_not_of(' '));
      TTextRun run{FPara.Runs.empty() ? FListText.front().Format : FPara.Runs.front().Format, std::move(number)};
      FPara.Runs.insert(FPara.Runs.begin(), std::move(run));
    }
    FResult.Document.Paragraphs.push_back(std::move(FPara));
    FPara = TParagraph{};
    FListText.clear();
    FHasLastBody = FHasLastList = false;
  }

  // The last \par of a document ends its paragraph and opens none: only
  // text after it makes another paragraph. A rich edit control saves its
  // empty document as one \par, so a document whose only paragraph is
  // empty is the empty document.
  void EndDocument(const TParaState& para) {
    FDone = true;
    if (!FPara.Runs.empty()) Close(para);
    std::vector<TParagraph>& paragraphs = FResult.Document.Paragraphs;
    if (paragraphs.size() == 1 && paragraphs.front().Runs.empty()) paragraphs.clear();
  }

  bool IsBullet(const TParaState& para) const {
    if (para.Pn != TListKind::None) return para.Pn == TListKind::Bullet;
    if (para.Ls <= 0) return false;
    // A list that cannot be looked up is taken as a bullet list.
    const auto ls = FListOfLs.find(para.Ls);
    if (ls == FListOfLs.end()) return true;
    const auto list = FListById.find(ls->second);
    if (list == FListById.end()) return true;
    const std::vector<int>& levels = FLists[list->second].LevelNfc;
    if (levels.empty()) return true;
    const std::size_t level = std::min<std::size_t>(static_cast<std::size_t>(para.Ilvl), levels.size() - 1);
    return levels[level] == 23;  // the level format "bullet"
  }

  static bool HasVisibleText(const std::vector<TTextRun>& runs) {
    for (const TTextRun& r : runs) {
      for (const char c : r.Text) {
        if (c != ' ' && c != '\t') return true;
      }
    }
    return false;
  }

  struct TList {
    int Id = 0;
    std::vector<int> LevelNfc;
  };

  std::string_view FIn;
  std::size_t FPos = 0;
  bool FDone = false;
  bool FStar = false;
  int FSkipDepth = 0;
  std::vector<TGroup> FStack;
  TRtfReadResult FResult;

  int FDeff = 0;
  TCharState FPlain;
  std::map<int, std::string> FFonts;
  int FFontNumber = -1;
  std::string FFontName;
  std::vector<TColorEntry> FColors;
  TColorEntry FColor;
  std::vector<TList> FLists;
  std::map<int, std::size_t> FListById;
  std::map<int, int> FListOfLs;
  int FOverrideListId = 0;
  int FOverrideLs = 0;

  int FFallbackLeft = 0;
  bool FFallbackEmit = false;
  bool FFallbackEmitted = false;

  TParagraph FPara;
  TCharState FLastBody;
  bool FHasLastBody = false;
  std::vector<TTextRun> FListText;
  TCharState FLastList;
  bool FHasLastList = false;
};

} // namespace

TRtfReadResult ReadRtf(std::string_view rtf) { return TRtfParser(rtf).Run(); }

} // namespace postello
