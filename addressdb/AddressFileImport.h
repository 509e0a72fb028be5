#pragma once
// An address file into the table, start to end: the preview the import
// dialog shows, the import through a mapping, and a new table fitted to the
// file. The file is read row by row (see TAddressRows), twice where the
// rows must be seen before the table is touched.
#include "addressdb/AddressDb.h"
#include "addressdb/TAddressImport.h"
#include "addressdb/TAddressRows.h"
#include "addressdb/TDbf.h"
#include "addressdb/TImportMapping.h"

#include <cstddef>
#include <string>
#include <vector>

namespace postello {

// True when a first row names columns rather than holding an address: a
// cell names a known role or a field of the table, and none holds an '@'.
bool LooksLikeHeaderRow(const std::vector<std::string>& row, const std::vector<std::string>& fieldNames);

struct TAddressPreview {
  std::vector<std::vector<std::string>> Rows;  // the first rows, header included
  std::size_t Columns = 0;                     // the most cells of a row shown
  // The first row looks like column names: LooksLikeHeaderRow, or every
  // cell filled, no '@' in it and one in the second row.
  bool HeaderRow = false;
  std::string FormatName;
  char Delimiter = 0;
  TTextEncoding Encoding = TTextEncoding::Utf8;
  std::vector<std::string> SheetNames;
};

// The first rows of a file (at most maxRows) and what was detected.
// Throws TAddressFileError.
TAddressPreview PreviewAddressFile(const std::string& fileName, const TAddressRowsOptions& options,
                                   std::size_t maxRows, const std::vector<std::string>& fieldNames);

// The mapping a file gets before the user changes it: by header names when
// the first row names the columns, else in order.
TImportMapping DefaultMapping(const std::vector<std::string>& firstRow, std::size_t columns, bool headerRow,
                              const std::vector<std::string>& fieldNames, int mailField);

// Imports every row of the file (past the header row when there is one)
// into the open table. Throws TAddressFileError for a file that cannot be
// read (nothing is imported when it cannot be opened; a file damaged
// further on keeps the rows before) and TDbfError as appending does.
TImportReport ImportAddressFile(TDbf& table, const std::string& fileName, const TAddressRowsOptions& rowsOptions,
                                bool headerRow, const TImportMapping& mapping, const TImportOptions& options);

// Makes tableFile a new table fitted to the file (see TFittedTable),
// replacing any file of the name, opens it in table (closing what table
// had open) and imports the file into it. The file is read whole once
// before the table is touched, so an unreadable file leaves the table as
// it was. options.MailField is set to the new address field (0) or -1.
TImportReport ImportIntoFittedTable(TDbf& table, const std::string& tableFile, const std::string& fileName,
                                    const TAddressRowsOptions& rowsOptions, bool headerRow, TImportOptions options);

} // namespace postello
