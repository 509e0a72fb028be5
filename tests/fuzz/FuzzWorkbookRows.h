#pragma once
// What the workbook harnesses share: any bytes read as a package by one
// reader. Only TAddressFileError may leave it, rows stay within the sheet's
// bounds and come in order.
#include "addressdb/TSheetRows.h"
#include "addressdb/TZipPackage.h"
#include "tests/fuzz/FuzzSupport.h"

#include <memory>

namespace postello::fuzz {

template <class Reader>
void ReadWorkbook(const std::uint8_t* data, std::size_t size) {
  try {
    for (int sheet : {0, 1}) {
      auto again = std::make_unique<TZipPackage>(std::string(AsText(data, size)), "fuzz");
      Reader reader(std::move(again), {sheet, 0, TTextEncoding::Detect});
      std::vector<std::string> cells;
      std::size_t line = 0;
      while (reader.Next(cells)) {
        Check(reader.Line() > line && reader.Line() <= TSheetRows::kMaxRows, "row number out of order or bounds");
        Check(!cells.empty() && cells.size() <= TSheetRows::kMaxColumns, "row of no or too many cells");
        Check(!cells.back().empty(), "a row ends in an empty cell");
        line = reader.Line();
      }
    }
  } catch (const TAddressFileError&) {
  }
}

} // namespace postello::fuzz
