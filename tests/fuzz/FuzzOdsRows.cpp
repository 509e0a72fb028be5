// LibreOffice spreadsheets (.ods) from any bytes; see FuzzWorkbookRows.h.
#include "addressdb/TOdsRows.h"
#include "tests/fuzz/FuzzWorkbookRows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  postello::fuzz::ReadWorkbook<postello::TOdsRows>(data, size);
  return 0;
}
