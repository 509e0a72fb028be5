#pragma once
#include <cstdint>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// A table file that cannot be created, read or written. Names the file and,
// where one applies, the byte offset in it (-1 otherwise).
class TDbfError : public std::runtime_error {
public:
  TDbfError(const std::string& fileName, const std::string& message,
            std::int64_t offset = -1);
  const std::string& FileName() const { return mFileName; }
  std::int64_t Offset() const { return mOffset; }

private:
  std::string mFileName;
  std::int64_t mOffset;
};

// A header whose header length or record length is 0. Opening ends without a
// message of its own; the caller decides whether the user hears about it.
class TDbfAbort : public TDbfError {
public:
  using TDbfError::TDbfError;
};

// One field as the table is to be created.
struct TDbfFieldDef {
  std::string Name;
  char Type = 'C';
  int Size = 0;
  int Precision = 0;
};

// One field of the open table, as its descriptor says.
struct TDbfField {
  std::string Name;   // as stored: upper case, at most 10 (11 from others) bytes
  char Type = 'C';    // 'C', 'N', 'F', 'D', 'L', 'M', ...
  int Width = 0;
  int Decimals = 0;
  int Offset = 0;     // within the record; the first field is at 1
};

enum class TDbfState { Inactive, Browse, Edit, Insert };

// A dBASE III/IV table file read and written in place, record by record.
//
// The file: a 32-byte header (version, date of the last change, record count,
// header length, record length, language driver byte), one 32-byte descriptor
// per field, 0x0D, then fixed-width records (a deletion mark, blank or '*',
// followed by the fields) and the end-of-file byte 0x1A. Every posted record
// is written at once; nothing is kept back until closing.
//
// The cursor: at most one current record, named by its record number
// (1-based position in the file). Moves skip deleted records and, when
// filtering is on, records the filter callback rejects. The records that pass
// form the view; the view is collected lazily in file order as moves reach
// further, so moving to the r-th record of the view costs nothing once the
// view reaches r. The view is dropped whenever what the filter sees may have
// changed: reopening, switching filtering, a new callback, FilterChanged().
//
// Editing: Edit() copies the current record into an edit buffer, Append()
// and Insert() start a blank one; SetAsString() changes the buffer, Post()
// writes it (in place, or as a new record at the end), Cancel() drops it.
// Moving while editing posts a changed buffer and drops an unchanged one.
//
// Records are read through a small cache of file blocks, so memory stays
// bounded whatever the file size; the count of records is taken from the file
// length, never trusted from the header.
class TDbf {
public:
  // Called for each record a move considers; the record is readable through
  // AsString() of the table handed in. Returns true to let it pass. It must
  // not move or change the table.
  using TFilterRecord = std::function<bool(const TDbf&)>;

  // Language driver byte written when no earlier table supplies one: ANSI
  // Latin-1 (Windows-1252) on a German system.
  static constexpr std::uint8_t kDefaultLanguageId = 0x61;

  TDbf();
  ~TDbf();
  TDbf(const TDbf&) = delete;
  TDbf& operator=(const TDbf&) = delete;

  // The file the table lives in; may only change while the table is closed.
  void SetFileName(const std::string& fileName);
  const std::string& FileName() const { return mFileName; }

  // Field definitions used by CreateTable() and by the automatic creation of
  // a missing file in Open(). Opening a table replaces them by its fields.
  std::vector<TDbfFieldDef>& FieldDefs() { return mDefs; }
  const std::vector<TDbfFieldDef>& FieldDefs() const { return mDefs; }

  // When set (the default), Open() first creates a missing file.
  void SetAutoCreate(bool on) { mAutoCreate = on; }
  bool AutoCreate() const { return mAutoCreate; }

  // When set, Open() opens the file for reading only and never creates
  // it: nothing is written, not even the header at closing. For commands
  // that only read. Takes effect at the next Open().
  void SetReadOnly(bool on) { mWantReadOnly = on; }

  // Creates an empty table from FieldDefs(), replacing any file of the name.
  // Names are upper-cased (also in FieldDefs()) and cut to 10 bytes in the
  // descriptor. Closes the table first when it is open. Throws TDbfError and
  // std::invalid_argument; a half-written file is removed.
  void CreateTable();

  // Opens the file (read-write; read-only when asked for, when writing is
  // refused or when the table has a production index, which writing would
  // leave stale) and positions on the first record of the view. A record
  // count in the header that disagrees with the file length is corrected
  // in memory; the file gets it with the first change (or at closing), so
  // opening alone writes nothing. Throws TDbfAbort for a header length or
  // record length of 0 and TDbfError for anything else unusable.
  void Open();
  // Drops a pending edit; a table open for writing gets its header written
  // with today's date and the end-of-file byte after the last record. A
  // table opened for reading only is left as it is.
  void Close();
  bool Active() const { return mState != TDbfState::Inactive; }
  bool ReadOnly() const { return mReadOnly; }

  std::uint8_t Version() const { return mHeader[0]; }
  std::uint8_t LanguageId() const { return mHeader[29]; }
  // Code page of the stored text (from the language driver byte). Text of a
  // DOS table (437, 850) is converted to and from Windows-1252 by AsString()
  // and SetAsString(); any other table is taken as Windows-1252.
  int CodePage() const { return mCodePage; }
  std::uint16_t HeaderLength() const { return mHeaderLen; }
  std::uint16_t RecordLength() const { return mRecordLen; }

  int FieldCount() const { return static_cast<int>(mFields.size()); }
  // Throws std::out_of_range for a bad index.
  const TDbfField& Field(int index) const;
  // Index of the first field whose name equals name with the letters a to z
  // compared without case; -1 when there is none.
  int FindField(std::string_view name) const;

  // The field's value as text: a character field without its trailing
  // blanks; numbers as stored without blanks; a date as DD.MM.YYYY; a
  // logical as "True" or "False"; a memo as "". Empty when there is no
  // current record. Throws std::out_of_range for a bad index and TDbfError
  // when the table is closed.
  std::string AsString(int index) const;
  // Sets a field of the edit buffer from text (Edit(), Append() or Insert()
  // first). Character fields take at most their width and are padded with
  // blanks. Numeric, date and logical fields take their text form; a text
  // they cannot hold, and a memo field, throw TDbfError.
  void SetAsString(int index, std::string_view text);

  void SetOnFilterRecord(TFilterRecord callback);
  void SetFiltered(bool on);
  bool Filtered() const { return mFiltered; }
  // Tells the table that the callback's answers may have changed (for
  // instance because the filter text did): the view is collected afresh.
  void FilterChanged();

  void First();
  void Last();
  // Return whether the cursor moved; at the end Eof() (Bof()) becomes true.
  bool Next();
  bool Prior();
  // Moves distance records forward (negative: back) and returns the number
  // of records actually moved, negative when moving back.
  int MoveBy(int distance);
  // The same as First() followed by MoveBy(position), without the walk.
  void MoveTo(std::uint32_t position);
  // Makes the record with number recNo current when it is in the view
  // (posting or dropping an edit first, as every move does). False, and the
  // cursor where it was, when the record does not pass or does not exist.
  bool GoToRecord(std::uint32_t recNo);
  bool Bof() const { return mBof; }
  bool Eof() const { return mEof; }
  // True when no record passes (or the table is closed).
  bool IsEmpty();

  // Record number of the current record (1-based, in the file); 0 for none.
  std::uint32_t RecNo() const { return mRecNo; }
  // Records in the file, deleted ones included.
  std::uint32_t RecordCount() const { return mCount; }
  // Records that pass the filter; collects the whole view.
  std::uint32_t ViewCount();
  // Position of the current record in the view, or -1 when there is none
  // or it does not pass (a record changed so that it fails the filter stays
  // current until the cursor moves).
  std::int64_t Position();
  // Record number of the record at a position of the view, without moving
  // the cursor; 0 when the position is past the end.
  std::uint32_t RecNoAt(std::uint32_t position);
  // Value of a field of the record at a position of the view, without moving
  // the cursor (for display). Empty when the position is past the end.
  std::string ValueAt(std::uint32_t position, int index);

  TDbfState State() const { return mState; }
  bool Modified() const { return mModified; }
  // Deletion mark of the current record.
  bool IsDeleted() const;

  void Edit();
  void Append();
  void Insert();  // no index: the same as Append()
  void Post();
  void Cancel();
  // Marks the current record deleted (cancels an insert instead) and moves
  // to the next record of the view, or the previous one at the end.
  void Delete();
  // Posts a pending edit, then reads the file afresh (another program may
  // have appended) and stays on the current record when it still passes.
  void Refresh();
  // Posts a changed edit buffer, drops an unchanged one.
  void CheckBrowseMode();

private:
  struct TBlock {
    std::uint64_t Index = UINT64_MAX;
    std::uint32_t Records = 0;
    std::vector<char> Data;
  };

  void CheckActive() const;
  void CheckWritable() const;
  [[noreturn]] void Fail(const std::string& message, std::int64_t offset = -1) const;
  void ReadStructure();
  std::uint32_t CountFromFileLength();
  void ResetCache();
  const char* RecordPtr(std::uint32_t recNo);
  void WriteAt(std::uint64_t offset, const char* data, std::size_t size);
  void WriteHeader(bool stampDate);
  // Writes a header whose record count was corrected at opening.
  void WriteStaleHeader();
  void WriteEofByte();
  void WriteRecord(std::uint32_t recNo, const std::string& record, bool lastRecord = false);
  void Flush();

  bool Accepts(std::uint32_t recNo);
  bool AcceptsRecord(const char* record);
  void ExtendView(std::size_t wanted);
  void ExtendViewTo(std::uint32_t recNo);
  void Scan(std::size_t wanted, std::uint32_t lastRecNo);
  void InvalidateView();
  std::size_t LowerIndex(std::uint32_t recNo);
  void SetCurrent(std::size_t index);
  void SetNoCurrent();
  void UpdateViewFor(std::uint32_t recNo);

  std::string FieldText(const char* record, int index) const;
  const char* ActiveRecord() const;

  std::string mFileName;
  std::vector<TDbfFieldDef> mDefs;
  bool mAutoCreate = true;
  bool mWantReadOnly = false;
  std::uint8_t mLastLanguageId = 0;

  std::fstream mFile;
  bool mReadOnly = false;
  TDbfState mState = TDbfState::Inactive;
  std::uint8_t mHeader[32] = {};
  std::uint16_t mHeaderLen = 0;
  std::uint16_t mRecordLen = 0;
  std::uint32_t mCount = 0;
  bool mHeaderStale = false;          // the file's header holds another count
  int mCodePage = 1252;
  std::vector<TDbfField> mFields;

  std::uint32_t mBlockRecords = 1;
  std::vector<TBlock> mBlocks;

  TFilterRecord mOnFilter;
  bool mFiltered = false;
  std::vector<std::uint32_t> mView;   // record numbers that pass, ascending
  std::uint32_t mScanned = 0;         // records 1..mScanned are judged
  const char* mFilterRecord = nullptr;

  std::uint32_t mRecNo = 0;
  std::size_t mPos = SIZE_MAX;        // index of mRecNo in mView, if known
  bool mBof = true;
  bool mEof = true;
  std::string mCurrent;               // copy of the current record

  std::string mBuffer;                // edit buffer
  bool mModified = false;
};

} // namespace postello
