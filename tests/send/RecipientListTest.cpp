#include "send/TRecipientList.h"

#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace postello;

namespace {

class RecipientList : public ::testing::Test {
protected:
  void SetUp() override {
    mDir = std::filesystem::temp_directory_path() /
           ("postello-recipients-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(::getpid()));
    std::filesystem::create_directories(mDir);
    mTable.SetFileName((mDir / "adr.dbf").string());
    CreateAddressTable(mTable, 2);
  }
  void TearDown() override {
    mTable.Close();
    std::filesystem::remove_all(mDir);
  }
  void Add(std::initializer_list<const char*> values) {
    mTable.Append();
    int i = 0;
    for (const char* v : values) mTable.SetAsString(i++, v);
    mTable.Post();
  }
  static std::vector<std::string> Lines(const TRecipientList& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r.Address + "\t" + std::to_string(r.Position));
    return out;
  }

  std::filesystem::path mDir;
  TDbf mTable;
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(RecipientList, RecordsWithoutAddressGetNoRowButKeepTheirPosition) {
  Add({"a@x.de", "Adam"});
  Add({"b@x.de", "Berg"});
  Add({"   ", "Ohne"});
  Add({"  d@x.de  ", "Dorn"});
  Add({"e@x.de", "Ernst"});
  const TRecipientList rows = ReadRecipientList(mTable, 0);
  EXPECT_EQ(Lines(rows), (Strings{"a@x.de\t0", "b@x.de\t1", "d@x.de\t3", "e@x.de\t4"}));
  EXPECT_TRUE(mTable.Eof());  // left on the last record
  EXPECT_EQ(mTable.AsString(1), "Ernst");

  // The merge finds the record of the third row by its position.
  mTable.MoveTo(rows[2].Position);
  EXPECT_EQ(mTable.AsString(1), "Dorn");
}

TEST_F(RecipientList, FieldNumberChoosesTheColumnAndFallsBackToTheFirst) {
  Add({"a@x.de", "Adam", "Anna"});
  Add({"b@x.de", "Berg", ""});
  EXPECT_EQ(Lines(ReadRecipientList(mTable, 2)), Strings{"Anna\t0"});
  EXPECT_EQ(Lines(ReadRecipientList(mTable, 6)), (Strings{"a@x.de\t0", "b@x.de\t1"}));
  EXPECT_EQ(Lines(ReadRecipientList(mTable, 5)), Strings{});
  EXPECT_TRUE(ReadRecipientList(mTable, -1).empty());
}

TEST_F(RecipientList, FilterAndDeletedRecordsShapeThePositions) {
  Add({"a@x.de", "Roth"});
  Add({"b@x.de", "Lang"});
  Add({"c@x.de", "Roth"});
  Add({"d@x.de", "Rothe"});
  mTable.MoveTo(2);
  mTable.Delete();
  std::string filter = "roth";
  mTable.SetOnFilterRecord(MakeTextFilter([&] { return filter; }));
  mTable.SetFiltered(true);
  const TRecipientList rows = ReadRecipientList(mTable, 0);
  EXPECT_EQ(Lines(rows), (Strings{"a@x.de\t0", "d@x.de\t1"}));
  mTable.MoveTo(rows[1].Position);
  EXPECT_EQ(mTable.AsString(0), "d@x.de");

  // A filter text changed since the table last moved is applied.
  filter = "lang";
  EXPECT_EQ(Lines(ReadRecipientList(mTable, 0)), Strings{"b@x.de\t0"});
}

TEST_F(RecipientList, ClosedOrEmptyTableGivesNoRows) {
  EXPECT_TRUE(ReadRecipientList(mTable, 0).empty());
  mTable.Close();
  EXPECT_TRUE(ReadRecipientList(mTable, 0).empty());
}

TEST_F(RecipientList, RecordNumbersStayWhilePositionsMoveAndBlankRecordsAreReported) {
  Add({"a@x.de", "Roth"});
  Add({"  ", "Leer"});
  Add({"c@x.de", "Roth"});
  Add({"", "Roth"});
  Add({"e@x.de", "Roth"});
  mTable.MoveTo(0);
  mTable.Delete();
  std::vector<std::uint32_t> skipped;
  TRecipientList rows = ReadRecipientList(mTable, 0, &skipped);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Position, 1u);
  EXPECT_EQ(rows[0].RecNo, 3u);
  EXPECT_EQ(rows[1].RecNo, 5u);
  // Blank records by the position the grid shows them at (the deleted
  // first record not counted), not by their record numbers 2 and 4.
  EXPECT_EQ(skipped, (std::vector<std::uint32_t>{0, 2}));

  // Filtered: only the records in view count, blank ones included.
  std::string filter = "roth";
  mTable.SetOnFilterRecord(MakeTextFilter([&] { return filter; }));
  mTable.SetFiltered(true);
  skipped.clear();
  rows = ReadRecipientList(mTable, 0, &skipped);
  EXPECT_EQ(Lines(rows), (Strings{"c@x.de\t0", "e@x.de\t2"}));
  EXPECT_EQ(skipped, (std::vector<std::uint32_t>{1}));
  // Nothing in view: nothing skipped either.
  filter = "niemand";
  skipped.clear();
  EXPECT_TRUE(ReadRecipientList(mTable, 0, &skipped).empty());
  EXPECT_TRUE(skipped.empty());
}
