#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"
#include "addressdb/TxtImport.h"

#include "addressdb/DbfTestFiles.h"

#include <cerrno>

using namespace postello;
using postello::testing::ScratchDir;

namespace {

using Row = std::vector<std::string>;

class TxtImportTest : public ScratchDir {
protected:
  void SetUp() override {
    ScratchDir::SetUp();
    mPath = Path("adr.dbf");
    mTable.SetFileName(mPath);
    mTable.FieldDefs() = postello::testing::FieldDefsWithShortAddress(2);
    mTable.CreateTable();
    mTable.Open();
  }
  // Imports bytes through a file and returns the records as rows.
  std::vector<Row> Import(const std::string& bytes, std::size_t* appended = nullptr) {
    WriteBytes(Path("in.csv"), bytes);
    const std::size_t n = ImportTextFile(mTable, Path("in.csv"));
    if (appended) *appended = n;
    return Rows();
  }
  std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (mTable.First(); !mTable.Eof(); mTable.Next()) {
      Row r;
      for (int i = 0; i < mTable.FieldCount(); ++i) r.push_back(mTable.AsString(i));
      rows.push_back(r);
    }
    return rows;
  }

  std::string mPath;
  TDbf mTable;
};

} // namespace

TEST_F(TxtImportTest, PiecesFillTheFieldsInOrder) {
  std::size_t n = 0;
  const auto rows = Import(
      "x1;Roth;Eva;Frau;Kunde\r\n"
      "x2\r\n"
      "x3;;;;a;b;c;d\r\n"
      " \r\n"
      "\"x5\";\"Lang\"\r\n",
      &n);
  EXPECT_EQ(n, 5u);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (Row{"x1", "Roth", "Eva", "Frau", "Kunde", ""}));
  EXPECT_EQ(rows[1], (Row{"x2", "", "", "", "", ""}));
  EXPECT_EQ(rows[2], (Row{"x3", "", "", "", "a", "b"}));
  EXPECT_EQ(rows[3], (Row{"", "", "", "", "", ""}));  // one blank is a line
  EXPECT_EQ(rows[4], (Row{"\"x5\"", "\"Lang\"", "", "", "", ""}));
}

TEST_F(TxtImportTest, RecordsAreWrittenByteForByte) {
  Import("  lead@x.de ;Roth\r\n");
  const std::string bytes = ReadBytes(mPath);
  ASSERT_EQ(bytes.size(), 225u + 231u + 1u);
  EXPECT_EQ(bytes.substr(225, 81),
            " " + std::string("  lead@x.de ") + std::string(38, ' ') + "Roth" + std::string(26, ' '));
  EXPECT_EQ(bytes.back(), '\x1A');
  mTable.First();
  EXPECT_EQ(mTable.AsString(0), "  lead@x.de");
}

TEST_F(TxtImportTest, LongValueIsCutToTheFieldWidth) {
  const std::string longMail = std::string(60, 'm') + "@x.de";
  const auto rows = Import(longMail + ";N");
  EXPECT_EQ(rows.at(0)[0], longMail.substr(0, 50));
  EXPECT_EQ(rows.at(0)[1], "N");
}

TEST_F(TxtImportTest, EveryLineEndEndsALineAndEmptyLinesAddNothing) {
  std::size_t n = 0;
  const auto rows = Import("a\r\n\r\nb\rc\nd\n\ne\r\r\n\nf", &n);
  EXPECT_EQ(n, 6u);
  std::vector<std::string> first;
  for (const auto& r : rows) first.push_back(r[0]);
  EXPECT_EQ(first, (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
}

// Regression: a file with LF line ends came in as one record holding every
// line, LF bytes included, which then reached SMTP commands.
TEST_F(TxtImportTest, LinuxLineEndsGiveOneRecordPerLine) {
  std::size_t n = 0;
  const auto rows = Import("a@x.de;Roth\nb@x.de;Lang\nc@x.de;Kurz\n", &n);
  EXPECT_EQ(n, 3u);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][0], "c@x.de");
  EXPECT_EQ(rows[2][1], "Kurz");
  // From the first record on: the header's date may hold the byte 10.
  EXPECT_EQ(ReadBytes(mPath).find('\n', mTable.HeaderLength()), std::string::npos);
}

TEST_F(TxtImportTest, EndOfFileByteEndsTheImport) {
  std::size_t n = 0;
  const auto rows = Import("a\r\nb;B\x1A" "c\r\nd\r\n", &n);
  EXPECT_EQ(n, 2u);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][1], "B");
}

TEST_F(TxtImportTest, Utf8IsConvertedToWindows1252) {
  // With a byte order mark; the euro sign has a place in the code page, the
  // Polish L with stroke has none.
  auto rows = Import("\xEF\xBB\xBFm\xC3\xBC@x.de;M\xC3\xBCller \xE2\x82\xAC \xC5\x81\r\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "m\xFC@x.de");
  EXPECT_EQ(rows[0][1], "M\xFCller \x80 ?");
  // Without a byte order mark, recognised by its valid sequences.
  rows = Import("b@x.de;Stra\xC3\x9F" "e\n");
  EXPECT_EQ(rows.at(1)[1], "Stra\xDF" "e");
  // Windows-1252 stays as it is.
  rows = Import("c@x.de;M\xFCller;J\xF6rg\n");
  EXPECT_EQ(rows.at(2)[1], "M\xFCller");
  EXPECT_EQ(rows.at(2)[2], "J\xF6rg");
}

TEST_F(TxtImportTest, FilterDoesNotStopTheImport) {
  mTable.SetOnFilterRecord(MakeTextFilter([] { return std::string("roth"); }));
  mTable.SetFiltered(true);
  std::size_t n = 0;
  const auto rows = Import("a;Roth\nb;Lang\nc;Rothe\n", &n);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(mTable.RecordCount(), 3u);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][0], "c");
}

TEST_F(TxtImportTest, FileThatCannotBeOpenedLeavesTheTableAlone) {
  const std::string before = ReadBytes(mPath);
  try {
    ImportTextFile(mTable, Path("missing.csv"));
    FAIL() << "no error";
  } catch (const TImportOpenError& e) {
    EXPECT_STREQ(e.what(),
                 "Die Datei konnte nicht ge\xF6" "ffnet werden. Stellen Sie sicher, dass die "
                 "Datei nicht ge\xF6" "ffnet ist (z.B. im Excel)");
    EXPECT_EQ(e.FileName(), Path("missing.csv"));
    EXPECT_EQ(e.SystemError(), ENOENT);
    EXPECT_EQ(e.Reason(), "Die Datei oder der Ordner existiert nicht");
  }
  std::filesystem::create_directories(Path("folder.csv"));
  try {
    ImportTextFile(mTable, Path("folder.csv"));
    FAIL() << "a folder was imported";
  } catch (const TImportOpenError& e) {
    EXPECT_EQ(e.Reason(), "Das ist ein Ordner, keine Datei");
  }
  EXPECT_EQ(ReadBytes(mPath), before);
}

TEST_F(TxtImportTest, ImportIntoAClosedTableFailsAtTheFirstLine) {
  mTable.Close();
  WriteBytes(Path("in.csv"), "a\r\nb\r\n");
  EXPECT_THROW(ImportTextFile(mTable, Path("in.csv")), TDbfError);
  // An empty file needs no table.
  WriteBytes(Path("empty.csv"), "\r\n\r\n");
  EXPECT_EQ(ImportTextFile(mTable, Path("empty.csv")), 0u);
}

TEST_F(TxtImportTest, RefusedValueIsQuotedShortAndWithoutControlCharacters) {
  // A table of another program with a numeric second field: a piece of the
  // import file that is no number is refused, and the message must neither
  // carry the whole piece nor its control characters.
  mTable.Close();
  std::string bytes = ReadBytes(mPath);
  bytes[32 + 32 + 11] = 'N';
  WriteBytes(mPath, bytes);
  mTable.Open();
  const std::string piece = "\x1B]0:owned\x07" + std::string(150, 'z') + "\t" + std::string(300, 'y');
  WriteBytes(Path("in.csv"), "a@x.de;" + piece + "\r\n");
  try {
    ImportTextFile(mTable, Path("in.csv"));
    FAIL() << "imported a text into a numeric field";
  } catch (const TDbfError& e) {
    const std::string text = e.what();
    for (char c : text) EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << text;
    EXPECT_NE(text.find("?]0:owned?" + std::string(150, 'z') + "?" + std::string(39, 'y')), std::string::npos) << text;
    EXPECT_EQ(text.find(std::string(40, 'y')), std::string::npos) << text;
  }
}
