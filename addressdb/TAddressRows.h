#pragma once
// Rows of an address file as offices keep them: delimited text (.csv, .txt,
// .tsv), Excel .xlsx, LibreOffice .ods and vCard. Every reader hands out one
// row at a time, so a file of a million rows never sits in memory whole.
// Cells are Windows-1252 bytes; a character the code page lacks becomes
// '?'. The first row is just the first row: whether it names the columns is
// the caller's decision.
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

enum class TTextEncoding { Detect, Utf8, Utf16Le, Utf16Be, Windows1252 };

// Name of an encoding as the import dialog lists it ("automatisch" for
// Detect).
const char* EncodingName(TTextEncoding encoding);

struct TAddressRowsOptions {
  // Workbooks: the sheet to read, counted from 0.
  int sheet = 0;
  // Delimited text: 0 detects it, else one of ';' ',' '\t' '|'.
  char delimiter = 0;
  // Delimited text: the encoding of the file.
  TTextEncoding encoding = TTextEncoding::Detect;
};

// A vCard that gave no row, with its place in the file.
struct TSkippedCard {
  std::size_t line = 0;   // line of its BEGIN:VCARD, from 1
  std::string name;       // FN or N as far as the card has one, Windows-1252
  std::string reason;     // German, e.g. "keine E-Mail-Adresse"
};

// An address file that cannot be read: not found, none of the known
// formats, damaged, or too big. what() is German and names the file.
class TAddressFileError : public std::runtime_error {
public:
  TAddressFileError(const std::string& fileName, const std::string& message, int systemError = 0);
  const std::string& FileName() const { return mFileName; }
  // errno when the file could not be opened or read, else 0.
  int SystemError() const { return mSystemError; }

private:
  std::string mFileName;
  int mSystemError;
};

class TAddressRows {
public:
  virtual ~TAddressRows() = default;
  TAddressRows(const TAddressRows&) = delete;
  TAddressRows& operator=(const TAddressRows&) = delete;

  // Fills cells with the next row and returns true, or returns false at the
  // end. Empty rows (an empty line, a sheet row without a value) are
  // skipped; a text line of delimiters only is a row of empty cells, as the
  // import always read it. Sheet rows end at their last value. Throws
  // TAddressFileError when the file turns out damaged.
  virtual bool Next(std::vector<std::string>& cells) = 0;

  // Where the row last returned by Next() begins, from 1: the line of a
  // text file, the row number of a sheet, the BEGIN line of a vCard (1 for
  // its header row).
  std::size_t Line() const { return mLine; }

  // What was detected or chosen, for the dialog.
  // "CSV-Text", "Excel-Tabelle", "LibreOffice-Tabelle" or "vCard".
  const std::string& FormatName() const { return mFormatName; }
  // Delimited text only (0 otherwise).
  char Delimiter() const { return mDelimiter; }
  // Delimited text: the encoding read (never Detect); Utf8 otherwise.
  TTextEncoding Encoding() const { return mEncoding; }
  // Workbooks: the names of all sheets, Windows-1252; the one read is
  // Sheet(). Empty for other formats.
  const std::vector<std::string>& SheetNames() const { return mSheetNames; }
  int Sheet() const { return mSheet; }
  // vCard: the cards that gave no row; complete once Next() returned false.
  const std::vector<TSkippedCard>& SkippedCards() const { return mSkipped; }

protected:
  TAddressRows() = default;

  std::size_t mLine = 0;
  std::string mFormatName;
  char mDelimiter = 0;
  TTextEncoding mEncoding = TTextEncoding::Utf8;
  std::vector<std::string> mSheetNames;
  int mSheet = 0;
  std::vector<TSkippedCard> mSkipped;
};

// The header names of the rows a vCard gives, in this order, before one
// row per card that has an e-mail address.
extern const std::vector<std::string> kVCardColumns;  // E-Mail, Nachname, Vorname, Anrede, Name, Firma

// Opens fileName and picks the reader by its content: a zip package holding
// a workbook is .xlsx or .ods, text beginning with BEGIN:VCARD is a vCard,
// anything else is delimited text. Throws TAddressFileError.
std::unique_ptr<TAddressRows> OpenAddressRows(const std::string& fileName,
                                              const TAddressRowsOptions& options = {});

// The same for bytes in memory; fileName only names them in messages.
std::unique_ptr<TAddressRows> AddressRowsFromBytes(std::string bytes, const std::string& fileName,
                                                   const TAddressRowsOptions& options = {});

} // namespace postello
