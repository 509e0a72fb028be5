#include "addressdb/TDbf.h"

#include "addressdb/AddressDb.h"
#include "addressdb/OemCodePage.h"
#include "core/QuotedContent.h"
#include "core/SystemErrorText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace postello {
namespace {

constexpr char kEof = 0x1A;
constexpr char kHeaderEnd = 0x0D;
constexpr std::size_t kCacheSlots = 256;
constexpr std::uint32_t kBlockBytes = 4096;

std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void StampToday(std::uint8_t* header) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  header[1] = static_cast<std::uint8_t>(local.tm_year);  // years since 1900
  header[2] = static_cast<std::uint8_t>(local.tm_mon + 1);
  header[3] = static_cast<std::uint8_t>(local.tm_mday);
}

char UpperAZ(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Upper case of a Windows-1252 letter, as the system's locale makes it.
char UpperCp1252(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char>(c - 32);
  switch (c) {
    case 0x9A: return static_cast<char>(0x8A);  // š
    case 0x9C: return static_cast<char>(0x8C);  // œ
    case 0x9E: return static_cast<char>(0x8E);  // ž
    case 0xFF: return static_cast<char>(0x9F);  // ÿ
    default: return ch;
  }
}

std::string Hex2(unsigned v) {
  const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[(v >> 4) & 15] + digits[v & 15];
}

// The German sentence first, then the technical detail: the file and the
// byte offset where the damage was found.
std::string DescribeDbfError(const std::string& fileName, const std::string& message, std::int64_t offset) {
  std::string detail;
  if (!fileName.empty()) detail = "Datei \"" + fileName + "\"";
  if (offset >= 0) detail += (detail.empty() ? "" : ", ") + std::string("Byte ") + std::to_string(offset);
  return detail.empty() ? message : message + " (" + detail + ")";
}

// ": " and the system's reason, when the failed call left one.
std::string ReasonSuffix(int err) { return err != 0 ? ": " + SystemErrorText(err) : std::string(); }

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

TDbfError::TDbfError(const std::string& fileName, const std::string& message,
                     std::int64_t offset)
    : std::runtime_error(DescribeDbfError(fileName, message, offset)),
      mFileName(fileName),
      mMessage(message),
      mOffset(offset) {}

std::string TDbfError::WithoutFileName() const { return DescribeDbfError({}, mMessage, mOffset); }

TDbf::TDbf() = default;

TDbf::~TDbf() {
  try {
    Close();
  } catch (...) {
    // A header that cannot be written at destruction has nowhere to go.
  }
}

void TDbf::SetFileName(const std::string& fileName) {
  if (Active()) Fail("Eine ge\xF6" "ffnete Tabelle kann nicht umbenannt werden");
  mFileName = fileName;
}

[[noreturn]] void TDbf::Fail(const std::string& message, std::int64_t offset) const {
  throw TDbfError(mFileName, message, offset);
}

void TDbf::CheckActive() const {
  if (!Active()) Fail("Die Tabelle ist nicht ge\xF6" "ffnet");
}

void TDbf::CheckWritable() const {
  CheckActive();
  if (mReadOnly) Fail("Die Tabelle ist nur zum Lesen ge\xF6" "ffnet");
}

const TDbfField& TDbf::Field(int index) const {
  if (index < 0 || index >= FieldCount())
    throw std::out_of_range("Das Feld Nummer " + std::to_string(index) + " gibt es nicht");
  return mFields[static_cast<std::size_t>(index)];
}

int TDbf::FindField(std::string_view name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    const std::string& f = mFields[static_cast<std::size_t>(i)].Name;
    if (f.size() == name.size() &&
        std::equal(f.begin(), f.end(), name.begin(),
                   [](char a, char b) { return UpperAZ(a) == UpperAZ(b); }))
      return i;
  }
  return -1;
}

// --- creating -------------------------------------------------------------

void TDbf::CreateTable() {
  Close();
  if (mFileName.empty()) throw std::invalid_argument("F\xFCr die neue Tabelle ist kein Dateiname angegeben");
  if (mDefs.size() > (65535 - 33) / 32)
    throw std::invalid_argument("Zu viele Felder f\xFCr eine Tabelle: " + std::to_string(mDefs.size()));

  std::uint32_t recordLen = 1;
  for (auto& def : mDefs) {
    if (def.Name.empty()) throw std::invalid_argument("Ein Feld hat keinen Namen");
    if (def.Type != 'C')
      throw std::invalid_argument("Feld " + QuotedContent(def.Name) + ": Es k\xF6nnen nur Textfelder angelegt werden");
    if (def.Size < 1 || def.Size > 254)
      throw std::invalid_argument("Feld " + QuotedContent(def.Name) + ": Die Breite " + std::to_string(def.Size) +
                                  " liegt nicht zwischen 1 und 254");
    std::transform(def.Name.begin(), def.Name.end(), def.Name.begin(), UpperCp1252);
    recordLen += static_cast<std::uint32_t>(def.Size);
  }
  if (recordLen > 65535) throw std::invalid_argument("Die Felder sind zusammen breiter, als ein Datensatz sein kann");

  const std::uint32_t headerLen = 32 + 32 * static_cast<std::uint32_t>(mDefs.size()) + 1;
  std::string bytes(headerLen + 1, '\0');
  auto* h = reinterpret_cast<std::uint8_t*>(bytes.data());
  h[0] = 0x03;
  StampToday(h);
  Put32(h + 4, 0);
  Put16(h + 8, headerLen);
  Put16(h + 10, recordLen);
  h[29] = mLastLanguageId != 0 ? mLastLanguageId : kDefaultLanguageId;
  std::size_t at = 32;
  for (const auto& def : mDefs) {
    std::memcpy(h + at, def.Name.data(), std::min<std::size_t>(def.Name.size(), 10));
    h[at + 11] = static_cast<std::uint8_t>(def.Type);
    h[at + 16] = static_cast<std::uint8_t>(def.Size);
    h[at + 17] = 0;
    at += 32;
  }
  bytes[at] = kHeaderEnd;
  bytes[at + 1] = kEof;

  {
    errno = 0;
    std::ofstream out(mFileName, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      out.close();
    }
    if (!out) {
      const int err = errno;
      std::error_code ignored;
      std::filesystem::remove(mFileName, ignored);
      Fail("Die neue Tabelle kann nicht geschrieben werden" + ReasonSuffix(err));
    }
  }
  mLastLanguageId = h[29];
}

// --- opening and closing --------------------------------------------------

void TDbf::Open() {
  if (Active()) return;
  if (mFileName.empty()) throw TDbfError("", "Es ist kein Dateiname f\xFCr die Tabelle angegeben");
  std::error_code ec;
  if (mAutoCreate && !mWantReadOnly && !std::filesystem::exists(mFileName, ec)) CreateTable();

  mReadOnly = false;
  mHeaderStale = false;
  if (!mWantReadOnly) mFile.open(mFileName, std::ios::in | std::ios::out | std::ios::binary);
  if (!mFile.is_open()) {
    mFile.clear();
    errno = 0;
    mFile.open(mFileName, std::ios::in | std::ios::binary);
    if (!mFile.is_open()) {
      const int err = errno;
      mFile.clear();
      Fail("Die Datei kann nicht ge\xF6" "ffnet werden" + ReasonSuffix(err));
    }
    mReadOnly = true;
  }
  try {
    ReadStructure();
  } catch (...) {
    mFile.close();
    mFile.clear();
    mFields.clear();
    mCount = 0;
    throw;
  }
  mState = TDbfState::Browse;
  mLastLanguageId = mHeader[29];
  mCodePage = CodePageOfLanguageId(mHeader[29]);
  mDefs.clear();
  for (const auto& f : mFields) mDefs.push_back({f.Name, f.Type, f.Width, f.Decimals});
  InvalidateView();
  SetNoCurrent();
  try {
    First();
  } catch (...) {
    Close();
    throw;
  }
}

void TDbf::ReadStructure() {
  mFile.seekg(0, std::ios::end);
  const std::int64_t length = mFile.tellg();
  if (length <= 0) Fail("Die Datei ist leer und keine dBASE-Tabelle");
  mFile.seekg(0);
  std::memset(mHeader, 0, sizeof mHeader);
  mFile.read(reinterpret_cast<char*>(mHeader), 32);
  const auto got = mFile.gcount();
  mFile.clear();
  if ((mHeader[0] & 7) != 3)
    Fail("Die Datei ist keine dBASE-III/IV-Tabelle (Versionsbyte " + Hex2(mHeader[0]) + ")", 0);
  if (got < 32) Fail("Die Datei endet im Kopf der Tabelle", got);
  // A production index (.mdx) would go stale with every record written here,
  // and the program that keeps it would then read a damaged index.
  if (mHeader[28] & 1) mReadOnly = true;

  mHeaderLen = Get16(mHeader + 8);
  mRecordLen = Get16(mHeader + 10);
  if (mHeaderLen == 0 || mRecordLen == 0)
    throw TDbfAbort(mFileName, "Die Kopfl\xE4nge oder die Datensatzl\xE4nge der Tabelle ist 0", 8);
  if (mHeaderLen < 33)
    Fail("Die Kopfl\xE4nge " + std::to_string(mHeaderLen) + " der Tabelle ist zu klein", 8);
  if (length < mHeaderLen)
    Fail("Die Datei ist " + std::to_string(length) + " Bytes lang, ihr Kopf gibt aber " +
             std::to_string(mHeaderLen) + " Bytes an",
         length);

  std::vector<std::uint8_t> desc(mHeaderLen - 32u);
  mFile.read(reinterpret_cast<char*>(desc.data()), static_cast<std::streamsize>(desc.size()));
  if (mFile.gcount() != static_cast<std::streamsize>(desc.size())) {
    mFile.clear();
    Fail("Die Datei endet in den Feldbeschreibungen", 32 + mFile.gcount());
  }

  mFields.clear();
  const std::size_t maxFields = desc.size() / 32;
  std::size_t pos = 0;
  int offset = 1;
  for (std::size_t k = 0; k < maxFields && desc[pos] != kHeaderEnd; ++k, pos += 32) {
    const std::uint8_t* d = desc.data() + pos;
    TDbfField f;
    std::size_t n = 0;
    while (n < 11 && d[n] != 0) ++n;
    f.Name.assign(reinterpret_cast<const char*>(d), n);
    f.Type = static_cast<char>(d[11]);
    f.Width = d[16];
    f.Decimals = d[17];
    f.Offset = offset;
    const std::int64_t fileOffset = 32 + static_cast<std::int64_t>(pos);
    if (f.Width == 0) Fail("Das Feld " + QuotedContent(f.Name) + " hat die Breite 0", fileOffset + 16);
    if (offset + f.Width > mRecordLen)
      Fail("Das Feld " + QuotedContent(f.Name) + " (Beginn " + std::to_string(offset) + ", Breite " +
               std::to_string(f.Width) + ") reicht \xFC" "ber die Datensatzl\xE4nge " +
               std::to_string(mRecordLen) + " hinaus",
           fileOffset + 16);
    offset += f.Width;
    mFields.push_back(std::move(f));
  }
  if (pos >= desc.size() || desc[pos] != kHeaderEnd)
    Fail("Die Kopfl\xE4nge " + std::to_string(mHeaderLen) +
             " passt nicht zu den Feldbeschreibungen (keine Endmarke 0x0D)",
         32 + static_cast<std::int64_t>(pos));
  if (offset != mRecordLen)
    Fail("Die Datensatzl\xE4nge " + std::to_string(mRecordLen) + " passt nicht zu den Feldern, die " +
             std::to_string(offset) + " Bytes brauchen",
         10);

  mBlockRecords = std::max<std::uint32_t>(1, kBlockBytes / mRecordLen);
  mCount = CountFromFileLength();
  ResetCache();
  // Only a change of the table writes the corrected count: a command that
  // merely reads leaves the file alone.
  mHeaderStale = mCount != Get32(mHeader + 4);
}

std::uint32_t TDbf::CountFromFileLength() {
  mFile.clear();
  mFile.seekg(0, std::ios::end);
  const std::int64_t length = mFile.tellg();
  if (length < mHeaderLen) Fail("Die Datei ist k\xFCrzer als ihr Kopf", length);
  const std::uint64_t count = static_cast<std::uint64_t>(length - mHeaderLen) / mRecordLen;
  if (count > UINT32_MAX) Fail("Die Datei enth\xE4lt mehr Datens\xE4tze, als eine Tabelle z\xE4hlen kann");
  auto n = static_cast<std::uint32_t>(count);
  // A last "record" that starts with the end-of-file byte is that byte
  // (with whatever follows it), not a record: with a record length of 1 the
  // end-of-file byte alone would otherwise count as one more record on every
  // open, and every close would add another.
  if (n > 0) {
    mFile.seekg(static_cast<std::streamoff>(mHeaderLen) +
                static_cast<std::streamoff>(n - 1) * mRecordLen);
    char mark = 0;
    mFile.read(&mark, 1);
    mFile.clear();
    if (mark == kEof) --n;
  }
  return n;
}

void TDbf::Close() {
  if (!Active()) return;
  mState = TDbfState::Browse;  // a pending edit is dropped
  mModified = false;
  std::string error;
  if (!mReadOnly) {
    try {
      WriteHeader(true);
      WriteEofByte();
      Flush();
    } catch (const TDbfError& e) {
      error = e.what();
    }
  }
  mFile.close();
  mFile.clear();
  mState = TDbfState::Inactive;
  mFields.clear();
  mCount = 0;
  ResetCache();
  InvalidateView();
  SetNoCurrent();
  if (!error.empty()) throw TDbfError(mFileName, "Die Tabelle konnte nicht richtig geschlossen werden: " + error);
}

// --- file access ----------------------------------------------------------

void TDbf::ResetCache() {
  mBlocks.assign(kCacheSlots, TBlock{});
}

const char* TDbf::RecordPtr(std::uint32_t recNo) {
  if (recNo < 1 || recNo > mCount) Fail("Den Datensatz " + std::to_string(recNo) + " gibt es nicht");
  const std::uint64_t i = recNo - 1u;
  const std::uint64_t block = i / mBlockRecords;
  const auto within = static_cast<std::uint32_t>(i % mBlockRecords);
  TBlock& slot = mBlocks[block % kCacheSlots];
  if (slot.Index != block || within >= slot.Records) {
    const std::uint64_t first = block * mBlockRecords;
    const auto records =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(mBlockRecords, mCount - first));
    const std::uint64_t offset = mHeaderLen + first * mRecordLen;
    slot.Index = UINT64_MAX;
    slot.Data.resize(static_cast<std::size_t>(records) * mRecordLen);
    mFile.clear();
    mFile.seekg(static_cast<std::streamoff>(offset));
    mFile.read(slot.Data.data(), static_cast<std::streamsize>(slot.Data.size()));
    if (mFile.gcount() != static_cast<std::streamsize>(slot.Data.size())) {
      mFile.clear();
      Fail("Die Datei endet in Datensatz " + std::to_string(first + 1 + mFile.gcount() / mRecordLen),
           static_cast<std::int64_t>(offset));
    }
    slot.Index = block;
    slot.Records = records;
  }
  return slot.Data.data() + static_cast<std::size_t>(within) * mRecordLen;
}

void TDbf::WriteAt(std::uint64_t offset, const char* data, std::size_t size) {
  mFile.clear();
  mFile.seekp(static_cast<std::streamoff>(offset));
  errno = 0;
  mFile.write(data, static_cast<std::streamsize>(size));
  if (!mFile) {
    const int err = errno;
    mFile.clear();
    Fail("Die Tabelle kann nicht geschrieben werden" + ReasonSuffix(err), static_cast<std::int64_t>(offset));
  }
}

void TDbf::Flush() {
  errno = 0;
  mFile.flush();
  if (!mFile) {
    const int err = errno;
    mFile.clear();
    Fail("Die Tabelle kann nicht geschrieben werden" + ReasonSuffix(err));
  }
}

void TDbf::WriteHeader(bool stampDate) {
  if (stampDate) StampToday(mHeader);
  Put32(mHeader + 4, mCount);
  WriteAt(0, reinterpret_cast<const char*>(mHeader), 32);
  mHeaderStale = false;
}

void TDbf::WriteStaleHeader() {
  if (mHeaderStale) WriteHeader(false);
}

void TDbf::WriteEofByte() {
  const char eof = kEof;
  WriteAt(mHeaderLen + static_cast<std::uint64_t>(mCount) * mRecordLen, &eof, 1);
}

void TDbf::WriteRecord(std::uint32_t recNo, const std::string& record, bool lastRecord) {
  const std::uint64_t i = recNo - 1u;
  if (lastRecord) {
    // One write for the record and the end-of-file byte behind it.
    std::string bytes = record;
    bytes += kEof;
    WriteAt(mHeaderLen + i * mRecordLen, bytes.data(), bytes.size());
  } else {
    WriteAt(mHeaderLen + i * mRecordLen, record.data(), record.size());
  }
  const std::uint64_t block = i / mBlockRecords;
  TBlock& slot = mBlocks[block % kCacheSlots];
  const auto within = static_cast<std::uint32_t>(i % mBlockRecords);
  if (slot.Index == block && within < slot.Records) {
    std::memcpy(slot.Data.data() + static_cast<std::size_t>(within) * mRecordLen, record.data(),
                mRecordLen);
  } else if (slot.Index == block && within == slot.Records) {
    // Appending right behind the cached part keeps the block warm.
    slot.Data.insert(slot.Data.end(), record.begin(), record.end());
    ++slot.Records;
  }
  if (recNo == mRecNo) mCurrent = record;
}

// --- the view -------------------------------------------------------------

void TDbf::SetOnFilterRecord(TFilterRecord callback) {
  mOnFilter = std::move(callback);
  FilterChanged();
}

void TDbf::SetFiltered(bool on) {
  if (on == mFiltered) return;
  mFiltered = on;
  if (Active()) {
    CheckBrowseMode();
    InvalidateView();
    First();
  }
}

void TDbf::FilterChanged() {
  InvalidateView();
}

void TDbf::InvalidateView() {
  mView.clear();
  mScanned = 0;
  mPos = SIZE_MAX;
}

bool TDbf::Accepts(std::uint32_t recNo) {
  return AcceptsRecord(RecordPtr(recNo));
}

bool TDbf::AcceptsRecord(const char* record) {
  if (record[0] == '*') return false;
  if (!mFiltered || !mOnFilter) return true;
  struct TReset {
    const char*& Ptr;
    ~TReset() { Ptr = nullptr; }
  } reset{mFilterRecord};
  mFilterRecord = record;
  return mOnFilter(*this);
}

void TDbf::ExtendView(std::size_t wanted) {
  Scan(wanted, mCount);
}

void TDbf::ExtendViewTo(std::uint32_t recNo) {
  Scan(SIZE_MAX, recNo);
}

// Judges further records in file order until the view holds `wanted`
// records or every record up to `lastRecNo` is judged.
void TDbf::Scan(std::size_t wanted, std::uint32_t lastRecNo) {
  lastRecNo = std::min(lastRecNo, mCount);
  while (mView.size() < wanted && mScanned < lastRecNo) {
    const std::uint32_t next = mScanned + 1;
    const bool pass = Accepts(next);  // may throw: the record stays unjudged
    mScanned = next;
    if (pass) mView.push_back(next);
  }
}

// Index of the first record of the view at or after recNo.
std::size_t TDbf::LowerIndex(std::uint32_t recNo) {
  if (mPos < mView.size() && mView[mPos] == recNo) return mPos;
  ExtendViewTo(recNo);
  return static_cast<std::size_t>(std::lower_bound(mView.begin(), mView.end(), recNo) -
                                  mView.begin());
}

void TDbf::SetCurrent(std::size_t index) {
  mPos = index;
  mRecNo = mView[index];
  const char* record = RecordPtr(mRecNo);
  mCurrent.assign(record, mRecordLen);
}

void TDbf::SetNoCurrent() {
  mRecNo = 0;
  mPos = SIZE_MAX;
  mCurrent.clear();
  mBof = mEof = true;
}

// After a record changed: it may now pass the filter or fail it.
void TDbf::UpdateViewFor(std::uint32_t recNo) {
  if (recNo > mScanned) return;  // judged when the view gets there
  const auto it = std::lower_bound(mView.begin(), mView.end(), recNo);
  const bool listed = it != mView.end() && *it == recNo;
  const bool pass = Accepts(recNo);
  if (pass && !listed) mView.insert(it, recNo);
  if (!pass && listed) mView.erase(it);
  mPos = SIZE_MAX;
}

// --- moving ---------------------------------------------------------------

void TDbf::First() {
  CheckActive();
  CheckBrowseMode();
  ExtendView(1);
  if (mView.empty()) return SetNoCurrent();
  SetCurrent(0);
  mBof = true;
  mEof = false;
}

void TDbf::Last() {
  CheckActive();
  CheckBrowseMode();
  ExtendView(SIZE_MAX);
  if (mView.empty()) return SetNoCurrent();
  SetCurrent(mView.size() - 1);
  mBof = false;
  mEof = true;
}

bool TDbf::Next() {
  return MoveBy(1) == 1;
}

bool TDbf::Prior() {
  return MoveBy(-1) == -1;
}

int TDbf::MoveBy(int distance) {
  CheckActive();
  CheckBrowseMode();
  if (mRecNo == 0) {
    // No current record: the nearest a move can get is the first one.
    First();
    return 0;
  }
  if (distance == 0) return 0;
  const std::size_t lower = LowerIndex(mRecNo);
  const bool listed = lower < mView.size() && mView[lower] == mRecNo;
  if (distance > 0) {
    const std::size_t start = listed ? lower + 1 : lower;  // first candidate
    const std::size_t target = start + static_cast<std::size_t>(distance) - 1;
    ExtendView(target + 1);
    if (target < mView.size()) {
      SetCurrent(target);
      mBof = mEof = false;
      return distance;
    }
    mEof = true;
    if (mView.size() <= start) return 0;
    SetCurrent(mView.size() - 1);
    mBof = false;
    return static_cast<int>(mView.size() - start);
  }
  const std::size_t back = static_cast<std::size_t>(-static_cast<std::int64_t>(distance));
  if (lower >= back) {
    SetCurrent(lower - back);
    mBof = mEof = false;
    return distance;
  }
  mBof = true;
  if (lower == 0) return 0;
  SetCurrent(0);
  mEof = false;
  return -static_cast<int>(lower);
}

void TDbf::MoveTo(std::uint32_t position) {
  CheckActive();
  CheckBrowseMode();
  ExtendView(static_cast<std::size_t>(position) + 1);
  if (mView.empty()) return SetNoCurrent();
  if (position < mView.size()) {
    SetCurrent(position);
    mBof = position == 0;
    mEof = false;
  } else {
    SetCurrent(mView.size() - 1);
    mBof = mView.size() == 1;
    mEof = true;
  }
}

bool TDbf::GoToRecord(std::uint32_t recNo) {
  CheckActive();
  CheckBrowseMode();
  if (recNo < 1 || recNo > mCount) return false;
  const std::size_t index = LowerIndex(recNo);
  if (index >= mView.size() || mView[index] != recNo) return false;
  SetCurrent(index);
  mBof = index == 0;
  mEof = false;
  return true;
}

bool TDbf::IsEmpty() {
  if (!Active()) return true;
  ExtendView(1);
  return mView.empty();
}

std::uint32_t TDbf::ViewCount() {
  if (!Active()) return 0;
  ExtendView(SIZE_MAX);
  return static_cast<std::uint32_t>(mView.size());
}

std::int64_t TDbf::Position() {
  if (!Active() || mRecNo == 0) return -1;
  const std::size_t lower = LowerIndex(mRecNo);
  if (lower < mView.size() && mView[lower] == mRecNo) {
    mPos = lower;
    return static_cast<std::int64_t>(lower);
  }
  return -1;
}

std::uint32_t TDbf::RecNoAt(std::uint32_t position) {
  CheckActive();
  ExtendView(static_cast<std::size_t>(position) + 1);
  return position < mView.size() ? mView[position] : 0;
}

std::string TDbf::ValueAt(std::uint32_t position, int index) {
  CheckActive();
  Field(index);
  ExtendView(static_cast<std::size_t>(position) + 1);
  if (position >= mView.size()) return {};
  return FieldText(RecordPtr(mView[position]), index);
}

// --- fields ---------------------------------------------------------------

const char* TDbf::ActiveRecord() const {
  if (mFilterRecord) return mFilterRecord;
  if (mState == TDbfState::Edit || mState == TDbfState::Insert) return mBuffer.data();
  if (mRecNo == 0) return nullptr;
  return mCurrent.data();
}

std::string TDbf::AsString(int index) const {
  CheckActive();
  Field(index);
  const char* record = ActiveRecord();
  if (!record) return {};
  return FieldText(record, index);
}

std::string TDbf::FieldText(const char* record, int index) const {
  const TDbfField& f = mFields[static_cast<std::size_t>(index)];
  std::string_view raw(record + f.Offset, static_cast<std::size_t>(f.Width));
  switch (f.Type) {
    case 'N':
    case 'F':
      return std::string(TrimSpaces(raw));
    case 'D': {
      const std::string d(TrimSpaces(raw));
      if (d.size() == 8 && AllDigits(d))
        return d.substr(6, 2) + "." + d.substr(4, 2) + "." + d.substr(0, 4);
      return d;
    }
    case 'L':
      switch (raw[0]) {
        case 'T': case 't': case 'Y': case 'y': return "True";
        case 'F': case 'f': case 'N': case 'n': return "False";
        default: return {};
      }
    case 'M':
    case 'B':
    case 'G':
      return {};
    default: {
      std::size_t e = raw.size();
      while (e > 0 && (raw[e - 1] == ' ' || raw[e - 1] == '\0')) --e;
      if (mCodePage != 1252) return OemToCp1252(raw.substr(0, e), mCodePage);
      return std::string(raw.substr(0, e));
    }
  }
}

void TDbf::SetAsString(int index, std::string_view text) {
  CheckActive();
  const TDbfField& f = Field(index);
  if (mState != TDbfState::Edit && mState != TDbfState::Insert)
    Fail("Die Tabelle wird gerade nicht bearbeitet");
  const auto width = static_cast<std::size_t>(f.Width);
  std::string value;
  auto refuse = [&](const char* what) {
    Fail("Feld " + QuotedContent(f.Name) + ": \"" + QuotedContent(text) + "\" " + what);
  };
  switch (f.Type) {
    case 'N':
    case 'F': {
      std::string t(TrimSpaces(text));
      std::replace(t.begin(), t.end(), ',', '.');
      bool digit = false;
      for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') digit = true;
        else if (!(c == '.' || ((c == '-' || c == '+') && i == 0))) refuse("ist keine Zahl");
      }
      if (!t.empty() && !digit) refuse("ist keine Zahl");
      if (t.size() > width) refuse("passt nicht in das Feld");
      value = std::string(width - t.size(), ' ') + t;
      break;
    }
    case 'D': {
      const std::string t(TrimSpaces(text));
      if (t.empty()) value = "        ";
      else if (t.size() == 8 && AllDigits(t)) value = t;
      else if (t.size() == 10 && t[2] == '.' && t[5] == '.' &&
               AllDigits(t.substr(0, 2)) && AllDigits(t.substr(3, 2)) && AllDigits(t.substr(6, 4)))
        value = t.substr(6, 4) + t.substr(3, 2) + t.substr(0, 2);
      else refuse("ist kein Datum (TT.MM.JJJJ)");
      if (value.size() > width) refuse("passt nicht in das Feld");
      break;
    }
    case 'L': {
      std::string t(TrimSpaces(text));
      std::transform(t.begin(), t.end(), t.begin(), UpperAZ);
      if (t.empty()) value = "?";
      else if (t == "TRUE" || t == "T" || t == "Y" || t == "J" || t == "1") value = "T";
      else if (t == "FALSE" || t == "F" || t == "N" || t == "0") value = "F";
      else refuse("ist kein Wahrheitswert");
      break;
    }
    case 'C':
      value = mCodePage != 1252 ? Cp1252ToOem(text.substr(0, width), mCodePage)
                                : std::string(text.substr(0, width));
      break;
    default:
      Fail("Das Feld " + QuotedContent(f.Name) + " vom Typ " + QuotedContent(std::string(1, f.Type)) +
           " kann nicht ge\xE4ndert werden");
  }
  value.resize(width, ' ');
  mBuffer.replace(static_cast<std::size_t>(f.Offset), width, value);
  mModified = true;
}

// --- editing --------------------------------------------------------------

bool TDbf::IsDeleted() const {
  return mRecNo != 0 && !mCurrent.empty() && mCurrent[0] == '*';
}

void TDbf::Edit() {
  CheckWritable();
  if (mState == TDbfState::Edit || mState == TDbfState::Insert) return;
  if (mRecNo == 0) return Append();
  mBuffer = mCurrent;
  mModified = false;
  mState = TDbfState::Edit;
}

void TDbf::Append() {
  CheckWritable();
  CheckBrowseMode();
  mBuffer.assign(mRecordLen, ' ');
  mModified = false;
  mState = TDbfState::Insert;
}

void TDbf::Insert() {
  Append();
}

void TDbf::Post() {
  CheckActive();
  if (mState == TDbfState::Edit) {
    WriteRecord(mRecNo, mBuffer);
    WriteStaleHeader();
    Flush();
    mState = TDbfState::Browse;
    mModified = false;
    UpdateViewFor(mRecNo);
    return;
  }
  if (mState != TDbfState::Insert) Fail("Die Tabelle wird gerade nicht bearbeitet");

  const std::uint32_t wasScanned = mScanned;
  const std::uint32_t recNo = mCount + 1;
  ++mCount;
  try {
    WriteHeader(true);
    WriteRecord(recNo, mBuffer, true);
    Flush();
  } catch (...) {
    --mCount;
    try {
      WriteHeader(false);
      Flush();
    } catch (...) {
      // The first error is the one worth reporting.
    }
    throw;
  }
  mState = TDbfState::Browse;
  mModified = false;
  mRecNo = recNo;
  mCurrent = mBuffer;
  mPos = SIZE_MAX;
  mBof = mEof = false;
  if (wasScanned == recNo - 1) {
    // The view was complete: judge the new record now so it stays complete.
    mScanned = recNo;
    if (AcceptsRecord(mCurrent.data())) mView.push_back(recNo);
  }
}

void TDbf::Cancel() {
  if (mState == TDbfState::Edit || mState == TDbfState::Insert) mState = TDbfState::Browse;
  mModified = false;
}

void TDbf::CheckBrowseMode() {
  if (mState != TDbfState::Edit && mState != TDbfState::Insert) return;
  if (mModified) Post();
  else Cancel();
}

void TDbf::Delete() {
  CheckWritable();
  if (mState == TDbfState::Insert) return Cancel();
  Cancel();
  if (mRecNo == 0) Fail("Es gibt keinen Datensatz zum L\xF6schen");
  std::string record = mCurrent;
  record[0] = '*';
  WriteRecord(mRecNo, record);
  WriteStaleHeader();
  Flush();
  const std::uint32_t gone = mRecNo;
  UpdateViewFor(gone);
  const std::size_t next = LowerIndex(gone);
  ExtendView(next + 1);
  if (next < mView.size()) {
    SetCurrent(next);
    mBof = next == 0;
    mEof = false;
  } else if (!mView.empty()) {
    SetCurrent(mView.size() - 1);
    mBof = false;
    mEof = true;
  } else {
    SetNoCurrent();
  }
}

void TDbf::Refresh() {
  CheckActive();
  CheckBrowseMode();
  const std::uint32_t keep = mRecNo;
  mCount = CountFromFileLength();
  ResetCache();
  InvalidateView();
  if (keep != 0 && keep <= mCount) {
    const std::size_t lower = LowerIndex(keep);
    if (lower < mView.size() && mView[lower] == keep) {
      SetCurrent(lower);
      mBof = mEof = false;
      return;
    }
  }
  First();
}

} // namespace postello
