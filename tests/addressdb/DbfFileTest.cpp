#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"

#include "addressdb/DbfTestFiles.h"

#include <ctime>

using namespace postello;
using postello::testing::ScratchDir;

namespace {

struct TToday {
  int Year, Month, Day;
};

TToday Today() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return {t.tm_year, t.tm_mon + 1, t.tm_mday};
}

void ExpectDateToday(const std::string& bytes) {
  const TToday d = Today();
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[1]), d.Year);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[2]), d.Month);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[3]), d.Day);
}

class DbfFile : public ScratchDir {
protected:
  // The program's table with two info fields, created and closed.
  std::string CreateSixFields(const std::string& name = "a.dbf") {
    const std::string path = Path(name);
    TDbf t;
    t.SetFileName(path);
    t.FieldDefs() = postello::testing::FieldDefsWithShortAddress(2);
    t.CreateTable();
    return path;
  }
  static void AppendRecord(TDbf& t, std::initializer_list<const char*> values) {
    t.Append();
    int i = 0;
    for (const char* v : values) t.SetAsString(i++, v);
    t.Post();
  }
};

} // namespace

TEST_F(DbfFile, NewTableOfSixFieldsIsHeaderDescriptorsEndMarkAndEofByte) {
  const std::string bytes = ReadBytes(CreateSixFields());
  ASSERT_EQ(bytes.size(), 226u);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[0]), 0x03);
  ExpectDateToday(bytes);
  EXPECT_EQ(U32(bytes, 4), 0u);
  EXPECT_EQ(U16(bytes, 8), 225u);
  EXPECT_EQ(U16(bytes, 10), 231u);
  EXPECT_EQ(bytes.substr(12, 17), std::string(17, '\0'));  // reserved and index flag
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[29]), 0x61);
  EXPECT_EQ(bytes.substr(30, 2), std::string(2, '\0'));

  const char* names[] = {"EMAIL", "NAME", "VORNAME", "ANREDE", "INFO 1", "INFO 2"};
  const int widths[] = {50, 30, 30, 20, 50, 50};
  for (int i = 0; i < 6; ++i) {
    const std::string d = bytes.substr(32 + 32 * static_cast<std::size_t>(i), 32);
    std::string name = names[i];
    name.resize(11, '\0');
    EXPECT_EQ(d.substr(0, 11), name) << i;
    EXPECT_EQ(d[11], 'C');
    EXPECT_EQ(d.substr(12, 4), std::string(4, '\0'));
    EXPECT_EQ(static_cast<std::uint8_t>(d[16]), widths[i]);
    EXPECT_EQ(d.substr(17, 15), std::string(15, '\0'));
  }
  EXPECT_EQ(bytes[224], '\x0D');
  EXPECT_EQ(bytes[225], '\x1A');
}

TEST_F(DbfFile, CreatingUpperCasesTheDefinitionsAndCutsLongNamesToTen) {
  TDbf t;
  t.SetFileName(Path("n.dbf"));
  t.FieldDefs() = {{"Strasse_und_Nr", 'C', 40, 0}, {"gr\xFC\xDF" "e", 'C', 5, 0}};
  t.CreateTable();
  EXPECT_EQ(t.FieldDefs()[0].Name, "STRASSE_UND_NR");
  EXPECT_EQ(t.FieldDefs()[1].Name, "GR\xDC\xDF" "E");  // ß has no capital
  const std::string bytes = ReadBytes(Path("n.dbf"));
  EXPECT_EQ(bytes.substr(32, 11), std::string("STRASSE_UN\0", 11));
  t.Open();
  EXPECT_EQ(t.Field(0).Name, "STRASSE_UN");
  EXPECT_EQ(t.FindField("strasse_un"), 0);
  EXPECT_EQ(t.FindField("gr\xDC\xDF" "e"), 1);
  EXPECT_EQ(t.FindField("gr\xFC\xDF" "e"), -1);  // only a to z fold
}

TEST_F(DbfFile, CreatingRefusesFieldsTheFormatCannotHold) {
  TDbf t;
  t.SetFileName(Path("bad.dbf"));
  t.FieldDefs() = {{"A", 'C', 0, 0}};
  EXPECT_THROW(t.CreateTable(), std::invalid_argument);
  t.FieldDefs() = {{"A", 'C', 255, 0}};
  EXPECT_THROW(t.CreateTable(), std::invalid_argument);
  t.FieldDefs() = {{"", 'C', 10, 0}};
  EXPECT_THROW(t.CreateTable(), std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(Path("bad.dbf")));
}

TEST_F(DbfFile, CreatingInAMissingFolderFailsAndLeavesNoFile) {
  TDbf t;
  t.SetFileName(Path("no/such/dir/x.dbf"));
  t.FieldDefs() = AddressFieldDefs(0);
  EXPECT_THROW(t.CreateTable(), TDbfError);
}

TEST_F(DbfFile, TwoAppendedRecordsMakeTheFile688BytesWithCountTwo) {
  const std::string path = CreateSixFields();
  TDbf t;
  t.SetFileName(path);
  t.Open();
  AppendRecord(t, {"eva@example.org", "Roth", "Eva", "Frau", "Kundin"});
  // Written at once, before the table is closed.
  std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 225u + 231u + 1u);
  EXPECT_EQ(U32(bytes, 4), 1u);
  AppendRecord(t, {"x@y.de"});
  bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 688u);
  EXPECT_EQ(U32(bytes, 4), 2u);
  ExpectDateToday(bytes);
  EXPECT_EQ(bytes[687], '\x1A');

  std::string first = " ";
  auto field = [](const std::string& v, std::size_t w) { return v + std::string(w - v.size(), ' '); };
  first += field("eva@example.org", 50) + field("Roth", 30) + field("Eva", 30) + field("Frau", 20) +
           field("Kundin", 50) + field("", 50);
  EXPECT_EQ(bytes.substr(225, 231), first);
  EXPECT_EQ(bytes.substr(456, 231), " " + field("x@y.de", 50) + std::string(180, ' '));
  t.Close();
  EXPECT_EQ(ReadBytes(path).size(), 688u);
}

TEST_F(DbfFile, LongTextIsCutAndLeadingBlanksSurviveReading) {
  const std::string path = CreateSixFields();
  TDbf t;
  t.SetFileName(path);
  t.Open();
  const std::string forty = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
  AppendRecord(t, {"", forty.c_str(), "  Anna   "});
  EXPECT_EQ(t.AsString(1), forty.substr(0, 30));
  EXPECT_EQ(t.AsString(2), "  Anna");
  t.Close();
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes.substr(225 + 51, 30), forty.substr(0, 30));
  EXPECT_EQ(bytes.substr(225 + 81, 30), "  Anna" + std::string(24, ' '));
  t.Open();
  EXPECT_EQ(t.AsString(1), forty.substr(0, 30));
  EXPECT_EQ(t.AsString(2), "  Anna");
}

TEST_F(DbfFile, CountInHeaderIsCorrectedFromTheFileLength) {
  const std::string path = CreateSixFields();
  {
    TDbf t;
    t.SetFileName(path);
    t.Open();
    for (int i = 0; i < 7; ++i) AppendRecord(t, {("r" + std::to_string(i)).c_str()});
  }
  std::string bytes = ReadBytes(path);
  ASSERT_EQ(U32(bytes, 4), 7u);
  bytes[4] = 5;
  bytes[1] = 99;  // an old date: correcting the count alone keeps it
  WriteBytes(path, bytes);

  TDbf t;
  t.SetAutoCreate(false);
  t.SetFileName(path);
  t.Open();
  EXPECT_EQ(t.RecordCount(), 7u);
  // Corrected in memory; opening alone writes nothing.
  EXPECT_EQ(ReadBytes(path), bytes);
  EXPECT_EQ(t.ViewCount(), 7u);
  t.Last();
  EXPECT_EQ(t.AsString(0), "r6");
  t.Close();
  bytes = ReadBytes(path);
  EXPECT_EQ(U32(bytes, 4), 7u);
  ExpectDateToday(bytes);
}

TEST_F(DbfFile, WrongCountReachesTheFileWithTheFirstChange) {
  const std::string path = CreateSixFields();
  {
    TDbf t;
    t.SetFileName(path);
    t.Open();
    for (int i = 0; i < 3; ++i) AppendRecord(t, {("r" + std::to_string(i)).c_str()});
  }
  std::string bytes = ReadBytes(path);
  bytes[4] = 1;
  WriteBytes(path, bytes);
  TDbf t;
  t.SetFileName(path);
  t.Open();
  t.Edit();
  t.SetAsString(1, "Neu");
  t.Post();
  bytes = ReadBytes(path);
  EXPECT_EQ(U32(bytes, 4), 3u);
  EXPECT_EQ(bytes.substr(225 + 51, 3), "Neu");
}

TEST_F(DbfFile, TableOpenedForReadingOnlyWritesNothingEvenAtClose) {
  const std::string path = CreateSixFields();
  {
    TDbf t;
    t.SetFileName(path);
    t.Open();
    for (int i = 0; i < 4; ++i) AppendRecord(t, {("r" + std::to_string(i)).c_str()});
  }
  std::string bytes = ReadBytes(path);
  bytes[4] = 2;   // wrong count
  bytes[1] = 99;  // old date
  bytes.pop_back();  // no end-of-file byte
  WriteBytes(path, bytes);
  {
    TDbf t;
    t.SetFileName(path);
    t.SetReadOnly(true);
    t.Open();
    EXPECT_TRUE(t.ReadOnly());
    EXPECT_EQ(t.RecordCount(), 4u);
    t.Last();
    EXPECT_EQ(t.AsString(0), "r3");
    EXPECT_THROW(t.Edit(), TDbfError);
    EXPECT_THROW(t.Append(), TDbfError);
    EXPECT_THROW(t.Delete(), TDbfError);
    t.Refresh();
    t.Close();
    t.Open();
  }
  EXPECT_EQ(ReadBytes(path), bytes);
  // Reading only never creates a missing file either.
  TDbf t;
  t.SetFileName(Path("fehlt.dbf"));
  t.SetReadOnly(true);
  EXPECT_THROW(t.Open(), TDbfError);
  EXPECT_FALSE(std::filesystem::exists(Path("fehlt.dbf")));
}

TEST_F(DbfFile, CloseStampsTodayAndRestoresTheEofByteEvenWithoutChanges) {
  const std::string path = CreateSixFields();
  std::string bytes = ReadBytes(path);
  bytes[1] = 80;
  bytes[2] = 1;
  bytes[3] = 2;
  bytes.pop_back();  // no end-of-file byte
  WriteBytes(path, bytes);
  {
    TDbf t;
    t.SetFileName(path);
    t.Open();
    EXPECT_EQ(ReadBytes(path)[1], 80);  // opening alone changes nothing
  }
  bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 226u);
  ExpectDateToday(bytes);
  EXPECT_EQ(bytes[225], '\x1A');
}

TEST_F(DbfFile, NewTableTakesTheLanguageByteOfTheTableOpenBefore) {
  const std::string path = CreateSixFields();
  std::string bytes = ReadBytes(path);
  bytes[29] = 0x57;
  WriteBytes(path, bytes);
  TDbf t;
  t.SetFileName(path);
  t.Open();
  EXPECT_EQ(t.LanguageId(), 0x57);
  t.Close();
  t.SetFileName(Path("b.dbf"));
  t.CreateTable();  // with the fields of a.dbf, as the definitions still hold them
  bytes = ReadBytes(Path("b.dbf"));
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[29]), 0x57);
  EXPECT_EQ(bytes.size(), 226u);

  // A table whose byte is 0 leaves the choice to the default.
  bytes[29] = 0;
  WriteBytes(Path("c.dbf"), bytes);
  TDbf u;
  u.SetFileName(Path("c.dbf"));
  u.Open();
  u.Close();
  u.SetFileName(Path("d.dbf"));
  u.CreateTable();
  EXPECT_EQ(static_cast<std::uint8_t>(ReadBytes(Path("d.dbf"))[29]), 0x61);
}

TEST_F(DbfFile, OpeningAMissingFileCreatesItWithTheFieldsHeldFromBefore) {
  TDbf t;
  t.SetFileName(Path("none.dbf"));
  t.Open();  // nothing held yet: a table without fields
  EXPECT_EQ(t.FieldCount(), 0);
  t.Close();
  // The end-of-file byte of a table without fields must not turn into a
  // record on the next open (and grow the file on every close).
  for (int i = 0; i < 3; ++i) {
    t.Open();
    EXPECT_EQ(t.RecordCount(), 0u);
    EXPECT_TRUE(t.IsEmpty());
    t.Close();
  }
  EXPECT_EQ(ReadBytes(Path("none.dbf")).size(), 34u);

  const std::string path = CreateSixFields();
  t.SetFileName(path);
  t.Open();
  t.Close();
  t.SetFileName(Path("adressen.dbf2"));
  t.Open();
  EXPECT_EQ(t.FieldCount(), 6);
  EXPECT_EQ(t.Field(5).Name, "INFO 2");
  EXPECT_EQ(ReadBytes(Path("adressen.dbf2")), ReadBytes(path));
}

TEST_F(DbfFile, TableWithAProductionIndexIsOpenedForReadingOnly) {
  const std::string path = CreateSixFields();
  {
    TDbf t;
    t.SetFileName(path);
    t.Open();
    AppendRecord(t, {"a@x.de"});
  }
  std::string bytes = ReadBytes(path);
  bytes[28] = 1;
  bytes[1] = 90;
  bytes[4] = 0;  // even the wrong count is left alone
  WriteBytes(path, bytes);
  TDbf t;
  t.SetFileName(path);
  t.Open();
  EXPECT_TRUE(t.ReadOnly());
  EXPECT_EQ(t.AsString(0), "a@x.de");
  EXPECT_THROW(t.Edit(), TDbfError);
  EXPECT_THROW(t.Append(), TDbfError);
  EXPECT_THROW(t.Delete(), TDbfError);
  t.Close();
  EXPECT_EQ(ReadBytes(path), bytes);
}
