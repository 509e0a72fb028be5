#include "addressdb/TTextRows.h"

#include "core/Cp1252.h"

#include <algorithm>
#include <array>

namespace postello {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
// How much text the delimiter is guessed from.
constexpr int kSampleRows = 50;
constexpr std::size_t kSampleBytes = 1u << 20;

// Bytes at the end of s that begin a UTF-8 sequence the next read completes.
std::size_t IncompleteUtf8Tail(std::string_view s) {
  const std::size_t n = s.size();
  for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
    const unsigned char c = static_cast<unsigned char>(s[n - back]);
    if (c < 0x80) return 0;
    if (c >= 0xC0) {
      const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      return len > back ? back : 0;
    }
  }
  return 0;
}

void AppendCp1252(std::string& out, char32_t cp) {
  const int b = UnicodeToCp1252(cp);
  out += b < 0 ? '?' : static_cast<char>(b);
}

} // namespace

TTextRows::TTextRows(std::unique_ptr<std::istream> in, const std::string& fileName,
                     const TAddressRowsOptions& options)
    : mIn(std::move(in)), mFileName(fileName) {
  mFormatName = "CSV-Text";
  mEncoding = options.encoding;
  DetectEncoding();
  if (options.delimiter != 0) {
    mDelimiter = options.delimiter;
  } else {
    DetectDelimiter();
  }
}

void TTextRows::DetectEncoding() {
  std::array<char, 3> head{};
  mIn->read(head.data(), head.size());
  const std::string_view bom(head.data(), static_cast<std::size_t>(mIn->gcount()));
  const bool utf8Bom = bom.substr(0, 3) == "\xEF\xBB\xBF";
  const bool leBom = bom.substr(0, 2) == "\xFF\xFE";
  const bool beBom = bom.substr(0, 2) == "\xFE\xFF";
  std::streamoff skip = 0;
  if (mEncoding == TTextEncoding::Detect) {
    if (utf8Bom) mEncoding = TTextEncoding::Utf8;
    else if (leBom) mEncoding = TTextEncoding::Utf16Le;
    else if (beBom) mEncoding = TTextEncoding::Utf16Be;
  }
  if (mEncoding == TTextEncoding::Utf8 && utf8Bom) skip = 3;
  if ((mEncoding == TTextEncoding::Utf16Le && leBom) || (mEncoding == TTextEncoding::Utf16Be && beBom)) skip = 2;

  if (mEncoding == TTextEncoding::Detect) {
    // UTF-8 only when the whole text (up to 0x1A) is valid UTF-8 and not
    // plain ASCII; one stray Windows-1252 umlaut makes it Windows-1252.
    mIn->clear();
    mIn->seekg(0);
    bool high = false, valid = true;
    std::string buf;
    std::vector<char> chunk(kChunk);
    while (valid) {
      mIn->read(chunk.data(), chunk.size());
      const std::size_t got = static_cast<std::size_t>(mIn->gcount());
      const bool last = got == 0;
      buf.append(chunk.data(), got);
      const std::size_t eof = buf.find('\x1A');
      const bool final = last || eof != std::string::npos;
      if (eof != std::string::npos) buf.resize(eof);
      const std::size_t stop = final ? buf.size() : buf.size() - IncompleteUtf8Tail(buf);
      std::size_t i = 0;
      while (i < stop) {
        if (static_cast<unsigned char>(buf[i]) < 0x80) {
          ++i;
          continue;
        }
        char32_t cp;
        const std::size_t len = DecodeUtf8(buf, i, cp);
        if (len == 0 || i + len > stop) {
          valid = false;
          break;
        }
        high = true;
        i += len;
      }
      buf.erase(0, stop);
      if (final) break;
    }
    mEncoding = valid && high ? TTextEncoding::Utf8 : TTextEncoding::Windows1252;
  }
  mIn->clear();
  mIn->seekg(skip);
}

void TTextRows::Decode(std::string_view bytes, bool final) {
  const std::size_t before = mText.size();
  switch (mEncoding) {
  case TTextEncoding::Utf8: {
    std::string joined = mCarry + std::string(bytes);
    const std::size_t keep = final ? 0 : IncompleteUtf8Tail(joined);
    mCarry = joined.substr(joined.size() - keep);
    joined.resize(joined.size() - keep);
    mText += Utf8ToCp1252(joined);
    break;
  }
  case TTextEncoding::Utf16Le:
  case TTextEncoding::Utf16Be: {
    const bool le = mEncoding == TTextEncoding::Utf16Le;
    std::string joined = mCarry + std::string(bytes);
    std::size_t i = 0;
    const auto unit = [&](std::size_t k) {
      const unsigned a = static_cast<unsigned char>(joined[k]), b = static_cast<unsigned char>(joined[k + 1]);
      return static_cast<char32_t>(le ? a | (b << 8) : (a << 8) | b);
    };
    while (i + 2 <= joined.size()) {
      const char32_t u = unit(i);
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (i + 4 > joined.size()) {
          if (!final) break;
          mText += '?';
          i += 2;
          continue;
        }
        const char32_t low = unit(i + 2);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          mText += '?';  // beyond the basic plane: nothing of it is in the code page
          i += 4;
        } else {
          mText += '?';
          i += 2;
        }
        continue;
      }
      if (u >= 0xDC00 && u <= 0xDFFF) mText += '?';
      else AppendCp1252(mText, u);
      i += 2;
    }
    mCarry = final ? std::string() : joined.substr(i);
    break;
  }
  default:
    mText.append(bytes);
    break;
  }
  const std::size_t eof = mText.find('\x1A', before);
  if (eof != std::string::npos) {
    mText.resize(eof);
    mEnd = true;
  }
}

bool TTextRows::Fill() {
  if (mEnd) return false;
  std::string chunk(kChunk, '\0');
  mIn->read(chunk.data(), chunk.size());
  const std::size_t got = static_cast<std::size_t>(mIn->gcount());
  if (got == 0 && mIn->bad()) throw TAddressFileError(mFileName, "Die Datei kann nicht gelesen werden", EIO);
  chunk.resize(got);
  const bool final = got == 0;
  Decode(chunk, final);
  if (final) mEnd = true;
  return true;
}

void TTextRows::DetectDelimiter() {
  const auto sampleRows = [this] {
    std::size_t lines = 0;
    for (char c : mText) lines += c == '\n' || c == '\r';
    return lines;
  };
  while (!mEnd && mText.size() < kSampleBytes && sampleRows() < kSampleRows) Fill();

  // A delimiter that splits (nearly) every one of the first rows wins, in
  // the order ';' Tab ',' '|': a comma in a name must not outvote the
  // semicolons of a list. Else the one that gives the most rows the column
  // count most of them have (more than one column); ties go by the order.
  static constexpr char kCandidates[] = {';', '\t', ',', '|'};
  std::size_t bestScore = 0;
  char consistent = ';', everywhere = 0;
  std::vector<std::string> cells;
  for (char d : kCandidates) {
    std::vector<std::size_t> counts;
    std::size_t pos = 0, lines = 0, split = 0;
    while (counts.size() < kSampleRows) {
      const TParse r = Parse(d, pos, lines, cells);
      if (r == TParse::NeedMore || r == TParse::End) break;
      if (r != TParse::Row) continue;
      counts.push_back(cells.size());
      split += cells.size() > 1;
    }
    if (everywhere == 0 && !counts.empty() && split * 10 >= counts.size() * 9) everywhere = d;
    std::size_t score = 0;
    for (std::size_t c : counts) {
      if (c < 2) continue;
      score = std::max(score, static_cast<std::size_t>(std::count(counts.begin(), counts.end(), c)));
    }
    if (score > bestScore) {
      bestScore = score;
      consistent = d;
    }
  }
  mDelimiter = everywhere != 0 ? everywhere : consistent;
}

TTextRows::TParse TTextRows::Parse(char delimiter, std::size_t& pos, std::size_t& lines,
                                   std::vector<std::string>& cells) const {
  const std::size_t n = mText.size();
  std::size_t i = pos;
  if (i == n) return mEnd ? TParse::End : TParse::NeedMore;
  const auto lineEnd = [&](std::size_t k) -> std::size_t {  // length of the line end at k, 0 = need more
    if (mText[k] == '\n') return 1;
    if (k + 1 == n) return mEnd ? 1 : 0;
    return mText[k + 1] == '\n' ? 2 : 1;
  };
  if (mText[i] == '\r' || mText[i] == '\n') {
    const std::size_t len = lineEnd(i);
    if (len == 0) return TParse::NeedMore;
    pos = i + len;
    lines = 1;
    return TParse::Empty;
  }
  std::size_t count = 0;
  std::size_t newLines = 0;
  const auto nextCell = [&]() -> std::string& {
    if (count == cells.size()) cells.emplace_back();
    else cells[count].clear();
    return cells[count++];
  };
  std::string* cell = &nextCell();
  bool fieldStart = true, quoted = false;
  while (true) {
    if (i == n) {
      if (!mEnd) return TParse::NeedMore;
      break;
    }
    const char c = mText[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 == n && !mEnd) return TParse::NeedMore;
        if (i + 1 < n && mText[i + 1] == '"') {
          *cell += '"';
          i += 2;
        } else {
          quoted = false;
          ++i;
        }
        continue;
      }
      if (c == '\r' || (c == '\n' && (i == 0 || mText[i - 1] != '\r'))) ++newLines;
      *cell += c;
      ++i;
      continue;
    }
    if (c == delimiter) {
      cell = &nextCell();
      fieldStart = true;
      ++i;
    } else if (c == '\r' || c == '\n') {
      const std::size_t len = lineEnd(i);
      if (len == 0) return TParse::NeedMore;
      i += len;
      ++newLines;
      break;
    } else if (c == '"' && fieldStart) {
      quoted = true;
      fieldStart = false;
      ++i;
    } else {
      // Plain text up to the next delimiter, quote or line end in one go.
      std::size_t e = i + 1;
      while (e < n && mText[e] != delimiter && mText[e] != '\r' && mText[e] != '\n' && mText[e] != '"') ++e;
      if (e < n && mText[e] == '"') ++e;  // a quote inside a field is text
      cell->append(mText, i, e - i);
      fieldStart = false;
      i = e;
    }
  }
  cells.resize(count);
  pos = i;
  lines = newLines;
  return TParse::Row;
}

bool TTextRows::Next(std::vector<std::string>& cells) {
  while (true) {
    std::size_t pos = mPos, lines = 0;
    const TParse r = Parse(mDelimiter, pos, lines, cells);
    if (r == TParse::End) {
      cells.clear();
      return false;
    }
    if ((r == TParse::NeedMore ? mText.size() : pos) - mPos > kMaxRowBytes)
      throw TAddressFileError(mFileName, "Zeile " + std::to_string(mNextLine) +
                                               " ist l\xE4nger als 16 MB: dort wird wohl ein "
                                               "Anf\xFChrungszeichen nicht geschlossen");
    if (r == TParse::NeedMore) {
      if (mPos > kSampleBytes) {
        mText.erase(0, mPos);
        mPos = 0;
      }
      // A row longer than what is read is parsed again from its start:
      // doubling what is read keeps that linear in the row's length.
      const std::size_t pending = mText.size() - mPos;
      while (Fill() && mText.size() - mPos < 2 * pending) {
      }
      continue;
    }
    mPos = pos;
    const std::size_t start = mNextLine;
    mNextLine += lines;
    if (r == TParse::Row) {
      mLine = start;
      return true;
    }
  }
}

} // namespace postello
