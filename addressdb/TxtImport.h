#pragma once
// Appends addresses from a semicolon-separated text file to a table: one
// record per non-empty line, the pieces between semicolons filling the
// fields in order. No header line, no quoting.
#include "addressdb/TDbf.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace postello {

// The import file cannot be opened; what() is the text the window shows
// (the user has just chosen the file). Where the file is not in front of
// the user, the message names it and gives Reason().
class TImportOpenError : public std::runtime_error {
public:
  TImportOpenError(const std::string& fileName, int systemError);
  const std::string& FileName() const { return mFileName; }
  // errno of the failed open or read; EISDIR for a folder.
  int SystemError() const { return mSystemError; }
  // The system's reason in German (SystemErrorText).
  std::string Reason() const;

private:
  std::string mFileName;
  int mSystemError;
};

// Imports fileName into the open table and returns the number of records
// appended. Throws TImportOpenError when the file cannot be opened (the
// table is unchanged) and TDbfError when appending fails; records appended
// before the failing line stay in the table.
std::size_t ImportTextFile(TDbf& table, const std::string& fileName);

// The same for the file's bytes. A line ends at CR, CR LF or LF; the byte
// 0x1A ends the text. A text in UTF-8 (with a byte order mark, or valid
// UTF-8 holding bytes above 127) is converted to Windows-1252 first, a
// character outside it becoming '?'.
std::size_t ImportText(TDbf& table, std::string_view bytes);

} // namespace postello
