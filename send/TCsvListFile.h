#pragma once
// The lists of the data folder a person may also open in a spreadsheet
// (sperrliste.csv, rueckmeldungen.csv): UTF-8 with a byte order mark, a
// header row, semicolon-separated fields quoted as the journal's, lines
// ending in CR LF. This class holds their form; what a row means, and
// the messages naming the file, belong to each list.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

class TCsvListFile {
public:
  // A line of the file cannot be taken: Line counts from 1, Why is German
  // ("die Kopfzeile fehlt", "Zeile zu lang", ...).
  struct EDamaged {
    std::size_t Line = 0;
    std::string Why;
  };
  enum class TRead { Missing, Read, Unreadable };

  // dataDir + name (dataDir with or without its final '/').
  static std::string PathIn(const std::string& dataDir, std::string_view name);

  // header without the byte order mark; a row of another number of
  // fields than columns is damage described by badRow.
  TCsvListFile(std::string_view header, std::size_t columns, std::string_view badRow, std::size_t maxLine);

  // Reads path line by line, never holding a line longer than maxLine,
  // and hands each row's fields (Windows-1252) with its line number to
  // onRow, which may throw EDamaged itself. Empty lines are skipped.
  // Missing when there is no file; Unreadable when it cannot be read or
  // is no regular file. Throws EDamaged.
  TRead Read(const std::string& path,
             const std::function<void(std::vector<std::string>& fields, std::size_t line)>& onRow) const;

  // The byte order mark and the header row, with its line end.
  std::string Head() const;
  // One row from Windows-1252 fields, with its line end.
  static std::string Row(const std::vector<std::string>& fields);

private:
  std::string FHeader;
  std::size_t FColumns;
  std::string FBadRow;
  std::size_t FMaxLine;
};

} // namespace postello
