// postello-cli import, newdb --from and export on an office's address
// list, run as the real program.
#include "CliRun.h"
#include "core/TOptions.h"

#include <gtest/gtest.h>

using namespace postello::test;

TEST(CliAddressFile, ImportMapsDryRunsFitsAndExports) {
  TempDir dir;
  ASSERT_EQ(CliIn(dir.path(), "newdb").status, 0);
  WriteFile(dir.file("kunden.csv"),
            "Firma,E-Mail-Adresse,Nachname,Ort\r\n"
            "\"Schmidt, Gro\xC3\x9F & Partner\",hans-joachim.mueller-luedenscheidt@stadtverwaltung.example,M\xC3\xBCller,"
            "Bonn\r\n"
            "\"Meier; S\xC3\xB6hne\",B@x.de,Meier,\r\n"
            ",b@X.de,Doppelt,K\xC3\xB6ln\r\n");
  const std::string table = dir.file("mailaddies.dbf");
  const std::string before = ReadFile(table);
  Result r = CliIn(dir.path(), "import --dry-run --skip-duplicates --map Firma='INFO 1' --map 4=vorname " +
                                   dir.file("kunden.csv"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2 w\xC3\xBCrden importiert, 1 doppelt \xC3\xBC" "bersprungen, 0 ohne Adresse, 0 mit ung\xC3\xBCltiger "
                   "Adresse, 0 gek\xC3\xBCrzt\nDoppelt \xC3\xBC" "bersprungen: Zeile 4\n");
  EXPECT_EQ(ReadFile(table), before);

  r = CliIn(dir.path(), "import --skip-duplicates --map Firma='INFO 1' --map 4=vorname " + dir.file("kunden.csv"));
  EXPECT_EQ(r.status, 0) << r.err;
  r = CliIn(dir.path(), "export " + dir.file("alle.csv"));
  EXPECT_EQ(r.out, "2\n");
  EXPECT_EQ(ReadFile(dir.file("alle.csv")),
            "\xEF\xBB\xBF" "EMAIL;NAME;VORNAME;ANREDE;INFO 1;INFO 2\r\n"
            "hans-joachim.mueller-luedenscheidt@stadtverwaltung.example;M\xC3\xBCller;Bonn;;Schmidt, Gro\xC3\x9F & "
            "Partner;\r\n"
            "B@x.de;Meier;;;\"Meier; S\xC3\xB6hne\";\r\n");

  // A remembered e-mail field number follows the fitted table, whose
  // address comes first.
  postello::TOptions options;
  options.MailField = 2;
  WriteFile(dir.file("options.dat"), options.Encode());
  r = CliIn(dir.path(), "newdb --force --from " + dir.file("kunden.csv"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CliIn(dir.path(), "recipients").out.substr(0, 7), "hans-jo");
  r = CliIn(dir.path(), "export --filter doppelt " + dir.file("k.csv"));
  EXPECT_EQ(r.out, "1\n");
  EXPECT_EQ(ReadFile(dir.file("k.csv")), "\xEF\xBB\xBF" "EMAIL;FIRMA;NAME;ORT\r\nb@X.de;;Doppelt;K\xC3\xB6ln\r\n");

  r = CliIn(dir.path(), "import --map Land=NAME " + dir.file("kunden.csv"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Die Datei hat keine Spalte \"Land\""), std::string::npos) << r.err;
}
