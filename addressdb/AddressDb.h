#pragma once
// The address table as the program keeps it: its fields, opening (and
// creating) it under a file name, and the filter by text. The database page
// and the command line only call these.
#include "addressdb/TDbf.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// File name of the address table beside the program when none is remembered.
inline constexpr const char* kDefaultDatabaseName = "mailaddies.dbf";

// Number of info fields a new table may get.
inline constexpr int kMaxInfoFields = 100;

// The program's address fields: eMail C 254, Name C 30, Vorname C 30,
// Anrede C 20, then "Info 1" ... "Info n", C 50 each. Throws
// std::invalid_argument when infoFields is outside 0 to 100.
std::vector<TDbfFieldDef> AddressFieldDefs(int infoFields);

// The number of info fields of the open table: the fields after the
// program's four ("Info 1" ... in its own tables, the further columns of a
// table fitted to a file), at most 100; 0 when it is closed.
int InfoFieldCount(const TDbf& table);

// Posts a changed pending record of the table open before (as leaving it
// does), closes the table, points it at fileName and opens it; a missing
// file is created first (unless createMissing is false) with the field
// definitions the table still holds from the table open before (none: a
// table without fields). Filtering is switched on. Throws whatever posting
// or opening throws (TDbfError, TDbfAbort); after a failed open the table
// stays closed.
void OpenAddressTable(TDbf& table, const std::string& fileName, bool createMissing = true);

// Closes and reopens the table with filtering on, so that the filter is
// applied afresh to every record (the "Filtern..." button). Throws as
// opening does.
void ReapplyFilter(TDbf& table);

// Replaces the table's file (its current file name) by a new, empty table
// with the program's address fields and opens it. Throws TDbfError and
// std::invalid_argument.
void CreateAddressTable(TDbf& table, int infoFields);

// The names of the table's fields.
std::vector<std::string> FieldNamesOf(const TDbf& table);

// Upper case of the letters a to z only; every other byte stays.
std::string UpperCaseAZ(std::string_view text);

// text without the blanks (' ' only) at its start and end.
std::string_view TrimSpaces(std::string_view text);

// True when filterText is empty or occurs, compared after UpperCaseAZ, in
// the text of any field of the record the table is reading. Blanks count as
// typed; there are no wildcards.
bool RecordMatchesText(const TDbf& table, std::string_view filterText);

// A filter callback that asks currentText for the filter text each time a
// record is judged (the window reads its filter field at that moment).
TDbf::TFilterRecord MakeTextFilter(std::function<std::string()> currentText);

} // namespace postello
