// LibreOffice spreadsheets (.ods) from any bytes: the package, or its
// content.xml; see FuzzWorkbookRows.h. Seeds: packages, and content.xml.
#include "addressdb/TOdsRows.h"
#include "tests/fuzz/FuzzWorkbookRows.h"

namespace {

postello::fuzz::Parts Around(std::string content) {
  return {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", std::move(content)}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  postello::fuzz::ReadWorkbook<postello::TOdsRows>(data, size, Around);
  return 0;
}
