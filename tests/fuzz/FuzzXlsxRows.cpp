// Excel workbooks (.xlsx) from any bytes; see FuzzWorkbookRows.h.
#include "addressdb/TXlsxRows.h"
#include "tests/fuzz/FuzzWorkbookRows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  postello::fuzz::ReadWorkbook<postello::TXlsxRows>(data, size);
  return 0;
}
