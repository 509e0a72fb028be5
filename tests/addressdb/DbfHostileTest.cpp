#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"

#include "addressdb/DbfTestFiles.h"

#include <random>

using namespace postello;
using postello::testing::ScratchDir;

namespace {

// Damaged and hostile tables: each must be refused with TDbfError (naming
// the file) or opened within its real bytes; nothing may crash.
class DbfHostile : public ScratchDir {
protected:
  // The program's six-field table with three records, as bytes.
  std::string Valid() {
    const std::string path = Path("valid.dbf");
    TDbf t;
    t.SetFileName(path);
    t.FieldDefs() = postello::testing::FieldDefsWithShortAddress(2);
    t.CreateTable();
    t.Open();
    for (const char* m : {"a@x.de", "b@x.de", "c@x.de"}) {
      t.Append();
      t.SetAsString(0, m);
      t.SetAsString(5, "info");
      t.Post();
    }
    t.Close();
    return ReadBytes(path);
  }
  // Opens bytes written to a file; returns the error text, or "" on success
  // after reading every field of every record.
  std::string TryOpen(const std::string& bytes, std::int64_t* offset = nullptr) {
    const std::string path = Path("h.dbf");
    WriteBytes(path, bytes);
    TDbf t;
    t.SetAutoCreate(false);
    t.SetFileName(path);
    try {
      t.Open();
      for (t.First(); !t.Eof(); t.Next())
        for (int i = 0; i < t.FieldCount(); ++i) t.AsString(i);
      t.Close();
    } catch (const TDbfError& e) {
      if (offset) *offset = e.Offset();
      EXPECT_EQ(e.FileName(), path);
      EXPECT_FALSE(t.Active());
      return e.what();
    }
    return "";
  }
  // The detail a refusal of h.dbf ends with.
  std::string At(std::int64_t offset) { return " (Datei \"" + Path("h.dbf") + "\", Byte " + std::to_string(offset) + ")"; }
  static void Set16(std::string& b, std::size_t at, unsigned v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
  }
};

} // namespace

TEST_F(DbfHostile, FilesThatAreNoTableAreRefused) {
  EXPECT_EQ(TryOpen(""), "Die Datei ist leer und keine dBASE-Tabelle (Datei \"" + Path("h.dbf") + "\")");
  std::string b = Valid();
  std::int64_t offset = 99;
  const std::pair<int, const char*> versions[] = {{0x00, "0x00"}, {0x02, "0x02"}, {0x04, "0x04"},
                                                 {0x30, "0x30"}, {0xF5, "0xF5"}, {0x8C, "0x8C"}, {0x48, "0x48"}};
  for (const auto& [version, hex] : versions) {
    b[0] = static_cast<char>(version);
    EXPECT_EQ(TryOpen(b, &offset), "Die Datei ist keine dBASE-III/IV-Tabelle (Versionsbyte " + std::string(hex) + ")" + At(0));
    EXPECT_EQ(offset, 0);
  }
  EXPECT_EQ(TryOpen(std::string("\x03\x7e\x01\x01", 4)), "Die Datei endet im Kopf der Tabelle" + At(4));
  EXPECT_NE(TryOpen("Name;Vorname\r\nRoth;Eva\r\n"), "");
}

TEST_F(DbfHostile, ZeroHeaderOrRecordLengthAbortsTheOpen) {
  const std::string good = Valid();
  for (std::size_t at : {8u, 10u}) {
    std::string b = good;
    Set16(b, at, 0);
    WriteBytes(Path("z.dbf"), b);
    TDbf t;
    t.SetFileName(Path("z.dbf"));
    EXPECT_THROW(t.Open(), TDbfAbort) << at;
    EXPECT_FALSE(t.Active());
  }
}

TEST_F(DbfHostile, HeaderAndRecordLengthsMustFitTheDescriptors) {
  const std::string good = Valid();
  std::int64_t offset = -1;

  std::string b = good;
  Set16(b, 8, 65535);  // header longer than the file
  EXPECT_EQ(TryOpen(b, &offset), "Die Datei ist " + std::to_string(good.size()) +
                                     " Bytes lang, ihr Kopf gibt aber 65535 Bytes an" + At(static_cast<std::int64_t>(good.size())));
  EXPECT_EQ(offset, static_cast<std::int64_t>(good.size()));

  b = good;
  Set16(b, 8, 20);
  EXPECT_EQ(TryOpen(b), "Die Kopfl\xE4nge 20 der Tabelle ist zu klein" + At(8));

  b = good;
  Set16(b, 8, 224);  // cuts off the 0x0D
  EXPECT_EQ(TryOpen(b, &offset),
            "Die Kopfl\xE4nge 224 passt nicht zu den Feldbeschreibungen (keine Endmarke 0x0D)" + At(224));
  EXPECT_EQ(offset, 224);

  b = good;
  b[224] = ' ';  // the end mark is missing
  EXPECT_NE(TryOpen(b).find("keine Endmarke"), std::string::npos);

  b = good;
  Set16(b, 8, 97);  // room for two descriptors only
  EXPECT_NE(TryOpen(b, &offset).find("passt nicht zu den Feldbeschreibungen"), std::string::npos);
  EXPECT_EQ(offset, 96);

  b = good;
  Set16(b, 10, 300);
  EXPECT_EQ(TryOpen(b), "Die Datensatzl\xE4nge 300 passt nicht zu den Feldern, die 231 Bytes brauchen" + At(10));

  b = good;
  Set16(b, 10, 100);
  EXPECT_EQ(TryOpen(b, &offset),
            "Das Feld VORNAME (Beginn 81, Breite 30) reicht \xFC" "ber die Datensatzl\xE4nge 100 hinaus" + At(32 + 2 * 32 + 16));
  EXPECT_EQ(offset, 32 + 2 * 32 + 16);

  b = good;
  b[32 + 16] = static_cast<char>(250);  // EMAIL 250 wide pushes the rest out
  EXPECT_NE(TryOpen(b).find("reicht \xFC" "ber die Datensatzl\xE4nge"), std::string::npos);

  b = good;
  b[32 + 16] = 0;
  EXPECT_EQ(TryOpen(b, &offset), "Das Feld EMAIL hat die Breite 0" + At(48));
  EXPECT_EQ(offset, 48);
}

TEST_F(DbfHostile, AbsurdCountsComeFromTheFileLengthNotTheHeader) {
  std::string b = Valid();
  for (std::size_t i = 4; i < 8; ++i) b[i] = '\xFF';
  const std::string path = Path("count.dbf");
  WriteBytes(path, b);
  TDbf t;
  t.SetFileName(path);
  t.Open();
  EXPECT_EQ(t.RecordCount(), 3u);
  EXPECT_EQ(ReadBytes(path), b);  // corrected in memory; the close writes it
  t.Close();
  EXPECT_EQ(U32(ReadBytes(path), 4), 3u);

  // Half a record at the end is no record.
  b = ReadBytes(path);
  b.pop_back();
  b += std::string(" half a record", 14);
  WriteBytes(path, b);
  t.Open();
  EXPECT_EQ(t.RecordCount(), 3u);
  t.Last();
  EXPECT_EQ(t.AsString(0), "c@x.de");
}

TEST_F(DbfHostile, FileCutShortWhileOpenIsReportedNotReadPastItsEnd) {
  const std::string path = Path("cut.dbf");
  TDbf t;
  t.SetFileName(path);
  t.FieldDefs() = {{"A", 'C', 254, 0}, {"B", 'C', 254, 0}, {"C", 'C', 254, 0}, {"D", 'C', 254, 0}};
  t.CreateTable();
  t.Open();
  for (int i = 0; i < 100; ++i) {
    t.Append();
    t.SetAsString(0, std::to_string(i));
    t.Post();
  }
  t.Close();
  t.Open();
  std::filesystem::resize_file(path, 161 + 20 * 1017);
  try {
    t.MoveTo(90);
    FAIL() << "reading past the end went unnoticed";
  } catch (const TDbfError& e) {
    EXPECT_EQ(std::string(e.what()).find("Die Datei endet in Datensatz "), 0u) << e.what();
    EXPECT_GE(e.Offset(), 161);
  }
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 20u);
  t.Last();
  EXPECT_EQ(t.AsString(0), "19");
}

TEST_F(DbfHostile, RandomDamageIsRefusedOrReadWithinTheFile) {
  const std::string good = Valid();
  std::mt19937 rng(20261209);
  int refused = 0, opened = 0;
  // Every prefix of the file.
  for (std::size_t n = 0; n < good.size(); ++n)
    (TryOpen(good.substr(0, n)).empty() ? opened : refused)++;
  EXPECT_GT(refused, 200);
  // Random bytes over header and descriptors, some lengths forced small.
  for (int round = 0; round < 800; ++round) {
    std::string b = good;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < flips; ++k) {
      const std::size_t at = rng() % 226;
      b[at] = static_cast<char>(rng());
    }
    if (round % 3 == 0) b[0] = 0x03;
    (TryOpen(b).empty() ? opened : refused)++;
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
}

TEST_F(DbfHostile, ADirectoryIsNoTable) {
  std::filesystem::create_directories(Path("dir.dbf"));
  TDbf t;
  t.SetFileName(Path("dir.dbf"));
  EXPECT_THROW(t.Open(), TDbfError);
  EXPECT_FALSE(t.Active());
}
