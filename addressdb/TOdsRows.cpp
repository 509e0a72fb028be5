#include "addressdb/TOdsRows.h"

#include "addressdb/SheetValues.h"
#include "core/Cp1252.h"

#include <algorithm>
#include <charconv>

namespace postello {

namespace {

#define POSTELLO_ODF "urn:oasis:names:tc:opendocument:xmlns:"
constexpr std::string_view kTable = POSTELLO_ODF "table:1.0|table";
constexpr std::string_view kRow = POSTELLO_ODF "table:1.0|table-row";
constexpr std::string_view kCell = POSTELLO_ODF "table:1.0|table-cell";
constexpr std::string_view kCovered = POSTELLO_ODF "table:1.0|covered-table-cell";
constexpr std::string_view kTableName = POSTELLO_ODF "table:1.0|name";
constexpr std::string_view kRowsRepeated = POSTELLO_ODF "table:1.0|number-rows-repeated";
constexpr std::string_view kColumnsRepeated = POSTELLO_ODF "table:1.0|number-columns-repeated";
constexpr std::string_view kValueType = POSTELLO_ODF "office:1.0|value-type";
constexpr std::string_view kValue = POSTELLO_ODF "office:1.0|value";
constexpr std::string_view kDateValue = POSTELLO_ODF "office:1.0|date-value";
constexpr std::string_view kAnnotation = POSTELLO_ODF "office:1.0|annotation";
constexpr std::string_view kParagraph = POSTELLO_ODF "text:1.0|p";
constexpr std::string_view kSpaces = POSTELLO_ODF "text:1.0|s";
constexpr std::string_view kSpaceCount = POSTELLO_ODF "text:1.0|c";
constexpr std::string_view kTab = POSTELLO_ODF "text:1.0|tab";
constexpr std::string_view kLineBreak = POSTELLO_ODF "text:1.0|line-break";
#undef POSTELLO_ODF

std::size_t Count(const char* text, std::size_t max) {
  std::size_t v = 1;
  if (!text) return 1;
  const std::string_view s(text);
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range) return max;
  if (ec != std::errc() || end != s.data() + s.size() || v == 0) return 1;
  return std::min(v, max);
}

} // namespace

bool TOdsRows::IsSpreadsheet(const TZipPackage& package) {
  if (!package.Has("content.xml")) return false;
  const std::string mime = package.Has("mimetype") ? package.ReadSmall("mimetype") : std::string();
  return mime.empty() || mime.find("spreadsheet") != std::string::npos;
}

TOdsRows::TOdsRows(std::unique_ptr<TZipPackage> package, const TAddressRowsOptions& options)
    : mPackage(std::move(package)) {
  mFormatName = "LibreOffice-Tabelle";
  {
    TXmlStream names(*mPackage, "content.xml");
    names.onStart = [this](std::string_view name, TXmlStream::TAttrs attrs) {
      if (name != kTable) return;
      const char* n = TXmlStream::Attr(attrs, kTableName);
      mSheetNames.push_back(Utf8ToCp1252(n ? n : ""));
    };
    names.ParseAll();
  }
  if (mSheetNames.empty()) mPackage->Damaged("content.xml enth\xE4lt kein Tabellenblatt");
  if (options.sheet < 0 || static_cast<std::size_t>(options.sheet) >= mSheetNames.size())
    throw TAddressFileError(mPackage->FileName(), "Die Tabelle hat kein Blatt Nummer " +
                                                      std::to_string(options.sheet + 1) + ", nur " +
                                                      std::to_string(mSheetNames.size()));
  mSheet = options.sheet;
  mStream = std::make_unique<TXmlStream>(*mPackage, "content.xml");
  mStream->onStart = [this](std::string_view name, TXmlStream::TAttrs attrs) { Start(name, attrs); };
  mStream->onEnd = [this](std::string_view name) { End(name); };
  mStream->onText = [this](std::string_view text) {
    if (mInCell && mParagraphs > 0 && mNote == 0) mText += text;
  };
}

void TOdsRows::Start(std::string_view name, TXmlStream::TAttrs attrs) {
  if (name == kTable) {
    if (mDepth > 0) {
      ++mDepth;  // a table inside a cell is part of that cell
    } else if (++mTable == mSheet) {
      mDepth = 1;
    }
    return;
  }
  if (mDepth != 1) return;
  if (name == kRow) {
    mRowRepeat = Count(TXmlStream::Attr(attrs, kRowsRepeated), kMaxRows);
    BeginRow(std::min(mNextRow, kMaxRows + 1));
    mInRow = true;
  } else if ((name == kCell || name == kCovered) && mInRow) {
    mInCell = true;
    mCellRepeat = Count(TXmlStream::Attr(attrs, kColumnsRepeated), kMaxColumns);
    const char* type = TXmlStream::Attr(attrs, kValueType);
    const char* value = TXmlStream::Attr(attrs, kValue);
    const char* date = TXmlStream::Attr(attrs, kDateValue);
    mValueType = type ? type : "";
    mValue = mValueType == "date" ? (date ? date : "") : (value ? value : "");
    mText.clear();
    mParagraphs = 0;
    mNote = 0;
  } else if (!mInCell) {
    return;
  } else if (name == kAnnotation) {
    ++mNote;
  } else if (mNote > 0) {
    return;
  } else if (name == kParagraph) {
    if (mParagraphs++ > 0) mText += '\n';
  } else if (name == kSpaces) {
    mText.append(Count(TXmlStream::Attr(attrs, kSpaceCount), 1000), ' ');
  } else if (name == kTab) {
    mText += '\t';
  } else if (name == kLineBreak) {
    mText += '\n';
  }
}

void TOdsRows::End(std::string_view name) {
  if (name == kTable) {
    if (mDepth == 1) {
      mDepth = 0;
      mStream->Stop();  // the rest of the file holds other sheets
    } else if (mDepth > 1) {
      --mDepth;
    }
    return;
  }
  if (mDepth != 1) return;
  if (name == kAnnotation && mNote > 0) {
    --mNote;
  } else if ((name == kCell || name == kCovered) && mInCell) {
    mInCell = false;
    AddCell(CellValue(), mCellRepeat);
  } else if (name == kRow && mInRow) {
    mInRow = false;
    EndRow(mRowRepeat);
    mNextRow += mRowRepeat;
  }
}

std::string TOdsRows::CellValue() const {
  const std::string text = Utf8ToCp1252(mText);
  if (mValueType == "float") {
    // Digits as shown keep a leading zero (postal codes formatted 00000).
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) return text;
    return mValue.empty() ? text : FormatSheetNumber(mValue);
  }
  if (mValueType == "date") return mValue.empty() ? text : FormatIsoDate(mValue);
  return text;
}

bool TOdsRows::ParseMore() { return mStream->Step(); }

} // namespace postello
