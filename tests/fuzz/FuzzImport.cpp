// The TXT/CSV import from any bytes into a fresh address table with two
// info fields. Checked besides crashes: the number the import reports is
// the number of records the table then holds, also after reopening, and
// every field holds at most its width.
#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"
#include "addressdb/TxtImport.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace postello;
using postello::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = postello::fuzz::ScratchDir() + "import.dbf";
  std::size_t appended = 0;
  {
    TDbf t;
    t.SetFileName(path);
    CreateAddressTable(t, 2);
    appended = ImportText(t, postello::fuzz::AsText(data, size));
    Check(t.RecordCount() == appended, "the import reports another count than it appended");
  }
  TDbf t;
  t.SetFileName(path);
  t.SetReadOnly(true);
  t.Open();
  Check(t.RecordCount() == appended && t.ViewCount() == appended, "imported records lost after reopening");
  for (t.First(); !t.Eof(); t.Next()) {
    for (int i = 0; i < t.FieldCount(); ++i) {
      const std::string v = t.AsString(i);
      Check(v.size() <= static_cast<std::size_t>(t.Field(i).Width), "a field holds more than its width");
      Check(v.find_first_of("\r\n") == std::string::npos, "a line end got into a field");
    }
    if (t.RecNo() == t.RecordCount()) break;
  }
  return 0;
}
