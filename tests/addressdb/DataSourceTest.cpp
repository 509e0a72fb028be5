#include "addressdb/TDataSource.h"

#include "addressdb/AddressDb.h"
#include "addressdb/DbfTestFiles.h"

using namespace postello;
using postello::testing::ScratchDir;

namespace {

using Strings = std::vector<std::string>;

// A table of one field "V" (C 10), filtered by mFilter, seen through a data
// source.
class DataSource : public ScratchDir {
protected:
  void Make(std::initializer_list<const char*> values) {
    mPath = Path("d.dbf");
    mTable.SetFileName(mPath);
    mTable.FieldDefs() = {{"V", 'C', 10, 0}};
    mTable.CreateTable();
    mTable.Open();
    mTable.SetOnFilterRecord(MakeTextFilter([this] { return mFilter; }));
    mTable.SetFiltered(true);
    for (const char* v : values) {
      mTable.Append();
      mTable.SetAsString(0, v);
      mTable.Post();
    }
    mTable.First();
  }
  // What the grid shows, row by row.
  Strings Rows() {
    Strings rows;
    for (int r = 0; r < mSource.RowCount(); ++r) rows.push_back(mSource.Value(r, 0));
    return rows;
  }
  // What the file holds (live records), read by a second table.
  Strings Stored() {
    TDbf other;
    other.SetFileName(mPath);
    other.SetAutoCreate(false);
    other.Open();
    Strings values;
    for (other.First(); !other.Eof(); other.Next()) values.push_back(other.AsString(0));
    return values;
  }

  std::string mPath;
  std::string mFilter;
  TDbf mTable;
  TDataSource mSource{mTable};
};

} // namespace

TEST_F(DataSource, InsertIsAPendingLastRowThatOnlyPostWrites) {
  Make({"a", "b", "c"});
  mSource.GoToRow(1);
  const std::string before = ReadBytes(mPath);

  mSource.Insert();
  EXPECT_EQ(mSource.RowCount(), 4);
  EXPECT_EQ(mSource.CurrentRow(), 3);
  EXPECT_TRUE(mSource.IsPending(3));
  EXPECT_FALSE(mSource.IsPending(1));
  EXPECT_EQ(mSource.SetValue(3, 0, "neu"), false);
  EXPECT_EQ(Rows(), (Strings{"a", "b", "c", "neu"}));
  EXPECT_EQ(ReadBytes(mPath), before);  // not a byte written yet

  mSource.Post();
  EXPECT_FALSE(mSource.IsPending(3));
  EXPECT_EQ(mSource.CurrentRow(), 3);
  EXPECT_EQ(Stored(), (Strings{"a", "b", "c", "neu"}));
}

TEST_F(DataSource, CancelDropsAnInsertAndReturnsToTheRecordBefore) {
  Make({"a", "b", "c"});
  mSource.GoToRow(1);
  const std::string before = ReadBytes(mPath);
  mSource.Insert();
  mSource.SetValue(3, 0, "weg");
  mSource.Cancel();
  EXPECT_EQ(mSource.RowCount(), 3);
  EXPECT_EQ(mSource.CurrentRow(), 1);
  EXPECT_EQ(mTable.AsString(0), "b");
  EXPECT_EQ(Rows(), (Strings{"a", "b", "c"}));
  EXPECT_EQ(ReadBytes(mPath), before);
}

TEST_F(DataSource, CancelRestoresTheValuesOfAnEditedRecord) {
  Make({"a", "b", "c"});
  const std::string before = ReadBytes(mPath);
  mSource.SetValue(2, 0, "C2");
  EXPECT_EQ(mSource.CurrentRow(), 2);
  EXPECT_TRUE(mSource.IsPending(2));
  EXPECT_EQ(Rows(), (Strings{"a", "b", "C2"}));
  EXPECT_EQ(ReadBytes(mPath), before);

  mSource.Cancel();
  EXPECT_FALSE(mSource.IsPending(2));
  EXPECT_EQ(Rows(), (Strings{"a", "b", "c"}));
  EXPECT_EQ(ReadBytes(mPath), before);
  EXPECT_EQ(mSource.CurrentRow(), 2);
}

TEST_F(DataSource, EditingOnlyMakesARecordPendingWhenAValueChanges) {
  Make({"a", "b"});
  mSource.Edit();
  EXPECT_EQ(mTable.State(), TDbfState::Edit);
  EXPECT_FALSE(mSource.IsPending(0));
  mSource.SetValue(0, 0, "A");
  EXPECT_TRUE(mSource.IsPending(0));
}

TEST_F(DataSource, LeavingTheRowPostsAChangedRecordAndDropsAnUntouchedInsert) {
  Make({"a", "b", "c"});
  mSource.SetValue(0, 0, "A1");
  EXPECT_FALSE(mSource.GoToRow(2));
  EXPECT_EQ(mSource.CurrentRow(), 2);
  EXPECT_EQ(Stored(), (Strings{"A1", "b", "c"}));

  mSource.Insert();
  mSource.SetValue(3, 0, "d");
  EXPECT_FALSE(mSource.GoToRow(0));  // the insert row became a record row
  EXPECT_EQ(Stored(), (Strings{"A1", "b", "c", "d"}));
  EXPECT_EQ(mTable.AsString(0), "A1");

  const std::string before = ReadBytes(mPath);
  mSource.Insert();
  EXPECT_TRUE(mSource.GoToRow(1));  // the untouched insert row is gone
  EXPECT_EQ(mSource.RowCount(), 4);
  EXPECT_EQ(mTable.AsString(0), "b");
  EXPECT_EQ(ReadBytes(mPath), before);
}

TEST_F(DataSource, InsertingWhileEditingPostsTheEditFirst) {
  Make({"a", "b"});
  mSource.SetValue(1, 0, "B");
  mSource.Insert();
  EXPECT_EQ(Stored(), (Strings{"a", "B"}));
  EXPECT_EQ(mSource.CurrentRow(), 2);
}

TEST_F(DataSource, ChangingAnotherRowLeavesThePendingOneFirst) {
  Make({"a", "b", "c"});
  mSource.SetValue(0, 0, "A");
  mSource.SetValue(2, 0, "C");
  EXPECT_EQ(mSource.CurrentRow(), 2);
  EXPECT_EQ(Stored(), (Strings{"A", "b", "c"}));
  EXPECT_EQ(Rows(), (Strings{"A", "b", "C"}));
  EXPECT_THROW(mSource.SetValue(3, 0, "x"), std::out_of_range);
  EXPECT_THROW(mSource.SetValue(-1, 0, "x"), std::out_of_range);
}

TEST_F(DataSource, APostedRecordThatFailsTheFilterLeavesTheView) {
  Make({"mai", "maier", "mais", "mainz"});
  mFilter = "mai";
  ReapplyFilter(mTable);
  mSource.SetValue(1, 0, "huber");
  EXPECT_EQ(Rows(), (Strings{"mai", "huber", "mais", "mainz"}));  // pending: still shown
  mSource.Post();
  EXPECT_EQ(Rows(), (Strings{"mai", "mais", "mainz"}));
  EXPECT_EQ(mSource.CurrentRow(), 1);
  EXPECT_EQ(mTable.AsString(0), "mais");

  // The last row: its neighbour before it becomes current.
  mSource.SetValue(2, 0, "berg");
  mSource.Post();
  EXPECT_EQ(mSource.CurrentRow(), 1);
  EXPECT_EQ(mTable.AsString(0), "mais");

  // An insert the filter does not take.
  mSource.Insert();
  mSource.SetValue(2, 0, "zoo");
  mSource.Post();
  EXPECT_EQ(Rows(), (Strings{"mai", "mais"}));
  EXPECT_EQ(mSource.CurrentRow(), 1);
  // The file holds every record; only the view lost them.
  EXPECT_EQ(Stored(), (Strings{"mai", "huber", "mais", "berg", "zoo"}));
}

TEST_F(DataSource, LeavingARowThatFailsTheFilterNowGoesToTheRecordClicked) {
  Make({"mai1", "mai2", "mai3", "mai4"});
  mFilter = "mai";
  ReapplyFilter(mTable);
  mSource.SetValue(1, 0, "weg");
  // Row 3 is "mai4" as the grid shows it; posting "weg" shifts it to row 2.
  EXPECT_TRUE(mSource.GoToRow(3));
  EXPECT_EQ(mTable.AsString(0), "mai4");
  EXPECT_EQ(mSource.CurrentRow(), 2);
  EXPECT_EQ(Rows(), (Strings{"mai1", "mai3", "mai4"}));
}

TEST_F(DataSource, TheCurrentRowIsWhereverTheTableWasMoved) {
  Make({"a", "b", "c", "d", "e"});
  mTable.Last();
  EXPECT_EQ(mSource.CurrentRow(), 4);
  // A row already current is not left: the pending record stays pending.
  mSource.SetValue(4, 0, "E");
  EXPECT_FALSE(mSource.GoToRow(4));
  EXPECT_TRUE(mSource.IsPending(4));
  mSource.Cancel();
  mTable.MoveTo(2);
  EXPECT_FALSE(mSource.GoToRow(0));
  EXPECT_EQ(mTable.AsString(0), "a");
  mSource.Delete();
  EXPECT_EQ(Rows(), (Strings{"b", "c", "d", "e"}));
  EXPECT_EQ(mSource.CurrentRow(), 0);
}

TEST_F(DataSource, AnEmptyOrClosedTableHasNoRows) {
  Make({});
  EXPECT_EQ(mSource.RowCount(), 0);
  EXPECT_EQ(mSource.CurrentRow(), -1);
  mSource.Delete();  // nothing to delete, nothing thrown
  mSource.Insert();
  EXPECT_EQ(mSource.RowCount(), 1);
  EXPECT_EQ(mSource.CurrentRow(), 0);
  mSource.Cancel();
  EXPECT_EQ(mSource.RowCount(), 0);
  EXPECT_EQ(mSource.CurrentRow(), -1);
  mTable.Close();
  EXPECT_EQ(mSource.RowCount(), 0);
  EXPECT_EQ(mSource.Value(0, 0), "");
  EXPECT_FALSE(mSource.GoToRow(0));
}
