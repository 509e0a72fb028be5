#pragma once
// Puts rows of an address file into the table, cell by cell through a
// mapping, and keeps the account of what happened to each row: imported,
// skipped as a duplicate, without address, with an invalid address, with a
// value cut to its field.
#include "addressdb/TDbf.h"
#include "addressdb/TImportMapping.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace postello {

struct TImportOptions {
  // Rows whose address the table or an earlier row of the file already
  // holds (compared without case) are not imported.
  bool SkipDuplicates = false;
  // Count and check only; the table is not changed.
  bool DryRun = false;
  // Field holding the address; out of range: the table has none.
  int MailField = 0;
  // Judges a non-empty address; unset: every one counts as valid.
  std::function<bool(std::string_view)> IsValidAddress;
  // Takes away the apostrophe a spreadsheet export puts in front of a
  // cell that looks like a formula (delimited text with a header row).
  bool UnescapeFormulas = false;
};

// A value longer than its field.
struct TCutValue {
  std::size_t Row = 0;
  std::string Field;
  std::size_t Length = 0;
  int Width = 0;
};

struct TImportReport {
  // Rows listed per kind; past it, only counted.
  static constexpr std::size_t kListed = 200;

  std::size_t Imported = 0;
  std::size_t Duplicates = 0;
  std::size_t WithoutAddress = 0;
  std::size_t InvalidAddress = 0;
  std::size_t CutRows = 0;
  std::vector<std::size_t> DuplicateRows, WithoutAddressRows, InvalidAddressRows;
  std::vector<TCutValue> CutValues;

  // "N importiert, D doppelt übersprungen, L ohne Adresse, U mit ungültiger
  // Adresse, K gekürzt" (with dry run: "würden importiert"), then one line
  // per kind with its rows. Windows-1252, lines end in "\n".
  std::string Text(bool dryRun = false) const;
};

class TAddressImport {
public:
  // Reads the addresses already in the table when duplicates are to be
  // skipped (every record, whatever the filter).
  TAddressImport(TDbf& table, TImportMapping mapping, TImportOptions options);

  // One row of the file; row is its number as the user counts it (the
  // header row is 1). Throws TDbfError naming the row when a field cannot
  // take its value (the record is not appended).
  void AddRow(std::size_t row, const std::vector<std::string>& cells);

  const TImportReport& Report() const { return mReport; }
  const TImportMapping& Mapping() const { return mMapping; }

private:
  TDbf& mTable;
  TImportMapping mMapping;
  TImportOptions mOptions;
  std::unordered_set<std::string> mSeen;
  TImportReport mReport;
  std::vector<std::string> mValues;
};

} // namespace postello
