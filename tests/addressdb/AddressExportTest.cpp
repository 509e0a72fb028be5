#include "addressdb/AddressDb.h"
#include "addressdb/AddressExport.h"
#include "addressdb/AddressFileImport.h"

#include "addressdb/DbfTestFiles.h"

using namespace postello;
using postello::testing::ScratchDir;

namespace {

using Row = std::vector<std::string>;

std::vector<Row> AllRecords(TDbf& t) {
  std::vector<Row> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    Row r;
    for (int i = 0; i < t.FieldCount(); ++i) r.push_back(t.AsString(i));
    rows.push_back(r);
  }
  return rows;
}

} // namespace

TEST(AddressExport, CsvCells) {
  const struct {
    Row Cells;
    const char* Line;
  } cases[] = {
      {{"a@x.de", "M\xFCller"}, "a@x.de;M\xC3\xBCller"},
      {{"Meier; S\xF6hne", "Schmidt, \"Gro\xDF\""}, "\"Meier; S\xC3\xB6hne\";\"Schmidt, \"\"Gro\xC3\x9F\"\"\""},
      {{"=1+2", "-", "'@x", "a-b"}, "'=1+2;'-;''@x;a-b"},
      {{" lead", "", "zwei\r\nZeilen"}, "\" lead\";;\"zwei\r\nZeilen\""},
  };
  for (const auto& c : cases) EXPECT_EQ(AddressCsvLine(c.Cells), c.Line);
}

class AddressExportFile : public ScratchDir {};

TEST_F(AddressExportFile, ExportImportsBackIntoAnEqualTable) {
  TDbf source;
  source.SetFileName(Path("quelle.dbf"));
  CreateAddressTable(source, 2);
  const std::vector<Row> records = {
      {"a@x.de", "Schmidt, Gro\xDF & Partner", "Meier; S\xF6hne", "Herr", "=SUMME(A1)", "\"zitiert\""},
      {"b@x.de", "", " blank", "", "-5", "'@x"},
      {std::string(50, 'l'), "\xC4\xD6\xDC\xE4\xF6\xFC\xDF\x80", "", "Frau", "", "ende "},
      {"gefiltert@x.de", "Weg", "", "", "", ""},
  };
  for (const Row& r : records) {
    source.Append();
    for (int i = 0; i < 6; ++i) source.SetAsString(i, r[static_cast<std::size_t>(i)]);
    source.Post();
  }
  source.SetOnFilterRecord([](const TDbf& t) { return t.AsString(1) != "Weg"; });
  source.SetFiltered(true);
  const std::vector<Row> expected = AllRecords(source);
  ASSERT_EQ(expected.size(), 3u);

  for (const char* name : {"adressen.csv", "adressen.xlsx"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(ExportAddresses(source, Path(name), true), 3u);
    TDbf back;
    back.SetFileName(Path("zurueck.dbf"));
    CreateAddressTable(back, 2);
    const auto preview = PreviewAddressFile(Path(name), {}, 20, FieldNamesOf(back));
    ASSERT_TRUE(preview.HeaderRow);
    const TImportReport report =
        ImportAddressFile(back, Path(name), {}, true,
                          DefaultMapping(preview.Rows.front(), preview.Columns, true, FieldNamesOf(back), 0), {});
    EXPECT_EQ(report.Imported, 3u);
    EXPECT_EQ(AllRecords(back), expected);
    back.Close();
  }
  // The whole table, not only what the filter shows.
  EXPECT_EQ(ExportAddresses(source, Path("alle.csv"), false), 4u);
  const std::string csv = ReadBytes(Path("alle.csv"));
  EXPECT_EQ(csv.substr(0, 51), "\xEF\xBB\xBF" "EMAIL;NAME;VORNAME;ANREDE;INFO 1;INFO 2\r\na@x.de;");
}
