#include "addressdb/TSheetRows.h"

#include <algorithm>

namespace postello {

bool TSheetRows::Next(std::vector<std::string>& cells) {
  while (mReady.empty()) {
    if (!ParseMore() && mReady.empty()) {
      cells.clear();
      return false;
    }
  }
  TReady& front = mReady.front();
  mLine = front.line;
  if (front.count > 1) {  // a repeated row is copied only as it is handed out
    cells = front.cells;
    ++front.line;
    --front.count;
    return true;
  }
  cells.swap(front.cells);
  mReady.pop_front();
  return true;
}

void TSheetRows::BeginRow(std::size_t number) {
  mRowNumber = number;
  mCells.clear();
  mPendingEmpty = 0;
}

void TSheetRows::AddEmpty(std::size_t count) { mPendingEmpty = std::min(mPendingEmpty + count, kMaxColumns); }

void TSheetRows::AddCell(std::string value, std::size_t repeat) {
  if (value.empty()) {
    AddEmpty(repeat);
    return;
  }
  while (mPendingEmpty > 0 && mCells.size() < kMaxColumns) {
    mCells.emplace_back();
    --mPendingEmpty;
  }
  mPendingEmpty = 0;
  repeat = std::min(repeat, kMaxColumns - std::min(kMaxColumns, mCells.size()));
  for (std::size_t i = 1; i < repeat; ++i) mCells.push_back(value);
  if (repeat > 0) mCells.push_back(std::move(value));
}

void TSheetRows::EndRow(std::size_t repeat) {
  if (!mCells.empty() && mRowNumber >= 1) {
    repeat = std::min(repeat, kMaxRows + 1 - std::min(kMaxRows + 1, mRowNumber));
    if (repeat > 0) mReady.push_back({mRowNumber, std::move(mCells), repeat});
  }
  mCells.clear();
  mPendingEmpty = 0;
}

} // namespace postello
