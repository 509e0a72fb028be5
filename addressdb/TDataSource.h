#pragma once
// The address table as the grid DBGrid2 sees it through DataSource1: rows of
// records, one current row, and a pending record that the file does not hold
// until it is posted.
#include "addressdb/TDbf.h"

#include <string>
#include <string_view>

namespace postello {

// Rows: one per record of the table's view (filter applied), in file order;
// while a record is being inserted, one more row at the end stands for it.
// The current row is always the table's current record (or that insert row),
// so whatever a grid highlights through this class is what the table acts
// on.
//
// Pending record: an inserted record, or the current record once a value of
// it is changed, lives only in the table's edit buffer. Its row shows the
// buffer; the file keeps what it held until Post(), which happens on the
// navigator's post, on leaving the row (only when something was changed: an
// untouched insert is dropped) and when the program ends. Cancel() throws the
// buffer away.
//
// The class keeps no state of its own: everything it knows is the table's,
// so a table moved by someone else (the recipient list, the merge) is seen
// as it is.
class TDataSource {
public:
  explicit TDataSource(TDbf& table) : mTable(table) {}

  TDbf& DataSet() const { return mTable; }

  // Rows of the view plus the insert row; 0 when the table is closed.
  int RowCount();
  // Row of the current record, the insert row while inserting; -1 when
  // there is none (table closed or empty, or the current record does not
  // pass the filter).
  int CurrentRow();
  // True for the current row while it holds an inserted record or changed
  // values that are not yet written.
  bool IsPending(int row);
  // A field of a row as text: the pending values in the current row while
  // a record is edited or inserted, the stored ones elsewhere; empty for a
  // row past the end.
  std::string Value(int row, int column);

  // Makes row current. A pending record in another row is left first, as a
  // grid leaves a row: posted when changed, dropped when not. Returns true
  // when leaving it changed the rows (an insert dropped, or a posted record
  // that no longer passes the filter and so left the view); the caller must
  // then read the rows afresh. A row outside the rows does nothing. Throws
  // what posting throws; the pending record then stays current.
  bool GoToRow(int row);
  // Changes a field of row's record: the row becomes current (GoToRow), its
  // record pending, the value goes into the buffer. Nothing is written to
  // the file. Throws std::out_of_range for a row outside the rows and
  // TDbfError when the table or the field refuses the value. Returns as
  // GoToRow.
  bool SetValue(int row, int column, std::string_view text);

  // Leaves a pending record (as GoToRow does), then starts a blank record
  // in a new last row. The file gets it on Post().
  void Insert();
  // Makes the current record pending without changing it.
  void Edit();
  // Writes the pending record. One that no longer passes the filter leaves
  // the view, as a deleted record does: the record now in its row becomes
  // current (the last one when it was the last).
  void Post();
  // Drops the pending record: an insert disappears and the record that was
  // current before it is current again; an edited record shows its stored
  // values again.
  void Cancel();
  // Marks the current record deleted and makes the next one current; an
  // insert is only dropped. Without a current row nothing happens.
  void Delete();

private:
  // Posts a changed pending record, drops an unchanged one, and keeps the
  // cursor in the view.
  void LeavePending();
  // When the current record has left the view, the record now at row (or
  // the last one) becomes current.
  void KeepInView(int row);
  bool Pending() const;

  TDbf& mTable;
};

} // namespace postello
