#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"

#include "addressdb/DbfTestFiles.h"

using namespace postello;
using postello::testing::ScratchDir;

namespace {

class AddressDb : public ScratchDir {
protected:
  // Opens a fresh program table holding one record with the given values
  // and tells whether the record passes the text filter.
  bool Passes(std::initializer_list<const char*> values, const std::string& filter) {
    TDbf t;
    t.SetFileName(Path("f.dbf"));
    CreateAddressTable(t, 2);
    t.Append();
    int i = 0;
    for (const char* v : values) t.SetAsString(i++, v);
    t.Post();
    t.SetOnFilterRecord(MakeTextFilter([&] { return filter; }));
    t.SetFiltered(true);
    return !t.IsEmpty();
  }
};

} // namespace

TEST_F(AddressDb, NewTableHasTheAddressFieldsAndTheChosenInfoFields) {
  TDbf t;
  t.SetFileName(Path("a.dbf"));
  for (int info : {0, 2, 100}) {
    CreateAddressTable(t, info);
    ASSERT_TRUE(t.Active());
    ASSERT_EQ(t.FieldCount(), 4 + info);
    EXPECT_EQ(t.Field(0).Name, "EMAIL");
    EXPECT_EQ(t.Field(0).Width, 254);
    EXPECT_EQ(t.Field(1).Name, "NAME");
    EXPECT_EQ(t.Field(1).Width, 30);
    EXPECT_EQ(t.Field(2).Name, "VORNAME");
    EXPECT_EQ(t.Field(2).Width, 30);
    EXPECT_EQ(t.Field(3).Name, "ANREDE");
    EXPECT_EQ(t.Field(3).Width, 20);
    if (info > 0) {
      EXPECT_EQ(t.Field(4).Name, "INFO 1");
      EXPECT_EQ(t.Field(3 + info).Name, "INFO " + std::to_string(info));
      EXPECT_EQ(t.Field(3 + info).Width, 50);
    }
    EXPECT_EQ(t.RecordLength(), 335 + 50 * info);
    // Read back from the file, as after a restart.
    t.Close();
    EXPECT_EQ(InfoFieldCount(t), 0);
    t.Open();
    EXPECT_EQ(InfoFieldCount(t), info);
  }
  // "INFO 100" is cut to ten characters in the descriptor.
  EXPECT_EQ(t.Field(103).Name, "INFO 100");
  EXPECT_THROW(CreateAddressTable(t, 101), std::invalid_argument);
  EXPECT_THROW(CreateAddressTable(t, -1), std::invalid_argument);
}

TEST_F(AddressDb, NewTableReplacesTheOldRecords) {
  TDbf t;
  t.SetFileName(Path("a.dbf"));
  CreateAddressTable(t, 2);
  t.Append();
  t.SetAsString(0, "old@x.de");
  t.Post();
  CreateAddressTable(t, 1);
  EXPECT_EQ(t.RecordCount(), 0u);
  EXPECT_EQ(ReadBytes(Path("a.dbf")).size(), 32u + 5 * 32 + 1 + 1);
}

TEST_F(AddressDb, OpeningANewNameCreatesItWithThePreviousFieldsAndFilters) {
  TDbf t;
  t.SetOnFilterRecord(MakeTextFilter([] { return std::string("keep"); }));
  t.SetFileName(Path("adressen.dbf"));
  CreateAddressTable(t, 2);
  OpenAddressTable(t, Path("adressen.dbf"));
  EXPECT_TRUE(t.Filtered());
  for (const char* m : {"keep@x.de", "drop@x.de"}) {
    t.Append();
    t.SetAsString(0, m);
    t.Post();
  }
  EXPECT_EQ(t.ViewCount(), 1u);

  OpenAddressTable(t, Path("adressen.dbf2"));
  EXPECT_TRUE(std::filesystem::exists(Path("adressen.dbf2")));
  EXPECT_EQ(t.FieldCount(), 6);
  EXPECT_EQ(t.RecordCount(), 0u);

  // Without creation a missing file is an error, and no file appears.
  EXPECT_THROW(OpenAddressTable(t, Path("missing.dbf"), false), TDbfError);
  EXPECT_FALSE(std::filesystem::exists(Path("missing.dbf")));

  // A file that is no table: the table stays closed.
  WriteBytes(Path("junk.dbf"), "not a table");
  EXPECT_THROW(OpenAddressTable(t, Path("junk.dbf")), TDbfError);
  EXPECT_FALSE(t.Active());
}

TEST_F(AddressDb, FilterFoldsOnlyAToZAndSearchesEveryField) {
  EXPECT_TRUE(Passes({"a@x.de", "Mailand"}, "mai"));
  EXPECT_TRUE(Passes({"a@x.de", "Zaimai"}, "MAI"));
  EXPECT_FALSE(Passes({"a@x.de", "M\xDCLLER"}, "m\xFCller"));  // ü does not fold to Ü
  EXPECT_TRUE(Passes({"a@x.de", "M\xFCLLER"}, "m\xFCller"));
  EXPECT_TRUE(Passes({"a@b.de", "Roth", "", "", "", "Box"}, "x"));
  EXPECT_FALSE(Passes({"a@b.de", "Roth"}, "x"));
  EXPECT_TRUE(Passes({"a@b.de"}, ""));
  EXPECT_TRUE(Passes({"a@b.de", "van Dyk"}, "n d"));  // blanks as typed
  EXPECT_FALSE(Passes({"a@b.de", "Roth"}, "roth "));  // trailing padding is not text
  EXPECT_FALSE(Passes({"a@b.de", "Roth"}, "r*h"));
}

TEST_F(AddressDb, UpperCaseTouchesOnlyAToZ) {
  EXPECT_EQ(UpperCaseAZ("azAZ\xE4\xFF{}09"), "AZAZ\xE4\xFF{}09");
}

TEST_F(AddressDb, ReapplyingTheFilterShowsWhatTheTextNowSelects) {
  TDbf t;
  std::string text = "roth";
  t.SetOnFilterRecord(MakeTextFilter([&] { return text; }));
  OpenAddressTable(t, Path("r.dbf"));
  CreateAddressTable(t, 0);
  for (const char* name : {"Roth", "Lang", "Rothe"}) {
    t.Append();
    t.SetAsString(1, name);
    t.Post();
  }
  ReapplyFilter(t);
  EXPECT_EQ(t.ViewCount(), 2u);
  text.clear();
  ReapplyFilter(t);
  EXPECT_EQ(t.ViewCount(), 3u);
  EXPECT_EQ(t.AsString(1), "Roth");
}

// Choosing another file while a record was being typed dropped that record.
TEST_F(AddressDb, OpeningAnotherFileKeepsTheRecordTypedIntoTheFirst) {
  TDbf t;
  t.SetFileName(Path("erste.dbf"));
  CreateAddressTable(t, 0);
  t.Append();
  t.SetAsString(0, "getippt@x.de");
  OpenAddressTable(t, Path("zweite.dbf"));
  EXPECT_EQ(t.RecordCount(), 0u);
  OpenAddressTable(t, Path("erste.dbf"));
  ASSERT_EQ(t.RecordCount(), 1u);
  EXPECT_EQ(t.AsString(0), "getippt@x.de");

  // An untouched new record is not written.
  t.Append();
  OpenAddressTable(t, Path("zweite.dbf"));
  OpenAddressTable(t, Path("erste.dbf"));
  EXPECT_EQ(t.RecordCount(), 1u);
}
