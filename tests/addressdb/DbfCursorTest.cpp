#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"

#include "addressdb/DbfTestFiles.h"

using namespace postello;
using postello::testing::ScratchDir;

namespace {

// A table of one field "V" (C 10) holding the given values; a value starting
// with '-' is stored and then deleted.
class DbfCursor : public ScratchDir {
protected:
  void Make(std::initializer_list<const char*> values) {
    mPath = Path("c.dbf");
    mTable.SetFileName(mPath);
    mTable.FieldDefs() = {{"V", 'C', 10, 0}};
    mTable.CreateTable();
    mTable.Open();
    for (const char* v : values) {
      mTable.Append();
      mTable.SetAsString(0, v);
      mTable.Post();
      if (v[0] == '-') mTable.Delete();
    }
    mTable.First();
  }
  std::string Cur() const { return mTable.AsString(0); }
  std::vector<std::string> Walk() {
    std::vector<std::string> seen;
    for (mTable.First(); !mTable.Eof(); mTable.Next()) seen.push_back(Cur());
    return seen;
  }

  std::string mPath;
  TDbf mTable;
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(DbfCursor, MovesSkipDeletedRecordsAndStopAtBothEnds) {
  Make({"a", "-b", "c", "d", "-e", "f"});
  EXPECT_EQ(Walk(), (Strings{"a", "c", "d", "f"}));
  EXPECT_EQ(mTable.RecordCount(), 6u);

  mTable.First();
  EXPECT_TRUE(mTable.Bof());
  EXPECT_EQ(mTable.RecNo(), 1u);
  EXPECT_FALSE(mTable.Prior());
  EXPECT_TRUE(mTable.Bof());
  EXPECT_EQ(Cur(), "a");
  EXPECT_TRUE(mTable.Next());
  EXPECT_EQ(mTable.RecNo(), 3u);
  EXPECT_EQ(mTable.MoveBy(5), 2);  // only two more records
  EXPECT_TRUE(mTable.Eof());
  EXPECT_EQ(Cur(), "f");
  EXPECT_EQ(mTable.RecNo(), 6u);
  EXPECT_FALSE(mTable.Next());
  EXPECT_EQ(mTable.RecNo(), 6u);
  EXPECT_EQ(mTable.MoveBy(-2), -2);
  EXPECT_EQ(Cur(), "c");
  EXPECT_EQ(mTable.MoveBy(-9), -1);
  EXPECT_TRUE(mTable.Bof());
  EXPECT_EQ(Cur(), "a");
  mTable.Last();
  EXPECT_TRUE(mTable.Eof());
  EXPECT_EQ(mTable.Position(), 3);

  for (std::uint32_t r = 0; r < 6; ++r) {
    mTable.First();
    mTable.MoveBy(static_cast<int>(r));
    const std::string walked = Cur();
    mTable.MoveTo(r);
    EXPECT_EQ(Cur(), walked) << r;
    EXPECT_EQ(mTable.ValueAt(r, 0), r < 4 ? walked : "") << r;
  }
}

TEST_F(DbfCursor, DeletedRecordKeepsItsBytesBehindTheMark) {
  Make({"a", "b", "c"});
  mTable.MoveTo(1);
  mTable.Delete();
  EXPECT_EQ(Cur(), "c");  // the next record takes its place
  mTable.Delete();
  EXPECT_EQ(Cur(), "a");  // at the end: the one before
  mTable.Delete();
  EXPECT_TRUE(mTable.IsEmpty());
  EXPECT_EQ(mTable.RecNo(), 0u);
  EXPECT_EQ(Cur(), "");
  EXPECT_THROW(mTable.Delete(), TDbfError);
  mTable.Close();
  const std::string bytes = ReadBytes(mPath);
  ASSERT_EQ(bytes.size(), 65u + 3 * 11 + 1);
  EXPECT_EQ(bytes.substr(65, 33), "*a         *b         *c         ");
}

TEST_F(DbfCursor, EditPostWritesInPlaceAndCancelLeavesTheFile) {
  Make({"a", "b"});
  mTable.Next();
  EXPECT_THROW(mTable.SetAsString(0, "x"), TDbfError);  // not editing
  mTable.Edit();
  mTable.SetAsString(0, "B2");
  EXPECT_EQ(Cur(), "B2");  // the buffer shows the change
  mTable.Cancel();
  EXPECT_EQ(Cur(), "b");
  EXPECT_EQ(ReadBytes(mPath).substr(65 + 11, 11), " b         ");

  mTable.Edit();
  mTable.SetAsString(0, "B2");
  mTable.Post();
  EXPECT_EQ(ReadBytes(mPath).substr(65 + 11, 11), " B2        ");
  EXPECT_EQ(mTable.RecordCount(), 2u);

  // Moving while editing posts a changed record.
  mTable.Edit();
  mTable.SetAsString(0, "B3");
  mTable.First();
  EXPECT_EQ(mTable.State(), TDbfState::Browse);
  EXPECT_EQ(ReadBytes(mPath).substr(65 + 11, 11), " B3        ");

  // Insert then Delete only drops the new record.
  mTable.Insert();
  mTable.SetAsString(0, "new");
  mTable.Delete();
  EXPECT_EQ(mTable.RecordCount(), 2u);
  EXPECT_EQ(Walk(), (Strings{"a", "B3"}));
}

TEST_F(DbfCursor, EditOnAnEmptyTableStartsANewRecord) {
  Make({});
  EXPECT_TRUE(mTable.IsEmpty());
  mTable.Edit();
  EXPECT_EQ(mTable.State(), TDbfState::Insert);
  mTable.SetAsString(0, "z");
  mTable.Post();
  EXPECT_EQ(Walk(), Strings{"z"});
}

TEST_F(DbfCursor, ClosingDropsAPendingEdit) {
  Make({"a"});
  mTable.Edit();
  mTable.SetAsString(0, "lost");
  mTable.Close();
  mTable.Open();
  EXPECT_EQ(Cur(), "a");
}

TEST_F(DbfCursor, FilterJudgesEachRecordOnceAndMovesByPositionWithoutWalking) {
  std::vector<const char*> values;
  std::vector<std::string> storage;
  for (int i = 0; i < 300; ++i) storage.push_back((i % 3 == 0 ? "k" : "x") + std::to_string(i));
  Make({});
  for (const auto& v : storage) {
    mTable.Append();
    mTable.SetAsString(0, v);
    mTable.Post();
  }
  int calls = 0;
  std::string judged;
  mTable.SetOnFilterRecord([&](const TDbf& t) {
    ++calls;
    judged = t.AsString(0);  // the record under judgement, not the current one
    return judged[0] == 'k';
  });
  mTable.SetFiltered(true);
  EXPECT_EQ(Cur(), "k0");
  EXPECT_EQ(mTable.ViewCount(), 100u);
  EXPECT_EQ(calls, 300);
  EXPECT_EQ(judged, "x299");

  for (std::uint32_t r : {57u, 3u, 99u, 0u, 42u}) {
    mTable.MoveTo(r);
    EXPECT_EQ(Cur(), "k" + std::to_string(3 * r));
    EXPECT_EQ(mTable.Position(), static_cast<std::int64_t>(r));
    mTable.First();
    EXPECT_EQ(mTable.MoveBy(static_cast<int>(r)), static_cast<int>(r));
    EXPECT_EQ(Cur(), "k" + std::to_string(3 * r));
  }
  mTable.MoveTo(100);
  EXPECT_EQ(Cur(), "k297");
  EXPECT_TRUE(mTable.Eof());
  EXPECT_EQ(calls, 300);  // no record judged twice

  // An edit is judged again: a record that fails stays current until a move.
  mTable.MoveTo(10);
  mTable.Edit();
  mTable.SetAsString(0, "x30");
  mTable.Post();
  EXPECT_EQ(Cur(), "x30");
  EXPECT_EQ(mTable.Position(), -1);
  EXPECT_EQ(mTable.ViewCount(), 99u);
  mTable.Next();
  EXPECT_EQ(Cur(), "k33");
  mTable.Prior();
  EXPECT_EQ(Cur(), "k27");
  mTable.MoveTo(10);
  EXPECT_EQ(Cur(), "k33");

  // New records are judged when they are posted.
  mTable.Append();
  mTable.SetAsString(0, "k-new");
  mTable.Post();
  mTable.Append();
  mTable.SetAsString(0, "x-new");
  mTable.Post();
  EXPECT_EQ(mTable.ViewCount(), 100u);
  mTable.Last();
  EXPECT_EQ(Cur(), "k-new");
}

TEST_F(DbfCursor, ChangedFilterTextTakesEffectAfterFilterChanged) {
  Make({"Mailand", "Rom", "Zaimai", "Oslo"});
  std::string text = "mai";
  mTable.SetOnFilterRecord(MakeTextFilter([&] { return text; }));
  mTable.SetFiltered(true);
  EXPECT_EQ(Walk(), (Strings{"Mailand", "Zaimai"}));
  text = "o";
  mTable.FilterChanged();
  EXPECT_EQ(Walk(), (Strings{"Rom", "Oslo"}));
  text = "";
  mTable.FilterChanged();
  EXPECT_EQ(mTable.ViewCount(), 4u);
  text = "nowhere";
  mTable.FilterChanged();
  mTable.First();
  EXPECT_TRUE(mTable.IsEmpty());
  EXPECT_EQ(mTable.RecNo(), 0u);
  EXPECT_EQ(Cur(), "");
  EXPECT_FALSE(mTable.Next());
  mTable.SetFiltered(false);
  EXPECT_EQ(mTable.ViewCount(), 4u);
  EXPECT_EQ(Cur(), "Mailand");
}

TEST_F(DbfCursor, RefreshSeesRecordsAnotherWriterAppended) {
  Make({"a", "b"});
  mTable.Next();
  {
    TDbf other;
    other.SetFileName(mPath);
    other.Open();
    other.Append();
    other.SetAsString(0, "c");
    other.Post();
  }
  EXPECT_EQ(mTable.ViewCount(), 2u);
  mTable.Refresh();
  EXPECT_EQ(Cur(), "b");
  EXPECT_EQ(mTable.ViewCount(), 3u);
  mTable.Last();
  EXPECT_EQ(Cur(), "c");
}

TEST_F(DbfCursor, ClosedTableRefusesWorkButReportsNothingOpen) {
  TDbf t;
  EXPECT_FALSE(t.Active());
  EXPECT_THROW(t.First(), TDbfError);
  EXPECT_THROW(t.AsString(0), TDbfError);
  EXPECT_THROW(t.Append(), TDbfError);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(t.ViewCount(), 0u);
  EXPECT_THROW(t.Open(), TDbfError);  // no file name
}

TEST_F(DbfCursor, GoToRecordFindsARecordOfTheViewByItsNumber) {
  Make({"a", "-b", "c", "d"});
  mTable.SetOnFilterRecord([](const TDbf& t) { return t.AsString(0) != "d"; });
  mTable.SetFiltered(true);
  EXPECT_EQ(mTable.RecNoAt(0), 1u);
  EXPECT_EQ(mTable.RecNoAt(1), 3u);
  EXPECT_EQ(mTable.RecNoAt(2), 0u);  // d does not pass

  EXPECT_TRUE(mTable.GoToRecord(3));
  EXPECT_EQ(Cur(), "c");
  EXPECT_EQ(mTable.Position(), 1);
  // Deleted, filtered out or missing: the cursor stays.
  for (std::uint32_t recNo : {2u, 4u, 5u, 0u}) {
    EXPECT_FALSE(mTable.GoToRecord(recNo)) << recNo;
    EXPECT_EQ(Cur(), "c") << recNo;
  }
  // Going there posts a pending change first, as every move does.
  mTable.Edit();
  mTable.SetAsString(0, "C");
  EXPECT_TRUE(mTable.GoToRecord(1));
  EXPECT_EQ(mTable.State(), TDbfState::Browse);
  EXPECT_EQ(mTable.ValueAt(1, 0), "C");
}
