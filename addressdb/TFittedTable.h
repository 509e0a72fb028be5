#pragma once
// A new table shaped after an address file: one character field per
// column, named after the column and as wide as its longest value, the
// address field first.
#include "addressdb/TDbf.h"
#include "addressdb/TImportMapping.h"

#include <cstddef>
#include <string>
#include <vector>

namespace postello {

class TFittedTable {
public:
  // Widest character field dBASE holds.
  static constexpr int kMaxWidth = 254;

  // header: the column names (empty when the file has none: the columns
  // are then called SPALTE1, SPALTE2, ...).
  explicit TFittedTable(std::vector<std::string> header);

  // Widens the columns for one data row; a row with more cells adds columns.
  void AddRow(const std::vector<std::string>& cells);

  // The fields: unique dBASE names (a repeated name gets a number at its
  // end: NAME, NAME2), widths of the longest value (at least 1, at most
  // 254; the address field always 254), the address field first. The
  // address column is the one whose header names an address, else the
  // first column holding an '@'.
  std::vector<TDbfFieldDef> FieldDefs() const;
  // True when the first field holds the addresses.
  bool HasMailColumn() const { return MailColumn() >= 0; }
  // Which column goes into which of those fields.
  TImportMapping Mapping() const;

private:
  int MailColumn() const;
  std::vector<std::size_t> Order() const;

  std::vector<std::string> mHeader;
  std::vector<std::size_t> mWidths;
  int mAtColumn = -1;
};

} // namespace postello
