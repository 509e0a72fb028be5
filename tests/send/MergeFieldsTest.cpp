// The field merge on a real address table: placeholder scanning, field
// names, values, and reaching the recipient's record through the view.
#include "send/MergeFields.h"
#include "send/SendRunSupport.h"
#include "send/TRecipientList.h"

#include <gtest/gtest.h>

using namespace postello;
using postello::test::MakeAddressTable;
using postello::test::TTempDir;

namespace {

class MergeFieldsTest : public ::testing::Test {
protected:
  void SetUp() override {
    MakeAddressTable(Table, (Dir.Path() / "adr.dbf").string(),
                     {{"eva@example.org", "Roth", "Eva", "Frau", "  x", ""},
                      {"max@example.org", "Muster", "Max", "Herr", "<b>fett</b>", "[%Vorname]"},
                      {"", "Ohne", "Adresse", "", "", ""},
                      {"jo@example.org", "M\xFCller", "J\xF6rg", "Herr", "Info eins", "Info zwei"},
                      {"li@example.org", "Lang", "Lisa", "", "", ""}});
  }

  std::string Merge(std::string_view text, std::int64_t position = 0) {
    return MergeFields(text, Table, position);
  }

  TTempDir Dir;
  TDbf Table;
};

TEST_F(MergeFieldsTest, PlaceholdersTakeTheRecordsFields) {
  EXPECT_EQ(Merge("Hallo [%Vorname] [%Name],"), "Hallo Eva Roth,");
  EXPECT_EQ(Merge("[%Vorname][%Name]"), "EvaRoth");
  EXPECT_EQ(Merge("[%Anrede] [%Name]", 3), "Herr M\xFCller");
  EXPECT_EQ(Merge("[%eMail]", 4), "li@example.org");
  // A field name may hold blanks.
  EXPECT_EQ(Merge("[%Info 1]/[%Info 2]", 3), "Info eins/Info zwei");
}

TEST_F(MergeFieldsTest, NamesFoldOnlyTheLettersAToZ) {
  EXPECT_EQ(Merge("[%vorname]"), "Eva");
  EXPECT_EQ(Merge("[%VORNAME]"), "Eva");
  EXPECT_EQ(Merge("[%vOrNaMe]"), "Eva");
  EXPECT_EQ(Merge("[%INFO 1]"), "  x");
  // Blanks are part of the name.
  EXPECT_EQ(Merge("[% Vorname]"), "[% Vorname]");
  EXPECT_EQ(Merge("[%Vorname ]"), "[%Vorname ]");
  EXPECT_EQ(Merge("[%Info1]"), "[%Info1]");
}

TEST(MergeFieldNames, NonAsciiLettersMatchOnlyAsWritten) {
  TTempDir dir;
  TDbf table;
  table.SetFileName((dir.Path() / "umlaut.dbf").string());
  table.FieldDefs() = {{"eMail", 'C', 40, 0}, {"\xC4RA", 'C', 10, 0}};
  table.CreateTable();
  table.Open();
  table.Append();
  table.SetAsString(0, "a@example.org");
  table.SetAsString(1, "Neu");
  table.Post();
  EXPECT_EQ(MergeFields("[%\xC4ra]", table, 0), "Neu");
  EXPECT_EQ(MergeFields("[%\xC4RA]", table, 0), "Neu");
  // Lower-case umlaut: not folded, so no field of that name.
  EXPECT_EQ(MergeFields("[%\xE4ra]", table, 0), "[%\xE4ra]");
}

TEST_F(MergeFieldsTest, WhatIsNoPlaceholderStaysAsWritten) {
  EXPECT_EQ(Merge("[%Telefon]"), "[%Telefon]");
  EXPECT_EQ(Merge("[%]"), "[%]");
  EXPECT_EQ(Merge("a[b"), "a[b");
  EXPECT_EQ(Merge("[[%Name]"), "[[%Name]");
  EXPECT_EQ(Merge("100% [x]"), "100% [x]");
  EXPECT_EQ(Merge("[]"), "[]");
  EXPECT_EQ(Merge("%]"), "%]");
  EXPECT_EQ(Merge("[%%Name]"), "[%%Name]");
  EXPECT_EQ(Merge("[%Na[me]"), "[%Na[me]");
  EXPECT_EQ(Merge(""), "");
  // Open at the end of the text.
  EXPECT_EQ(Merge("Gru\xDF ["), "Gru\xDF [");
  EXPECT_EQ(Merge("Gru\xDF [%"), "Gru\xDF [%");
  EXPECT_EQ(Merge("Gru\xDF [%Vorna"), "Gru\xDF [%Vorna");
  EXPECT_EQ(Merge("[%Name] [%Vorname"), "Roth [%Vorname");
  // Bytes of every value, NUL included, pass outside placeholders.
  std::string all;
  for (int b = 0; b < 256; ++b)
    if (b != '[') all += static_cast<char>(b);
  EXPECT_EQ(Merge(all), all);
}

TEST_F(MergeFieldsTest, ValuesAreInsertedAsStoredWithoutPaddingOrEscaping) {
  // Leading blanks stay, the padding to the field width goes.
  EXPECT_EQ(Merge("<[%Info 1]>"), "<  x>");
  EXPECT_EQ(Merge("<[%Anrede]>", 4), "<>");
  EXPECT_EQ(Merge("<p>[%Info 1]</p>", 1), "<p><b>fett</b></p>");
  // A value that looks like a placeholder is not merged again.
  EXPECT_EQ(Merge("[%Info 2]", 1), "[%Vorname]");
}

TEST_F(MergeFieldsTest, PositionsCountRecordsOfTheFilteredView) {
  // The third record has no address: the list skips it, so the third row
  // stands at position 3 and merges the fourth record.
  const TRecipientList rows = ReadRecipientList(Table, 0);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[2].Position, 3u);
  EXPECT_EQ(MergeFields("[%Vorname]", Table, rows[2].Position), "J\xF6rg");
  EXPECT_EQ(Table.RecNo(), 4u);

  std::string filter = "herr";
  Table.SetOnFilterRecord(MakeTextFilter([&] { return filter; }));
  Table.FilterChanged();
  const TRecipientList filtered = ReadRecipientList(Table, 0);
  ASSERT_EQ(filtered.size(), 2u);
  EXPECT_EQ(MergeFields("[%Vorname]", Table, filtered[1].Position), "J\xF6rg");
  EXPECT_EQ(MergeFields("[%Vorname]", Table, 0), "Max");
}

TEST_F(MergeFieldsTest, MovesStraightToTheRecordInAnyOrder) {
  EXPECT_EQ(Merge("[%Name]", 4), "Lang");
  EXPECT_EQ(Merge("[%Name]", 0), "Roth");
  EXPECT_EQ(Merge("[%Name]", 3), "M\xFCller");
  EXPECT_EQ(Merge("[%Name]", 1), "Muster");
  EXPECT_EQ(Table.RecNo(), 2u);
}

TEST_F(MergeFieldsTest, UnreachableRecordsLeaveTheTextUnchanged) {
  const std::string text = "Hallo [%Vorname]";
  // Past the end: MoveTo would stop on the last record, somebody else's.
  EXPECT_EQ(Merge(text, 5), text);
  EXPECT_EQ(Merge(text, 1000000), text);
  EXPECT_EQ(Merge(text, -1), text);
  EXPECT_EQ(Merge(text, std::int64_t{1} << 40), text);
  Table.Close();
  EXPECT_EQ(Merge(text, 0), text);
  TDbf never;
  EXPECT_EQ(MergeFields(text, never, 0), text);
}

TEST_F(MergeFieldsTest, EmptyTableMergesNothing) {
  TDbf empty;
  MakeAddressTable(empty, (Dir.Path() / "leer.dbf").string(), {});
  EXPECT_EQ(MergeFields("[%Name]", empty, 0), "[%Name]");
}

} // namespace
