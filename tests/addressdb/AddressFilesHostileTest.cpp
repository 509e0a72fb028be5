// Files an address import must refuse with a German message naming the file,
// or read within bounds: damaged and foreign packages, zip bombs, sheets
// that repeat themselves to the limits, a million rows.
#include "addressdb/TAddressRows.h"
#include "addressdb/TSheetRows.h"

#include "addressdb/AddressRowsTestSupport.h"
#include "addressdb/DbfTestFiles.h"

#include <array>
#include <sys/resource.h>

using namespace postello;
using postello::testing::ReadAll;
using postello::testing::Rows;
using postello::testing::ScratchDir;

namespace {

class AddressFilesHostileTest : public ScratchDir {
protected:
  // A package of tests/data/addressdb/make_zip.py.
  std::string MakeZip(const std::string& kind, const std::string& arg = "") {
    const std::string out = Path(kind + ".zip");
    const std::string command = "/usr/bin/python3 '" + std::string(POSTELLO_TEST_DATA) +
                                "/addressdb/make_zip.py' '" + out + "' " + kind + " " + arg + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return out;
  }
  // what() of the error opening or reading the whole file gives, "" for none.
  static std::string Error(const std::string& file) {
    try {
      auto source = OpenAddressRows(file);
      std::vector<std::string> cells;
      while (source->Next(cells)) {
      }
    } catch (const TAddressFileError& e) {
      EXPECT_EQ(e.FileName(), file);
      return e.what();
    }
    return "";
  }
};

} // namespace

TEST_F(AddressFilesHostileTest, RefusedWithAMessageNamingTheFile) {
  const std::string sample = ReadBytes(std::string(POSTELLO_TEST_DATA) + "/addressdb/kunden_openpyxl.xlsx");
  std::string flipped = sample;
  const std::size_t sheet = sample.find("xl/worksheets/sheet1.xml") + 40;  // in its packed data
  for (std::size_t i = sheet; i < sheet + 32; ++i) flipped[i] = static_cast<char>(~flipped[i]);
  WriteBytes(Path("cut.xlsx"), sample.substr(0, sample.size() / 2));
  WriteBytes(Path("flipped.xlsx"), flipped);
  WriteBytes(Path("binary.csv"), std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10));
  WriteBytes(Path("old.xls"), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  const struct {
    std::string file;
    std::string message;  // the start of what()
  } cases[] = {
      {Path("missing.csv"), "Die Datei kann nicht ge\xF6" "ffnet werden: Die Datei oder der Ordner existiert nicht"},
      {Path("binary.csv"), "Die Datei ist weder Text noch eine Excel-, LibreOffice- oder vCard-Datei"},
      {Path("old.xls"), "Die Datei ist eine alte Excel- oder Office-Datei (.xls)"},
      {Path("cut.xlsx"), "Die Datei ist ein besch\xE4" "digtes Zip-Paket ("},
      {Path("flipped.xlsx"), "Die Datei ist ein besch\xE4" "digtes Zip-Paket ("},
      {MakeZip("docx"), "Die Datei ist ein Zip-Paket, aber keine Excel- oder LibreOffice-Tabelle"},
      {MakeZip("dtd"), "Die Datei ist ein besch\xE4" "digtes Zip-Paket (xl/worksheets/sheet1.xml enth\xE4lt eine DTD)"},
      {MakeZip("bomb"), "Die Datei entpackt sich zu mehr als 256 MB (xl/worksheets/sheet1.xml); sie ist zu gro\xDF "
                        "oder eine Zip-Bombe"},
      {MakeZip("bomb2"), "Die Datei entpackt sich zu mehr als 256 MB (xl/worksheets/sheet1.xml)"},
  };
  for (const auto& c : cases) {
    const std::string what = Error(c.file);
    EXPECT_EQ(what.substr(0, c.message.size()), c.message) << what;
    EXPECT_EQ(what.substr(std::min(what.size(), what.size() - c.file.size() - 11)), " (Datei \"" + c.file + "\")") << what;
  }
}

TEST_F(AddressFilesHostileTest, RowsKeepToTheSheetsBoundsAndOrder) {
  std::vector<std::string> first(1002);
  first.front() = "a";
  first.back() = "b";
  // The last row would repeat a billion times, its cell 99,999,999 times.
  const std::vector<std::string> last(TSheetRows::kMaxColumns, "z");
  const struct {
    std::string kind;
    Rows rows;
    std::vector<std::size_t> lines;
  } cases[] = {
      {"repeats",
       {first, {"2,5", "2,5"}, {"2,5", "2,5"}, {"2,5", "2,5"}, {"last"}, last},
       {1, 2, 3, 4, TSheetRows::kMaxRows - 1, TSheetRows::kMaxRows}},
      // A cell claiming an earlier column follows the one before; a row
      // claiming an earlier place is the next one.
      {"disorder", {{"", "", "1", "2"}, {"3"}, {"", "4"}, {"5"}}, {5, 6, 7, 8}},
  };
  for (const auto& c : cases) {
    auto source = OpenAddressRows(MakeZip(c.kind));
    std::vector<std::size_t> lines;
    EXPECT_EQ(ReadAll(*source, &lines), c.rows) << c.kind;
    EXPECT_EQ(lines, c.lines) << c.kind;
  }
}

TEST_F(AddressFilesHostileTest, MillionRowsAreStreamed) {
  const std::string file = MakeZip("rows", "1000000");
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  auto source = OpenAddressRows(file);
  std::vector<std::string> cells;
  std::size_t count = 0;
  bool allRight = true;
  while (source->Next(cells)) {
    ++count;
    allRight = allRight && cells.size() == 1 && source->Line() == count;
  }
  getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(count, 1000000u);
  EXPECT_TRUE(allRight);
  EXPECT_EQ(cells, std::vector<std::string>());
  // The sheet unpacks to 70 MB; reading it must not hold it.
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 20 * 1024) << "kB";
}
