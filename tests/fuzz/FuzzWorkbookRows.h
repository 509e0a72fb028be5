#pragma once
// What the workbook harnesses share. Input that begins like a zip is read as
// the package itself; any other input becomes the XML part a reader parses
// most (the sheet, content.xml) of an otherwise sound package, so that the
// fuzzer reaches the XML handling instead of stopping at the zip's checks.
// Only TAddressFileError may leave a reader; rows stay within the sheet's
// bounds and come in order.
#include "addressdb/TSheetRows.h"
#include "addressdb/TZipPackage.h"
#include "tests/fuzz/FuzzSupport.h"

#include <memory>
#include <utility>
#include <vector>
#include <zip.h>

namespace postello::fuzz {

using Parts = std::vector<std::pair<std::string, std::string>>;

// A zip package of the parts, made with libzip in memory.
inline std::string Package(const Parts& parts) {
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, nullptr);
  zip_t* zip = zip_open_from_source(buffer, ZIP_TRUNCATE, nullptr);
  Check(zip != nullptr, "cannot make a package");
  zip_source_keep(buffer);
  for (const auto& [name, bytes] : parts) {
    zip_source_t* part = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
    Check(part && zip_file_add(zip, name.c_str(), part, 0) >= 0, "cannot add a part");
  }
  Check(zip_close(zip) == 0, "cannot write the package");
  std::string out;
  zip_stat_t st;
  Check(zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0, "cannot read the package");
  out.resize(st.size);
  Check(zip_source_read(buffer, out.data(), out.size()) == static_cast<zip_int64_t>(out.size()), "short package");
  zip_source_close(buffer);
  zip_source_free(buffer);
  return out;
}

template <class Reader>
void ReadWorkbook(const std::uint8_t* data, std::size_t size, Parts (*partsAround)(std::string)) {
  const std::string input(AsText(data, size));
  const std::string bytes = input.compare(0, 2, "PK") == 0 ? input : Package(partsAround(input));
  try {
    for (int sheet : {0, 1}) {
      Reader reader(std::make_unique<TZipPackage>(bytes, "fuzz"), {sheet, 0, TTextEncoding::Detect});
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
