// Address files as real programs write them (tests/data/addressdb/, see
// make_samples.py there), and files that must be refused.
#include "addressdb/TAddressRows.h"

#include "addressdb/AddressRowsTestSupport.h"
#include "addressdb/DbfTestFiles.h"

#include <gtest/gtest.h>

using namespace postello;
using postello::testing::ReadAll;
using postello::testing::Rows;

namespace {

std::string Sample(const std::string& name) { return std::string(POSTELLO_TEST_DATA) + "/addressdb/" + name; }

const std::vector<std::string> kHeader = {"E-Mail", "Nachname", "Vorname", "Anrede",
                                          "Firma", "PLZ", "Geburtstag", "Umsatz"};

// The customer list of make_samples.py; the text forms hold numbers as
// LibreOffice shows them, and keep the row of empty cells.
Rows Customers(bool text) {
  Rows rows = {
      kHeader,
      {"anna.schmidt@beispiel.de", "Schmidt", "Anna", "Frau", "Schmidt, Gro\xDF & Partner", "01067", "01.03.1980",
       text ? "1234.5" : "1234,5"},
      {"hans-joachim.mueller-luedenscheidt@stadtverwaltung-beispiel.de", "M\xFCller-L\xFC" "denscheidt",
       "Hans-Joachim", "Herr", "Meier; S\xF6hne", "80331", "24.12.1975", "42"},
      {"o.brien@example.com", "O'Brien", "Se\xE1n", "Herr", "Der \"Laden\"\nzweite Zeile", "10115", "",
       text ? "-0.25" : "-0,25"},
      {"lukasz@example.pl", "?ukasz", "", "", "Preis 5 \x80", "", "", text ? "1E+020" : "1E+20"},
  };
  if (text) rows.insert(rows.begin() + 3, std::vector<std::string>(8));
  return rows;
}

} // namespace

TEST(AddressFilesTest, SamplesOfRealProgramsReadAlike) {
  struct Case {
    const char* file;
    const char* format;
    Rows rows;
    std::vector<std::size_t> lines;
    char delimiter;
    TTextEncoding encoding;
  };
  const std::vector<Case> cases = {
      {"kunden_openpyxl.xlsx", "Excel-Tabelle", Customers(false), {1, 2, 3, 5, 6}, 0, TTextEncoding::Utf8},
      {"kunden_libreoffice.xlsx", "Excel-Tabelle", Customers(false), {1, 2, 3, 5, 6}, 0, TTextEncoding::Utf8},
      {"kunden_libreoffice.ods", "LibreOffice-Tabelle", Customers(false), {1, 2, 3, 5, 6}, 0, TTextEncoding::Utf8},
      {"kunden_excel.csv", "CSV-Text", Customers(true), {1, 2, 3, 4, 5, 7}, ';', TTextEncoding::Windows1252},
      {"kunden_unicode.txt", "CSV-Text", Customers(true), {1, 2, 3, 4, 5, 7}, '\t', TTextEncoding::Utf16Le},
  };
  for (const auto& c : cases) {
    auto source = OpenAddressRows(Sample(c.file));
    std::vector<std::size_t> lines;
    EXPECT_EQ(ReadAll(*source, &lines), c.rows) << c.file;
    EXPECT_EQ(lines, c.lines) << c.file;
    EXPECT_EQ(source->FormatName(), c.format) << c.file;
    EXPECT_EQ(source->Delimiter(), c.delimiter) << c.file;
    EXPECT_EQ(source->Encoding(), c.encoding) << c.file;
    if (c.delimiter == 0) {
      EXPECT_EQ(source->SheetNames(), (std::vector<std::string>{"Kunden", "Notizen"})) << c.file;
      auto second = OpenAddressRows(Sample(c.file), {1, 0, TTextEncoding::Detect});
      lines.clear();
      EXPECT_EQ(ReadAll(*second, &lines), (Rows{{"", "zweites Blatt"}, {"7"}})) << c.file;
      EXPECT_EQ(lines, (std::vector<std::size_t>{2, 3})) << c.file;
      EXPECT_EQ(second->Sheet(), 1);
    }
  }
}

TEST(AddressFilesTest, VCardsOfThreeVersions) {
  struct Case {
    const char* file;
    Rows rows;
    std::vector<TSkippedCard> skipped;
  };
  const std::vector<Case> cases = {
      {"outlook_21.vcf",
       {kVCardColumns,
        {"j.mueller@meier.example", "M\xFCller", "J\xF6rg", "Herr Dr.", "Herr Dr. J\xF6rg M\xFCller, Gesch\xE4" "ftsf\xFChrer",
         "Meier & S\xF6hne"},
        {"rene@example.fr", "Fran\xE7ois", "Ren\xE9", "", "Ren\xE9 Fran\xE7ois \x80", ""}},
       {{17, "Otto Ohnemail", "keine E-Mail-Adresse"}}},
      {"apple_30.vcf",
       {kVCardColumns,
        {"anna.schmidt@schmidt-partner.example", "Schmidt", "Anna", "Frau", "Anna Schmidt",
         "Schmidt, Gro\xDF & Partner"}},
       {{13, "Adresse Ohne", "keine E-Mail-Adresse"}}},
      {"rfc6350_40.vcf",
       {kVCardColumns,
        {"hans-joachim.mueller-luedenscheidt@stadtverwaltung-beispiel.de", "M\xFCller-L\xFC" "denscheidt",
         "Hans-Joachim", "Herr", "Hans-Joachim M\xFCller-L\xFC" "denscheidt", "Stadtverwaltung Beispielstadt"},
        {"info@nurfirma.example", "", "", "", "Nur Firma, Teil; GmbH", "Nur Firma GmbH"}},
       {{18, "Leer AG", "keine E-Mail-Adresse"}}},
  };
  for (const auto& c : cases) {
    auto source = OpenAddressRows(Sample(c.file));
    EXPECT_EQ(ReadAll(*source), c.rows) << c.file;
    EXPECT_EQ(source->FormatName(), "vCard");
    ASSERT_EQ(source->SkippedCards().size(), c.skipped.size()) << c.file;
    for (std::size_t i = 0; i < c.skipped.size(); ++i) {
      EXPECT_EQ(source->SkippedCards()[i].line, c.skipped[i].line) << c.file;
      EXPECT_EQ(source->SkippedCards()[i].name, c.skipped[i].name) << c.file;
      EXPECT_EQ(source->SkippedCards()[i].reason, c.skipped[i].reason) << c.file;
    }
  }
}
