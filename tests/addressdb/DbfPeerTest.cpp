// Tables exchanged with other dBASE programs: Debian's python3-dbfread reads
// what TDbf writes, and python3-dbf writes tables TDbf must open.
#include "addressdb/AddressDb.h"
#include "addressdb/OemCodePage.h"
#include "addressdb/TDbf.h"

#include "addressdb/DbfTestFiles.h"

#include <array>
#include <cstdio>
#include <sstream>

using namespace postello;
using postello::testing::ScratchDir;

namespace {

class DbfPeer : public ScratchDir {
protected:
  // Runs a Python script with Debian's interpreter (which sees the python3-dbf
  // and python3-dbfread packages); returns its standard output. A failing
  // script fails the test with its output.
  std::string Python(const std::string& script, const std::string& arg) {
    const std::string file = Path("peer.py");
    WriteBytes(file, script);
    const std::string command = "PYTHONIOENCODING=utf-8 /usr/bin/python3 '" + file + "' '" + arg + "' 2>&1";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
      ADD_FAILURE() << "cannot start " << command;
      return out;
    }
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << out;
    return out;
  }
};

// Field list and records as dbfread sees them; text values as hex of their
// Windows-1252 bytes, so blanks and umlauts are compared exactly.
const char* kDbfreadDump = R"(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding='cp1252', char_decode_errors='strict')
for f in t.fields:
    print('F', f.name, f.type, f.length, f.decimal_count)
for r in t:
    print('R', ' '.join((v or '').encode('cp1252').hex() or '-' for v in r.values()))
raw = dbfread.DBF(sys.argv[1], raw=True)
for r in raw:
    print('W', ' '.join(v.hex() for v in r.values()))
print('D', len(list(t.deleted)))
)";

std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h.empty() ? "-" : h;
}

std::string Padded(const std::string& s, std::size_t width) {
  return Hex(s + std::string(width - s.size(), ' '));
}

} // namespace

TEST_F(DbfPeer, DbfreadReadsTheProgramsTableWithItsNamesWidthsAndValues) {
  TDbf t;
  t.SetFileName(Path("adr.dbf"));
  CreateAddressTable(t, 2);
  auto add = [&](std::initializer_list<std::string> values) {
    t.Append();
    int i = 0;
    for (const auto& v : values) t.SetAsString(i++, v);
    t.Post();
  };
  add({"eva@example.org", "Roth", "Eva", "Frau", "Kundin seit 2001", ""});
  add({"gone@example.org", "Weg"});
  t.Delete();
  add({"j\xF6rg@example.org", "M\xFCller", "  J\xF6rg", "Herr", std::string(60, 'i'), "\x80 5"});
  t.Close();

  const std::string out = Python(kDbfreadDump, Path("adr.dbf"));
  std::ostringstream want;
  want << "F EMAIL C 254 0\nF NAME C 30 0\nF VORNAME C 30 0\nF ANREDE C 20 0\n"
       << "F INFO 1 C 50 0\nF INFO 2 C 50 0\n";
  // dbfread drops the padding when decoding, as TDbf does.
  want << "R " << Hex("eva@example.org") << ' ' << Hex("Roth") << ' ' << Hex("Eva") << ' '
       << Hex("Frau") << ' ' << Hex("Kundin seit 2001") << " -\n";
  want << "R " << Hex("j\xF6rg@example.org") << ' ' << Hex("M\xFCller") << ' ' << Hex("  J\xF6rg")
       << ' ' << Hex("Herr") << ' ' << Hex(std::string(50, 'i')) << ' ' << Hex("\x80 5") << '\n';
  // The raw bytes keep the padding and the leading blanks.
  want << "W " << Padded("eva@example.org", 254) << ' ' << Padded("Roth", 30) << ' '
       << Padded("Eva", 30) << ' ' << Padded("Frau", 20) << ' ' << Padded("Kundin seit 2001", 50)
       << ' ' << Padded("", 50) << '\n';
  want << "W " << Padded("j\xF6rg@example.org", 254) << ' ' << Padded("M\xFCller", 30) << ' '
       << Padded("  J\xF6rg", 30) << ' ' << Padded("Herr", 20) << ' '
       << Hex(std::string(50, 'i')) << ' ' << Padded("\x80 5", 50) << '\n';
  want << "D 1\n";
  EXPECT_EQ(out, want.str());
}

namespace {

const char* kDbfWrite = R"(
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'name C(20); amount N(8,2); born D; active L',
              dbf_type='db3', codepage='cp1252')
t.open(mode=dbf.READ_WRITE)
t.append(('M\xfcller', 12.5, datetime.date(1990, 12, 24), True))
t.append(('Roth', -3, None, False))
t.append(('Lang', 0, datetime.date(2001, 1, 2), None))
t.close()
)";

const char* kDbfRead = R"(
import sys, dbf
t = dbf.Table(sys.argv[1])
t.open(mode=dbf.READ_ONLY)
for r in t:
    print('|'.join('' if v is None else str(v).strip() for v in r), '*' if dbf.is_deleted(r) else '')
t.close()
)";

} // namespace

TEST_F(DbfPeer, TableFromPythonDbfShowsNumbersDatesAndLogicalsAsText) {
  const std::string path = Path("p.dbf");
  Python(kDbfWrite, path);

  TDbf t;
  t.SetAutoCreate(false);
  t.SetFileName(path);
  t.Open();
  EXPECT_EQ(t.Version(), 0x03);
  ASSERT_EQ(t.FieldCount(), 4);
  EXPECT_EQ(t.Field(0).Name, "NAME");
  EXPECT_EQ(t.Field(1).Type, 'N');
  EXPECT_EQ(t.Field(1).Decimals, 2);
  EXPECT_EQ(t.Field(2).Type, 'D');
  EXPECT_EQ(t.Field(3).Type, 'L');
  std::vector<std::string> rows;
  for (t.First(); !t.Eof(); t.Next())
    rows.push_back(t.AsString(0) + "|" + t.AsString(1) + "|" + t.AsString(2) + "|" + t.AsString(3));
  EXPECT_EQ(rows, (std::vector<std::string>{"M\xFCller|12.50|24.12.1990|True",
                                            "Roth|-3.00||False", "Lang|0.00|02.01.2001|"}));

  // The filter searches the text forms.
  auto count = [&](const std::string& text) {
    t.SetOnFilterRecord(MakeTextFilter([text] { return text; }));
    t.SetFiltered(true);
    return t.ViewCount();
  };
  EXPECT_EQ(count("12.5"), 1u);
  EXPECT_EQ(count(".2001"), 1u);
  EXPECT_EQ(count("true"), 1u);
  EXPECT_EQ(count("false"), 1u);
  EXPECT_EQ(count("-3"), 1u);
  EXPECT_EQ(count(""), 3u);
  t.SetFiltered(false);

  // Character fields are edited in place; the other fields in their text form.
  t.MoveTo(1);
  t.Edit();
  t.SetAsString(0, "Roth-Lang");
  t.SetAsString(1, "7,25");
  t.SetAsString(2, "01.02.2003");
  t.SetAsString(3, "True");
  t.Post();
  t.Edit();
  EXPECT_THROW(t.SetAsString(1, "viel"), TDbfError);
  EXPECT_THROW(t.SetAsString(2, "2003-02-01"), TDbfError);
  EXPECT_THROW(t.SetAsString(1, "123456789"), TDbfError);
  t.Cancel();
  t.Append();
  t.SetAsString(0, "Neu");
  t.Post();
  t.MoveTo(0);
  t.Delete();
  t.Close();

  EXPECT_EQ(Python(kDbfRead, path),
            "M\xC3\xBCller|12.5|1990-12-24|True *\n"
            "Roth-Lang|7.25|2003-02-01|True \n"
            "Lang|0.0|2001-01-02| \n"
            "Neu||| \n");
}

namespace {

const char* kDbfWriteMemo = R"(
import sys, dbf
t = dbf.Table(sys.argv[1], 'name C(10); note M', dbf_type='db3')
t.open(mode=dbf.READ_WRITE)
t.append(('Eva', 'a long note'))
t.append(('Jan', ''))
t.close()
)";

const char* kDbfReadMemo = R"(
import sys, dbf
t = dbf.Table(sys.argv[1])
t.open(mode=dbf.READ_ONLY)
for r in t:
    print(r.name.strip() + '|' + (r.note or '').strip())
t.close()
)";

} // namespace

TEST_F(DbfPeer, DBaseIIIWithMemoOpensForWritingItsCharacterFields) {
  const std::string path = Path("m.dbf");
  Python(kDbfWriteMemo, path);
  const std::string memoBefore = ReadBytes(Path("m.dbt"));

  TDbf t;
  t.SetAutoCreate(false);
  t.SetFileName(path);
  t.Open();
  EXPECT_EQ(t.Version(), 0x83);
  EXPECT_FALSE(t.ReadOnly());
  ASSERT_EQ(t.FieldCount(), 2);
  EXPECT_EQ(t.Field(1).Type, 'M');
  EXPECT_EQ(t.AsString(0), "Eva");
  EXPECT_EQ(t.AsString(1), "");  // the memo text lives in the .dbt file
  t.Edit();
  EXPECT_THROW(t.SetAsString(1, "x"), TDbfError);
  t.SetAsString(0, "Eva Roth");
  t.Post();
  t.Append();
  t.SetAsString(0, "Ida");
  t.Post();
  t.Close();
  EXPECT_EQ(static_cast<std::uint8_t>(ReadBytes(path)[0]), 0x83);
  EXPECT_EQ(ReadBytes(Path("m.dbt")), memoBefore);
  EXPECT_EQ(Python(kDbfReadMemo, path), "Eva Roth|a long note\nJan|\nIda|\n");
}

namespace {

const char* kOemTables = R"(
import sys
high = bytes(range(128, 256))
for cp in ('cp437', 'cp850'):
    print(high.decode(cp).encode('cp1252', errors='replace').hex())
)";

const char* kDbfWriteOem = R"(
import sys, dbf
for cp in ('cp437', 'cp850'):
    t = dbf.Table(sys.argv[1] + '-' + cp + '.dbf', 'name C(20)', dbf_type='db3', codepage=cp)
    t.open(mode=dbf.READ_WRITE)
    t.append(({'cp437': 'M\xfcller \xa3 \xdf', 'cp850': 'M\xfcller \xd8 \xdf'}[cp],))
    t.close()
)";

const char* kDbfReadOem = R"(
import sys, dbf
for cp in ('cp437', 'cp850'):
    t = dbf.Table(sys.argv[1] + '-' + cp + '.dbf')
    t.open(mode=dbf.READ_ONLY)
    print(cp, '|'.join(r.name.rstrip() for r in t))
    t.close()
)";

} // namespace

TEST_F(DbfPeer, DosCodePagesMatchPythonsCodecs) {
  std::string high;
  for (int b = 128; b < 256; ++b) high += static_cast<char>(b);
  EXPECT_EQ(Python(kOemTables, ""),
            Hex(OemToCp1252(high, 437)) + "\n" + Hex(OemToCp1252(high, 850)) + "\n");
}

TEST_F(DbfPeer, TextOfDosTablesIsConvertedBothWays) {
  const std::string base = Path("oem");
  Python(kDbfWriteOem, base);
  for (const char* cp : {"cp437", "cp850"}) {
    TDbf t;
    t.SetAutoCreate(false);
    t.SetFileName(base + "-" + cp + ".dbf");
    t.Open();
    const bool is850 = std::string(cp) == "cp850";
    EXPECT_EQ(t.CodePage(), is850 ? 850 : 437);
    EXPECT_EQ(t.AsString(0), is850 ? "M\xFCller \xD8 \xDF" : "M\xFCller \xA3 \xDF");
    t.Append();
    t.SetAsString(0, "J\xFCrgen \xD8 \x80");  // no euro sign in either, no \xD8 in 437
    t.Post();
    t.Close();
  }
  EXPECT_EQ(Python(kDbfReadOem, base),
            "cp437 M\xC3\xBCller \xC2\xA3 \xC3\x9F|J\xC3\xBCrgen ? ?\n"
            "cp850 M\xC3\xBCller \xC3\x98 \xC3\x9F|J\xC3\xBCrgen \xC3\x98 ?\n");
}
