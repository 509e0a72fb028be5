#pragma once
// What the workbook readers share: rows are collected while a part is
// parsed and handed out one by one; empty cells at the end of a row and
// empty rows are dropped, and repeats are bounded, so that a sheet whose
// last row "repeats" a million times stays small.
#include "addressdb/TAddressRows.h"

#include <deque>

namespace postello {

class TSheetRows : public TAddressRows {
public:
  // The largest sheet Excel and LibreOffice make.
  static constexpr std::size_t kMaxRows = 1048576;
  static constexpr std::size_t kMaxColumns = 16384;

  bool Next(std::vector<std::string>& cells) override;

protected:
  // Parses on until rows are ready; false when the sheet is read whole.
  virtual bool ParseMore() = 0;

  // Cells of the row being read, from its first column on.
  void BeginRow(std::size_t number);
  void AddEmpty(std::size_t count);
  void AddCell(std::string value, std::size_t repeat = 1);
  // Ends the row; a row with a value is handed out repeat times.
  void EndRow(std::size_t repeat = 1);
  std::size_t Column() const { return mCells.size() + mPendingEmpty; }
  std::size_t RowNumber() const { return mRowNumber; }

private:
  struct TReady {
    std::size_t line;
    std::vector<std::string> cells;
    std::size_t count;
  };
  std::deque<TReady> mReady;
  std::vector<std::string> mCells;
  std::size_t mPendingEmpty = 0;
  std::size_t mRowNumber = 0;
};

} // namespace postello
