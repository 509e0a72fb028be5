// Excel workbooks (.xlsx) from any bytes: the package, or the XML of its
// first sheet; see FuzzWorkbookRows.h. Seeds: packages, and sheet XML.
#include "addressdb/TXlsxRows.h"
#include "tests/fuzz/FuzzWorkbookRows.h"

namespace {

postello::fuzz::Parts Around(std::string sheet) {
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
  return {{"_rels/.rels", "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"a\" Type=\"" + rel +
                              "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
          {"xl/workbook.xml", "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                                  "\"><sheets><sheet name=\"S\" r:id=\"s\"/></sheets></workbook>"},
          {"xl/_rels/workbook.xml.rels",
           "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"s\" Type=\"" + rel +
               "/worksheet\" Target=\"sheet.xml\"/><Relationship Id=\"t\" Type=\"" + rel +
               "/sharedStrings\" Target=\"strings.xml\"/><Relationship Id=\"y\" Type=\"" + rel +
               "/styles\" Target=\"styles.xml\"/></Relationships>"},
          {"xl/strings.xml", "<sst xmlns=\"" + main + "\"><si><t>eins</t></si><si><r><t>zw</t></r><r><t>ei</t></r>"
                                                     "<rPh><t>x</t></rPh></si></sst>"},
          {"xl/styles.xml", "<styleSheet xmlns=\"" + main + "\"><numFmts><numFmt numFmtId=\"164\" formatCode=\""
                                                           "DD.MM.YYYY\"/><numFmt numFmtId=\"165\" formatCode=\""
                                                           "00000\"/></numFmts><cellXfs><xf numFmtId=\"0\"/><xf "
                                                           "numFmtId=\"164\"/><xf numFmtId=\"165\"/><xf numFmtId="
                                                           "\"14\"/></cellXfs></styleSheet>"},
          {"xl/sheet.xml", std::move(sheet)}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  postello::fuzz::ReadWorkbook<postello::TXlsxRows>(data, size, Around);
  return 0;
}
