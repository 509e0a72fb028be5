#pragma once
// The recipients the send page lists: one row per record of the address
// table (filter applied) whose address field is not blank.
#include "addressdb/TDbf.h"

#include <cstdint>
#include <string>
#include <vector>

namespace postello {

struct TRecipientRow {
  std::string Address;     // the field's text without leading/trailing blanks
  std::uint32_t Position;  // the record's position in the filtered table, from 0
  std::uint32_t RecNo = 0; // the record's number in the table file (1-based; 0: unknown)
};

using TRecipientList = std::vector<TRecipientRow>;

// Walks the table from its first record and makes the rows. mailField is the
// number of the address field counted from 0; a number past the last field
// means field 0. Never throws: when the table is closed, the field number is
// negative or reading fails, the rows made so far are returned. Every
// record is judged by the filter afresh (its text may have changed since the
// table last moved). Leaves the
// table on its last record. The merge finds a row's record again with
// table.MoveTo(row.Position).
// skipped, when given, receives the positions (as in TRecipientRow) of the
// records passed over for a blank address: what the user can find in the
// grid, unlike the record numbers, which count deleted records too.
TRecipientList ReadRecipientList(TDbf& table, long mailField, std::vector<std::uint32_t>* skipped = nullptr);

} // namespace postello
