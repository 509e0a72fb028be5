// vCards from any bytes. Checked besides crashes: nothing but
// TAddressFileError leaves the reader, the header row comes first, every
// further row has the header's width and an address, and every card is
// either a row or a skipped card.
#include "addressdb/TAddressRows.h"
#include "addressdb/TVCardRows.h"
#include "tests/fuzz/FuzzSupport.h"

#include <sstream>

using namespace postello;
using postello::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    TVCardRows source(std::make_unique<std::istringstream>(std::string(postello::fuzz::AsText(data, size))),
                      "fuzz.vcf");
    std::vector<std::string> cells;
    Check(source.Next(cells) && cells == kVCardColumns, "no header row first");
    while (source.Next(cells)) {
      Check(cells.size() == kVCardColumns.size(), "a row of another width than the header");
      Check(!cells[0].empty(), "a row without an address");
    }
  } catch (const TAddressFileError&) {
  }
  return 0;
}
