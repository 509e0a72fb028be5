#include "addressdb/TAddressRows.h"
#include "addressdb/TTextRows.h"
#include "core/Cp1252.h"

#include "addressdb/AddressRowsTestSupport.h"

#include <gtest/gtest.h>

using namespace postello;
using postello::testing::ReadAll;
using postello::testing::Rows;

namespace {

struct TextCase {
  const char* what;
  std::string bytes;
  TAddressRowsOptions options;
  Rows rows;
  char delimiter;
  TTextEncoding encoding;
};

std::string Utf16(const std::u16string& text, bool le) {
  std::string out = le ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t u : text) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += le ? lo : hi;
    out += le ? hi : lo;
  }
  return out;
}

} // namespace

TEST(TextRowsTest, ReadsRowsAsOfficeProgramsWriteThem) {
  const TTextEncoding cp = TTextEncoding::Windows1252;
  const TTextEncoding u8 = TTextEncoding::Utf8;
  const std::vector<TextCase> cases = {
      {"header-less semicolon list as before: pieces in order, empty lines skipped",
       "x1;Roth;Eva;Frau;Kunde\r\nx2\r\nx3;;;;a;b;c;d\r\n \r\n\r\na\rb\nc\n\nd\r\r\n\nf", {},
       {{"x1", "Roth", "Eva", "Frau", "Kunde"}, {"x2"}, {"x3", "", "", "", "a", "b", "c", "d"}, {" "}, {"a"}, {"b"},
        {"c"}, {"d"}, {"f"}}, ';', cp},
      {"quoting: delimiters, doubled quotes and line breaks inside quotes",
       "Name,Firma\r\n\"Schmidt, Gro\xDF & Partner\",\"Meier; S\xF6hne\"\r\n\"Zeile\r\nzwei\",\"sagt \"\"ja\"\"\"\r\n"
       "a\"b,\"c\"d,\"\"\r\n",
       {},
       {{"Name", "Firma"}, {"Schmidt, Gro\xDF & Partner", "Meier; S\xF6hne"}, {"Zeile\r\nzwei", "sagt \"ja\""},
        {"a\"b", "cd", ""}}, ',', cp},
      {"semicolons in every row win over commas inside names",
       "a@x.de;Schmidt, Gro\xDF\r\nb@x.de;Meier, Udo;2\r\nc@x.de;Roth, Eva;3\r\n", {},
       {{"a@x.de", "Schmidt, Gro\xDF"}, {"b@x.de", "Meier, Udo", "2"}, {"c@x.de", "Roth, Eva", "3"}}, ';', cp},
      {"tab and pipe", "a\tb|c\r\nd\te|f\r\n", {}, {{"a", "b|c"}, {"d", "e|f"}}, '\t', cp},
      {"pipe", "a|b\nc|d\n", {}, {{"a", "b"}, {"c", "d"}}, '|', cp},
      {"a chosen delimiter wins", "a;b,c\n", {0, ',', TTextEncoding::Detect}, {{"a;b", "c"}}, ',', cp},
      {"UTF-8 with byte order mark: euro kept, L with stroke unknown",
       "\xEF\xBB\xBFm\xC3\xBC@x.de;M\xC3\xBCller \xE2\x82\xAC \xC5\x81\r\n", {}, {{"m\xFC@x.de", "M\xFCller \x80 ?"}},
       ';', u8},
      {"UTF-8 without byte order mark", "b@x.de;Stra\xC3\x9F" "e\n", {}, {{"b@x.de", "Stra\xDF" "e"}}, ';', u8},
      {"one Windows-1252 byte makes it Windows-1252", "a;Stra\xC3\x9F" "e\nb;M\xFCller\n", {},
       {{"a", "Stra\xC3\x9F" "e"}, {"b", "M\xFCller"}}, ';', cp},
      {"0x1A ends the text", "a\r\nb;B\x1A" "c\r\nd\r\n", {}, {{"a"}, {"b", "B"}}, ';', cp},
      {"Excel Unicode-Text: UTF-16 LE, tabs",
       Utf16(u"E-Mail\tName\r\nm\u00FC@x.de\tGr\u00FC\u00DFe \u20AC \u0141 \U0001F600\r\n", true), {},
       {{"E-Mail", "Name"}, {"m\xFC@x.de", "Gr\xFC\xDF" "e \x80 ? ?"}}, '\t', TTextEncoding::Utf16Le},
      {"UTF-16 BE", Utf16(u"a;\u00E4\r\n", false), {}, {{"a", "\xE4"}}, ';', TTextEncoding::Utf16Be},
      {"UTF-16 LE chosen for a text without byte order mark", Utf16(u"a;\u00E4", true).substr(2),
       {0, 0, TTextEncoding::Utf16Le}, {{"a", "\xE4"}}, ';', TTextEncoding::Utf16Le},
      {"a chosen encoding wins", "a;\xC3\xA4\n", {0, 0, TTextEncoding::Windows1252}, {{"a", "\xC3\xA4"}}, ';', cp},
      {"unclosed quote runs to the end", "a;\"b\nc", {}, {{"a", "b\nc"}}, ';', cp},
  };
  for (const auto& c : cases) {
    auto source = AddressRowsFromBytes(c.bytes, "mem.csv", c.options);
    EXPECT_EQ(ReadAll(*source), c.rows) << c.what;
    EXPECT_EQ(source->Delimiter(), c.delimiter) << c.what;
    EXPECT_EQ(source->Encoding(), c.encoding) << c.what;
    EXPECT_EQ(source->FormatName(), "CSV-Text") << c.what;
  }
}

TEST(TextRowsTest, RowsTellTheirLineAcrossReadBoundaries) {
  // Rows of varying length, so that the read boundaries fall on every part
  // of a row: inside UTF-8 and UTF-16 characters, between CR and LF, on
  // doubled quotes.
  std::string text;
  Rows expected;
  std::vector<std::size_t> expectedLines;
  std::size_t line = 1;
  for (int i = 0; expected.size() < 20000; ++i) {
    const std::string pad(i % 23, 'p');
    text += pad + "\xC3\xA4;\"x\"\"\r\ny\";\xE2\x82\xAC\r\n\r\n";
    expected.push_back({pad + "\xE4", "x\"\r\ny", "\x80"});
    expectedLines.push_back(line);
    line += 3;
  }
  std::u16string wide;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    i += DecodeUtf8(text, i, cp);
    wide += static_cast<char16_t>(cp);
  }
  for (const std::string& bytes : {text, Utf16(wide, true)}) {
    auto source = AddressRowsFromBytes(bytes, "big.csv");
    std::vector<std::size_t> lines;
    EXPECT_EQ(ReadAll(*source, &lines), expected);
    EXPECT_EQ(lines, expectedLines);
  }
}

TEST(TextRowsTest, QuoteNeverClosedStopsWithTheLine) {
  std::string bytes = "a;b\r\nc;\"" + std::string(TTextRows::kMaxRowBytes, 'z');
  auto source = AddressRowsFromBytes(bytes, "lang.csv");
  std::vector<std::string> cells;
  EXPECT_TRUE(source->Next(cells));
  try {
    source->Next(cells);
    FAIL() << "read a row longer than the limit";
  } catch (const TAddressFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Zeile 2 ist l\xE4nger als 16 MB: dort wird wohl ein Anf\xFChrungszeichen nicht geschlossen "
              "(Datei \"lang.csv\")");
  }
}
