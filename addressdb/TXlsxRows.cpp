#include "addressdb/TXlsxRows.h"

#include "addressdb/SheetValues.h"
#include "core/Cp1252.h"

#include <charconv>
#include <map>

namespace postello {

namespace {

constexpr std::size_t kMaxSharedBytes = 256u << 20;

std::size_t ToNumber(std::string_view s, std::size_t fallback) {
  std::size_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() ? v : fallback;
}

// Column of a cell reference like "AB12", from 1; 0 when there is none.
std::size_t ColumnOf(std::string_view ref) {
  std::size_t col = 0;
  for (char c : ref) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') break;
    col = col * 26 + static_cast<std::size_t>(c - 'A' + 1);
    if (col > TSheetRows::kMaxColumns) return TSheetRows::kMaxColumns;
  }
  return col;
}

std::string Dir(const std::string& part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target made a part name: relative to the source's folder,
// or from the package root when it starts with '/'.
std::string Resolve(const std::string& dir, const std::string& target) {
  std::string path = !target.empty() && target[0] == '/' ? target.substr(1) : dir + target;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string piece = path.substr(start, end - start);
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.push_back(piece);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

struct TRelation {
  std::string type, target;
};

// Relations of a part by their id; the type is the last piece of its URI.
std::map<std::string, TRelation> ReadRelations(const TZipPackage& package, const std::string& part) {
  std::map<std::string, TRelation> out;
  const std::string rels = Dir(part) + "_rels/" + part.substr(Dir(part).size()) + ".rels";
  if (!package.Has(rels)) return out;
  TXmlStream xml(package, rels);
  xml.onStart = [&](std::string_view name, TXmlStream::TAttrs attrs) {
    if (TXmlStream::Local(name) != "Relationship") return;
    const char* id = TXmlStream::LocalAttr(attrs, "Id");
    const char* type = TXmlStream::LocalAttr(attrs, "Type");
    const char* target = TXmlStream::LocalAttr(attrs, "Target");
    if (!id || !type || !target) return;
    std::string t = type;
    t = t.substr(t.rfind('/') + 1);
    out[id] = {t, Resolve(Dir(part), target)};
  };
  xml.ParseAll();
  return out;
}

std::string MainPart(const TZipPackage& package) {
  for (const auto& [id, rel] : ReadRelations(package, ""))
    if (rel.type == "officeDocument") return rel.target;
  return "xl/workbook.xml";
}

} // namespace

bool TXlsxRows::IsWorkbook(const TZipPackage& package) {
  const std::string main = MainPart(package);
  return main.size() >= 13 && main.compare(main.size() - 13, 13, "/workbook.xml") == 0 && package.Has(main);
}

TXlsxRows::TXlsxRows(std::unique_ptr<TZipPackage> package, const TAddressRowsOptions& options)
    : mPackage(std::move(package)) {
  mFormatName = "Excel-Tabelle";
  const std::string main = MainPart(*mPackage);
  const auto relations = ReadRelations(*mPackage, main);
  std::vector<std::string> sheetParts;
  {
    TXmlStream xml(*mPackage, main);
    xml.onStart = [&](std::string_view name, TXmlStream::TAttrs attrs) {
      const std::string_view local = TXmlStream::Local(name);
      if (local == "workbookPr") {
        const char* d = TXmlStream::LocalAttr(attrs, "date1904");
        mDate1904 = d && (std::string_view(d) == "1" || std::string_view(d) == "true");
      } else if (local == "sheet") {
        const char* sheetName = TXmlStream::LocalAttr(attrs, "name");
        const char* id = TXmlStream::LocalAttr(attrs, "id");
        const auto rel = id ? relations.find(id) : relations.end();
        mSheetNames.push_back(Utf8ToCp1252(sheetName ? sheetName : ""));
        sheetParts.push_back(rel != relations.end() ? rel->second.target : "");
      }
    };
    xml.ParseAll();
  }
  if (sheetParts.empty()) mPackage->Damaged(main + " nennt kein Tabellenblatt");
  if (options.sheet < 0 || static_cast<std::size_t>(options.sheet) >= sheetParts.size())
    throw TAddressFileError(mPackage->FileName(), "Die Arbeitsmappe hat kein Blatt Nummer " +
                                                      std::to_string(options.sheet + 1) + ", nur " +
                                                      std::to_string(sheetParts.size()));
  mSheet = options.sheet;
  for (const auto& [id, rel] : relations) {
    if (!mPackage->Has(rel.target)) continue;  // a missing part holds nothing
    if (rel.type == "sharedStrings") ReadSharedStrings(rel.target);
    if (rel.type == "styles") ReadStyles(rel.target);
  }
  mStream = std::make_unique<TXmlStream>(*mPackage, sheetParts[static_cast<std::size_t>(options.sheet)]);
  mStream->onStart = [this](std::string_view name, TXmlStream::TAttrs attrs) {
    StartSheetElement(TXmlStream::Local(name), attrs);
  };
  mStream->onEnd = [this](std::string_view name) { EndSheetElement(TXmlStream::Local(name)); };
  mStream->onText = [this](std::string_view text) {
    if (mInValue || (mInInline && mPhonetic == 0)) mText += text;
  };
}

void TXlsxRows::ReadSharedStrings(const std::string& part) {
  TXmlStream xml(*mPackage, part);
  std::string text;
  bool inT = false;
  int phonetic = 0;
  std::size_t bytes = 0;
  xml.onStart = [&](std::string_view name, TXmlStream::TAttrs) {
    const std::string_view local = TXmlStream::Local(name);
    if (local == "si") text.clear();
    else if (local == "rPh") ++phonetic;
    else if (local == "t") inT = phonetic == 0;
  };
  xml.onEnd = [&](std::string_view name) {
    const std::string_view local = TXmlStream::Local(name);
    if (local == "t") {
      inT = false;
    } else if (local == "rPh") {
      --phonetic;
    } else if (local == "si") {
      mShared.push_back(Utf8ToCp1252(text));
      bytes += sizeof(std::string) + mShared.back().size();
      if (bytes > kMaxSharedBytes)
        throw TAddressFileError(mPackage->FileName(), "Die Texte der Arbeitsmappe sind gr\xF6\xDF" "er als 256 MB");
    }
  };
  xml.onText = [&](std::string_view t) {
    if (inT) text += t;
  };
  xml.ParseAll();
}

void TXlsxRows::ReadStyles(const std::string& part) {
  TXmlStream xml(*mPackage, part);
  std::map<std::size_t, std::string> formats;
  bool inCellXfs = false;
  std::vector<std::size_t> xfFormats;
  xml.onStart = [&](std::string_view name, TXmlStream::TAttrs attrs) {
    const std::string_view local = TXmlStream::Local(name);
    if (local == "numFmt") {
      const char* id = TXmlStream::LocalAttr(attrs, "numFmtId");
      const char* code = TXmlStream::LocalAttr(attrs, "formatCode");
      if (id && code) formats[ToNumber(id, 0)] = code;
    } else if (local == "cellXfs") {
      inCellXfs = true;
    } else if (local == "xf" && inCellXfs) {
      const char* id = TXmlStream::LocalAttr(attrs, "numFmtId");
      xfFormats.push_back(id ? ToNumber(id, 0) : 0);
    }
  };
  xml.onEnd = [&](std::string_view name) {
    if (TXmlStream::Local(name) == "cellXfs") inCellXfs = false;
  };
  xml.ParseAll();
  for (std::size_t id : xfFormats) {
    TStyle style;
    const auto custom = formats.find(id);
    if (custom != formats.end()) {
      style.date = IsDateFormatCode(custom->second);
      style.zeros = ZeroPaddingOfFormatCode(custom->second);
    } else {
      // Excel's built-in date formats (the ones it shows by locale).
      style.date = (id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58);
    }
    mStyles.push_back(style);
  }
}

void TXlsxRows::StartSheetElement(std::string_view local, TXmlStream::TAttrs attrs) {
  if (local == "row") {
    const char* r = TXmlStream::LocalAttr(attrs, "r");
    // Rows come in order; one that claims an earlier place is taken as the
    // next, so that every row keeps a number of its own.
    const std::size_t number = std::max(r ? ToNumber(r, mNextRow) : mNextRow, mNextRow);
    BeginRow(std::min(number, kMaxRows + 1));
    mInRow = true;
  } else if (local == "c" && mInRow) {
    const char* ref = TXmlStream::LocalAttr(attrs, "r");
    const std::size_t col = ref ? ColumnOf(ref) : 0;
    if (col > Column() + 1) AddEmpty(col - 1 - Column());
    const char* t = TXmlStream::LocalAttr(attrs, "t");
    mType = t ? t : "n";
    const char* s = TXmlStream::LocalAttr(attrs, "s");
    mStyle = s ? ToNumber(s, 0) : 0;
    mText.clear();
    mInCell = true;
  } else if (mInCell && local == "v") {
    mInValue = true;
  } else if (mInCell && local == "is") {
    mInInline = true;
  } else if (mInInline && local == "rPh") {
    ++mPhonetic;
  }
}

void TXlsxRows::EndSheetElement(std::string_view local) {
  if (local == "v") {
    mInValue = false;
  } else if (local == "is") {
    mInInline = false;
  } else if (local == "rPh") {
    if (mPhonetic > 0) --mPhonetic;
  } else if (local == "c" && mInCell) {
    mInCell = false;
    AddCell(CellValue());
  } else if (local == "row" && mInRow) {
    mInRow = false;
    EndRow();
    mNextRow = RowNumber() + 1;
  }
}

std::string TXlsxRows::CellValue() const {
  if (mType == "s") {
    const std::size_t index = ToNumber(mText, mShared.size());
    return index < mShared.size() ? mShared[index] : std::string();
  }
  if (mType == "inlineStr" || mType == "str") return Utf8ToCp1252(mText);
  if (mType == "b") return mText == "1" || mText == "true" ? "WAHR" : "FALSCH";
  if (mType == "e") return Utf8ToCp1252(mText);
  if (mType == "d") return FormatIsoDate(mText);
  if (mText.empty()) return {};
  const TStyle style = mStyle < mStyles.size() ? mStyles[mStyle] : TStyle();
  if (style.date) return FormatSerialDate(mText, mDate1904);
  std::string number = FormatSheetNumber(mText);
  if (style.zeros > 0 && number.size() < static_cast<std::size_t>(style.zeros) &&
      number.find_first_not_of("0123456789") == std::string::npos)
    number.insert(0, static_cast<std::size_t>(style.zeros) - number.size(), '0');
  return number;
}

bool TXlsxRows::ParseMore() { return mStream->Step(); }

} // namespace postello
