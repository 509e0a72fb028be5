#include "addressdb/AddressDb.h"
#include "addressdb/AddressFileImport.h"
#include "addressdb/TAddressImport.h"
#include "addressdb/TFittedTable.h"
#include "addressdb/TImportMapping.h"

#include "addressdb/DbfTestFiles.h"

using namespace postello;
using postello::testing::ScratchDir;

namespace {

using Row = std::vector<std::string>;
const std::vector<std::string> kProgramFields = {"EMAIL", "NAME", "VORNAME", "ANREDE", "INFO 1", "INFO 2"};

std::vector<int> FieldsOf(const TImportMapping& m, std::size_t columns) {
  std::vector<int> fields;
  for (std::size_t c = 0; c < columns; ++c) fields.push_back(m.FieldOf(c));
  return fields;
}

} // namespace

TEST(ImportMapping, HeadersFindTheirFields) {
  const struct {
    Row Header;
    std::vector<int> Fields;
  } cases[] = {
      {{"E-Mail", "Nachname", "Vorname", "Anrede"}, {0, 1, 2, 3}},
      {{"First Name", "Last Name", "Email Address", "Salutation"}, {2, 1, 0, 3}},
      {{"eMail"}, {0}},
      {{" MAIL "}, {0}},
      {{"e_mail-adresse"}, {0}},
      {{"Firma", "info 2", "Info_1"}, {-1, 5, 4}},
      // A field takes the first column naming it.
      {{"Name", "Nachname", "Email", "Mail"}, {1, -1, 0, -1}},
      {{"", "Telefon"}, {-1, -1}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FieldsOf(TImportMapping::FromHeader(c.Header, kProgramFields, 0), c.Header.size()), c.Fields)
        << c.Header.front();
  // The address goes where the options say, and to EMAIL of a table without such a field.
  EXPECT_EQ(TImportMapping::FromHeader({"Mail"}, kProgramFields, 4).FieldOf(0), 4);
  EXPECT_EQ(TImportMapping::FromHeader({"Mail"}, {"FIRMA", "EMAIL"}, 7).FieldOf(0), 1);
  // A fitted table's folded names are found by the original header.
  EXPECT_EQ(TImportMapping::FromHeader({"Kundennummer", "Stra\xDF" "e"}, {"KUNDENNUMM", "STRASSE"}, 0).FieldOf(1), 1);
}

TEST(ImportMapping, CommandLineAssignments) {
  const Row header = {"Kunde", "Mail", "Ort"};
  const struct {
    const char* Assignment;
    std::vector<int> Fields;  // -2: throws
  } cases[] = {
      {"Kunde=name", {1, 0, -1}}, {"3=INFO 2", {-1, 0, 5}}, {"2=-", {-1, -1, -1}}, {"ort=Email", {-1, -1, 0}},
      {"Kunde", {-2}},           {"Land=NAME", {-2}},     {"0=NAME", {-2}},      {"Kunde=FAX", {-2}},
  };
  for (const auto& c : cases) {
    TImportMapping m = TImportMapping::FromHeader(header, kProgramFields, 0);
    if (c.Fields.front() == -2) {
      EXPECT_THROW(m.Apply(c.Assignment, header, kProgramFields), std::invalid_argument) << c.Assignment;
      continue;
    }
    m.Apply(c.Assignment, header, kProgramFields);
    EXPECT_EQ(FieldsOf(m, 3), c.Fields) << c.Assignment;
  }
}

TEST(ImportMapping, DbaseNames) {
  const struct {
    const char* Header;
    const char* Name;
  } cases[] = {
      {"E-Mail-Adresse", "EMAIL"}, {"Kundennummer", "KUNDENNUMM"}, {"Stra\xDF" "e", "STRASSE"},
      {"\xC4nderung am", "AENDERUNG"}, {"Gr\xF6\xDF" "e", "GROESSE"}, {"Last Name", "NAME"},
      {"PLZ/Ort", "PLZ_ORT"}, {"1. Kontakt", "F1_KONTAKT"}, {"  Firma  ", "FIRMA"}, {"--", ""},
      {"\xFC" "ber", "UEBER"},
  };
  for (const auto& c : cases) EXPECT_EQ(DbaseFieldName(c.Header), c.Name) << c.Header;
}

TEST(FittedTable, FieldsFitTheColumns) {
  TFittedTable fit({"Firma", "Kunde", "E-Mail-Adresse", "Firma", "Kundennummer1", "Kundennummer2", ""});
  fit.AddRow({"Schmidt, Gro\xDF & Partner", "", "a@b.de", "x", "1", "2", "", "extra"});
  fit.AddRow({std::string(300, 'f')});
  const auto defs = fit.FieldDefs();
  std::vector<std::pair<std::string, int>> got;
  for (const auto& d : defs) got.emplace_back(d.Name, d.Size);
  EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{{"EMAIL", 254},
                                                          {"FIRMA", 254},
                                                          {"KUNDE", 1},
                                                          {"FIRMA2", 1},
                                                          {"KUNDENNUMM", 1},
                                                          {"KUNDENNUM2", 1},
                                                          {"SPALTE7", 1},
                                                          {"SPALTE8", 5}}));
  const TImportMapping m = fit.Mapping();
  EXPECT_EQ(FieldsOf(m, 8), (std::vector<int>{1, 2, 0, 3, 4, 5, 6, 7}));
  // Without a header, the column holding addresses becomes EMAIL.
  TFittedTable bare({});
  bare.AddRow({"Roth", "r@x.de"});
  EXPECT_EQ(bare.FieldDefs().front().Name, "EMAIL");
  EXPECT_EQ(bare.FieldDefs().back().Name, "SPALTE1");
}

class AddressImport : public ScratchDir {
protected:
  void SetUp() override {
    ScratchDir::SetUp();
    mTable.SetFileName(Path("adr.dbf"));
    CreateAddressTable(mTable, 1);
    mTable.SetFiltered(true);
  }
  std::vector<Row> Records() {
    std::vector<Row> rows;
    mTable.SetFiltered(false);
    for (mTable.First(); !mTable.Eof(); mTable.Next()) rows.push_back({mTable.AsString(0), mTable.AsString(1)});
    return rows;
  }
  TDbf mTable;
};

TEST_F(AddressImport, ReportCountsEveryKindWithItsRows) {
  mTable.Append();
  mTable.SetAsString(0, "Alt@X.de");
  mTable.Post();
  // The filter hides the old record; it still counts.
  mTable.SetOnFilterRecord([](const TDbf&) { return false; });
  mTable.FilterChanged();

  TImportOptions options;
  options.SkipDuplicates = true;
  options.IsValidAddress = [](std::string_view a) { return a.find('@') != std::string_view::npos; };
  const std::string longName(31, 'n');
  TAddressImport import(mTable, TImportMapping::FromHeader({"Mail", "Name"}, kProgramFields, 0), options);
  const std::vector<std::pair<std::size_t, Row>> rows = {
      {2, {"neu@x.de", "Neu"}}, {3, {"alt@x.DE ", "Alt"}}, {5, {"", "Leer"}}, {6, {"kaputt", "K"}},
      {7, {"NEU@X.DE", "Nochmal"}}, {8, {"lang@x.de", longName}}, {9, {"  ", "Blank"}},
  };
  for (const auto& [line, cells] : rows) import.AddRow(line, cells);

  EXPECT_EQ(import.Report().Text(),
            "5 importiert, 2 doppelt \xFC" "bersprungen, 2 ohne Adresse, 1 mit ung\xFCltiger Adresse, 1 gek\xFCrzt\n"
            "Doppelt \xFC" "bersprungen: Zeilen 3, 7\n"
            "Ohne Adresse: Zeilen 5, 9\n"
            "Mit ung\xFCltiger Adresse: Zeile 6\n"
            "Gek\xFCrzt: Zeile 8, Feld NAME (31 Zeichen, Platz f\xFCr 30)\n");
  EXPECT_EQ(Records(), (std::vector<Row>{{"Alt@X.de", ""},
                                          {"neu@x.de", "Neu"},
                                          {"", "Leer"},
                                          {"kaputt", "K"},
                                          {"lang@x.de", longName.substr(0, 30)},
                                          {"", "Blank"}}));
}

TEST_F(AddressImport, DryRunAndPlainImportDifferOnlyInTheTable) {
  for (bool dry : {true, false}) {
    TImportOptions options;
    options.DryRun = dry;
    options.UnescapeFormulas = true;
    TAddressImport import(mTable, TImportMapping::InOrder(3, mTable.FieldCount()), options);
    import.AddRow(1, {"a@x.de", "'=Summe", "''-x"});
    import.AddRow(2, {"a@x.de", "'Otto"});
    EXPECT_EQ(import.Report().Text(dry).substr(0, 4), dry ? "2 w\xFC" : "2 im");
    EXPECT_EQ(Records().size(), dry ? 0u : 2u);
  }
  mTable.First();
  EXPECT_EQ(mTable.AsString(1), "=Summe");
  EXPECT_EQ(mTable.AsString(2), "'-x");
  mTable.Next();
  EXPECT_EQ(mTable.AsString(1), "'Otto");
}

class HeaderDetection : public ScratchDir {};

TEST_F(HeaderDetection, FirstRowNamesColumnsOnlyWhenItLooksSo) {
  const struct {
    const char* Text;
    bool Header;
  } cases[] = {
      {"E-Mail;Name\r\na@x.de;Roth\r\n", true},
      {"Kunde;Info 1\r\nRoth;x\r\n", true},             // a field of the table
      {"Firma;Kontakt\r\nRoth;a@x.de\r\n", true},       // no address above one
      {"a@x.de;Roth;Eva\r\nb@x.de;Lang\r\n", false},    // the program's own files
      {";Leer;Lea\r\nb@x.de;Berg\r\n", false},          // a record without address
      {"Roth;Eva\r\nLang;Udo\r\n", false},
      {"Mail;b@x.de\r\n", false},
  };
  for (const auto& c : cases) {
    WriteBytes(Path("a.csv"), c.Text);
    EXPECT_EQ(PreviewAddressFile(Path("a.csv"), {}, 20, kProgramFields).HeaderRow, c.Header) << c.Text;
  }
}
