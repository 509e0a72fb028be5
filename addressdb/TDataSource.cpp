#include "addressdb/TDataSource.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace postello {
namespace {

int ClampRow(std::uint64_t n) { return static_cast<int>(std::min<std::uint64_t>(n, INT_MAX - 1)); }

} // namespace

bool TDataSource::Pending() const {
  return mTable.State() == TDbfState::Edit || mTable.State() == TDbfState::Insert;
}

int TDataSource::RowCount() {
  if (!mTable.Active()) return 0;
  return ClampRow(mTable.ViewCount()) + (mTable.State() == TDbfState::Insert ? 1 : 0);
}

int TDataSource::CurrentRow() {
  if (!mTable.Active()) return -1;
  if (mTable.State() == TDbfState::Insert) return ClampRow(mTable.ViewCount());
  const std::int64_t pos = mTable.Position();
  return pos < 0 ? -1 : ClampRow(static_cast<std::uint64_t>(pos));
}

bool TDataSource::IsPending(int row) {
  if (row < 0 || row != CurrentRow()) return false;
  return mTable.State() == TDbfState::Insert || (mTable.State() == TDbfState::Edit && mTable.Modified());
}

std::string TDataSource::Value(int row, int column) {
  if (!mTable.Active() || row < 0) return {};
  if (Pending() && row == CurrentRow()) return mTable.AsString(column);
  return mTable.ValueAt(static_cast<std::uint32_t>(row), column);
}

void TDataSource::KeepInView(int row) {
  if (mTable.Position() >= 0 || mTable.IsEmpty()) return;
  const int last = ClampRow(mTable.ViewCount()) - 1;
  mTable.MoveTo(static_cast<std::uint32_t>(std::clamp(row, 0, last)));
}

void TDataSource::LeavePending() {
  if (!Pending()) return;
  const int row = CurrentRow();
  mTable.CheckBrowseMode();
  KeepInView(row);
}

bool TDataSource::GoToRow(int row) {
  if (!mTable.Active() || row < 0 || row >= RowCount() || row == CurrentRow()) return false;
  // The record the row shows now: posting the pending record may take a row
  // out of the view and shift the rows after it.
  const std::uint32_t target = mTable.RecNoAt(static_cast<std::uint32_t>(row));
  const int rowsBefore = RowCount();
  LeavePending();
  const bool changed = RowCount() != rowsBefore;
  if (target == 0 || !mTable.GoToRecord(target)) KeepInView(row);
  return changed;
}

bool TDataSource::SetValue(int row, int column, std::string_view text) {
  if (!mTable.Active() || row < 0 || row >= RowCount())
    throw std::out_of_range("row " + std::to_string(row) + " does not exist");
  const bool changed = GoToRow(row);
  if (!Pending()) mTable.Edit();
  mTable.SetAsString(column, text);
  return changed;
}

void TDataSource::Insert() {
  LeavePending();
  mTable.Insert();
}

void TDataSource::Edit() {
  if (!Pending()) mTable.Edit();
}

void TDataSource::Post() {
  if (!Pending()) return;
  const int row = CurrentRow();
  mTable.Post();
  KeepInView(row);
}

void TDataSource::Cancel() {
  mTable.Cancel();
}

void TDataSource::Delete() {
  // A current record outside the view is not what any row shows.
  if (mTable.State() != TDbfState::Insert && CurrentRow() < 0) return;
  mTable.Delete();
}

} // namespace postello
