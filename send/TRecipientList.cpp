#include "send/TRecipientList.h"

#include "addressdb/AddressDb.h"

namespace postello {

TRecipientList ReadRecipientList(TDbf& table, long mailField, std::vector<std::uint32_t>* skipped) {
  TRecipientList rows;
  try {
    if (mailField > table.FieldCount() - 1) mailField = 0;
    if (mailField < 0) return rows;
    // The filter is judged afresh, with the filter text as it is now; the
    // merge then moves by these same positions.
    table.FilterChanged();
    table.First();
    std::uint32_t position = 0;
    for (std::uint32_t n = table.RecordCount(); n > 0; --n) {
      const std::string value = table.AsString(static_cast<int>(mailField));
      const std::string_view address = TrimSpaces(value);
      if (!address.empty()) {
        rows.push_back({std::string(address), position, table.RecNo()});
      } else if (skipped != nullptr && table.RecNo() != 0) {
        skipped->push_back(position);
      }
      const std::uint32_t recNo = table.RecNo();
      table.Next();
      ++position;
      if (table.RecNo() == recNo) break;
    }
  } catch (...) {
    // A closed or unreadable table lists what was read up to the failure.
  }
  return rows;
}

} // namespace postello
