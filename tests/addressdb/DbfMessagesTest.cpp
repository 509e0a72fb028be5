// The refusals of the address table reach the user's message box as they
// are: each is a German sentence, the file and offset following it.
#include "addressdb/AddressDb.h"
#include "addressdb/TDataSource.h"
#include "addressdb/TDbf.h"
#include "addressdb/TxtImport.h"

#include "addressdb/DbfTestFiles.h"

#include <functional>

namespace postello {
namespace {

using testing::ScratchDir;

class DbfMessages : public ScratchDir {
protected:
  // The message of what action throws; fails the test when it throws nothing.
  template <class E = std::exception>
  static std::string MessageOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const E& e) {
      return e.what();
    }
    ADD_FAILURE() << "no error";
    return {};
  }
  std::string InFile(const std::string& name) const { return " (Datei \"" + Path(name) + "\")"; }
};

TEST_F(DbfMessages, ImportBeforeAnyTableIsOpenSaysSoInGerman) {
  TDbf table;
  table.SetFileName(Path("mailaddies.dbf"));
  WriteBytes(Path("in.csv"), "a@example.org;Roth\r\n");
  EXPECT_EQ(MessageOf<TDbfError>([&] { ImportTextFile(table, Path("in.csv")); }),
            "Die Tabelle ist nicht ge\xF6" "ffnet" + InFile("mailaddies.dbf"));
}

TEST_F(DbfMessages, NewTableInAMissingFolderNamesTheReason) {
  TDbf table;
  table.SetFileName(Path("fehlt/neu.dbf"));
  table.FieldDefs() = AddressFieldDefs(2);
  EXPECT_EQ(MessageOf<TDbfError>([&] { table.CreateTable(); }),
            "Die neue Tabelle kann nicht geschrieben werden: Die Datei oder der Ordner existiert nicht" +
                InFile("fehlt/neu.dbf"));
}

TEST_F(DbfMessages, AFileThatIsNoTableNamesItsVersionByteAndOffset) {
  WriteBytes(Path("text.dbf"), "Hallo;Welt\r\n" + std::string(40, ' '));
  TDbf table;
  table.SetAutoCreate(false);
  table.SetFileName(Path("text.dbf"));
  EXPECT_EQ(MessageOf<TDbfError>([&] { table.Open(); }),
            "Die Datei ist keine dBASE-III/IV-Tabelle (Versionsbyte 0x48) (Datei \"" + Path("text.dbf") +
                "\", Byte 0)");
}

TEST_F(DbfMessages, AMissingFileOpenedWithoutCreatingNamesTheReason) {
  TDbf table;
  table.SetAutoCreate(false);
  table.SetFileName(Path("fehlt.dbf"));
  EXPECT_EQ(MessageOf<TDbfError>([&] { table.Open(); }),
            "Die Datei kann nicht ge\xF6" "ffnet werden: Die Datei oder der Ordner existiert nicht" +
                InFile("fehlt.dbf"));
}

TEST_F(DbfMessages, RefusedValuesAndDefinitionsAreGerman) {
  TDbf table;
  table.SetFileName(Path("t.dbf"));
  const std::pair<std::vector<TDbfFieldDef>, std::string> badDefs[] = {
      {{{"A", 'C', 0, 0}}, "Feld A: Die Breite 0 liegt nicht zwischen 1 und 254"},
      {{{"A", 'N', 5, 0}}, "Feld A: Es k\xF6nnen nur Textfelder angelegt werden"},
      {{{"", 'C', 5, 0}}, "Ein Feld hat keinen Namen"},
  };
  for (const auto& [defs, text] : badDefs) {
    table.FieldDefs() = defs;
    EXPECT_EQ(MessageOf<std::invalid_argument>([&] { table.CreateTable(); }), text);
  }
  EXPECT_EQ(MessageOf<std::invalid_argument>([] { AddressFieldDefs(101); }),
            "Die Anzahl der Info-Felder muss zwischen 0 und 100 liegen, nicht bei 101");

  table.FieldDefs() = AddressFieldDefs(0);
  table.CreateTable();
  table.Open();
  EXPECT_EQ(MessageOf<TDbfError>([&] { table.SetAsString(0, "x"); }),
            "Die Tabelle wird gerade nicht bearbeitet" + InFile("t.dbf"));
  EXPECT_EQ(MessageOf<TDbfError>([&] { table.Post(); }),
            "Die Tabelle wird gerade nicht bearbeitet" + InFile("t.dbf"));
  EXPECT_EQ(MessageOf<TDbfError>([&] { table.Delete(); }),
            "Es gibt keinen Datensatz zum L\xF6schen" + InFile("t.dbf"));
  EXPECT_EQ(MessageOf<std::out_of_range>([&] { table.Field(4); }), "Das Feld Nummer 4 gibt es nicht");
  EXPECT_EQ(MessageOf<TDbfError>([&] { table.SetFileName(Path("anders.dbf")); }),
            "Eine ge\xF6" "ffnete Tabelle kann nicht umbenannt werden" + InFile("t.dbf"));
  TDataSource source(table);
  EXPECT_EQ(MessageOf<std::out_of_range>([&] { source.SetValue(0, 0, "x"); }), "Die Zeile 0 gibt es nicht");
}

} // namespace
} // namespace postello
