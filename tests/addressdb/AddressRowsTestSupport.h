#pragma once
// Reading every row of an address file for the reader tests.
#include "addressdb/TAddressRows.h"

#include <string>
#include <vector>

namespace postello::testing {

using Rows = std::vector<std::vector<std::string>>;

inline Rows ReadAll(TAddressRows& source, std::vector<std::size_t>* lines = nullptr) {
  Rows rows;
  std::vector<std::string> cells;
  while (source.Next(cells)) {
    rows.push_back(cells);
    if (lines) lines->push_back(source.Line());
  }
  return rows;
}

inline Rows ReadBytes(const std::string& bytes, const TAddressRowsOptions& options = {}) {
  auto source = AddressRowsFromBytes(bytes, "mem.csv", options);
  return ReadAll(*source);
}

} // namespace postello::testing
