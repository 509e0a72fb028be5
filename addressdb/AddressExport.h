#pragma once
// The address table as a file others open: CSV for any program, .xlsx for
// spreadsheets. Both carry a header row of field names and import back
// into an equal table.
#include "addressdb/TDbf.h"

#include <cstddef>
#include <string>
#include <vector>

namespace postello {

// One CSV line (without line end) from Windows-1252 cells: UTF-8, cells
// separated by ';', a cell quoted as RFC 4180 does when it holds ';', '"',
// a line break or a blank at either end, and an apostrophe in front of a
// cell a spreadsheet would take for a formula (see EscapeFormula).
std::string AddressCsvLine(const std::vector<std::string>& cells);

// Writes the table to fileName: .xlsx when the name ends in ".xlsx" (any
// case), else CSV (UTF-8 with byte order mark, CR LF line ends). With
// filteredOnly only the records the filter lets pass, else every record.
// The cursor returns to the record it was on. Returns the number of
// records written. Throws std::runtime_error (German, naming the file) when
// the file cannot be written; a half-written file is removed.
std::size_t ExportAddresses(TDbf& table, const std::string& fileName, bool filteredOnly);

} // namespace postello
