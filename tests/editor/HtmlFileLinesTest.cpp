// Reading HTML files: line splitting, and the conversion of UTF-8 files
// into the Windows-1252 text the editor keeps.
#include "editor/HtmlFileLines.h"

#include "../core/TestBytes.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace postello;

namespace {

using Lines = std::vector<std::string>;

Lines Split(const std::string& bytes) {
  std::istringstream in(bytes);
  return ReadLines(in);
}

THtmlFileLines Html(const std::string& bytes) {
  std::istringstream in(bytes);
  return ReadHtmlLines(in);
}

struct SplitCase {
  const char* name;
  std::string bytes;
  Lines lines;

  friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
};

class ReadLinesCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ReadLinesCases, Splits) { EXPECT_EQ(Split(GetParam().bytes), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(
    Breaks, ReadLinesCases,
    ::testing::Values(SplitCase{"Empty", "", {}}, SplitCase{"OneLineNoBreak", "abc", {"abc"}},
                      SplitCase{"FinalBreakAddsNoLine", "a\r\nb\r\n", {"a", "b"}},
                      SplitCase{"AllKinds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
                      SplitCase{"OnlyABreak", "\n", {""}}, SplitCase{"EmptyLineBeforeEnd", "a\n\n", {"a", ""}},
                      SplitCase{"LoneCrThenCrLf", "\r\r\n", {"", ""}}, SplitCase{"LfCr", "a\n\rb", {"a", "", "b"}},
                      SplitCase{"NulBytesKept", std::string("a\0b\n", 4), {std::string("a\0b", 3)}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(ReadLines, CrLfSplitBetweenTwoPiecesIsOneBreak) {
  // The file is read in pieces of 64 KiB; put the CR at the last byte of
  // the first piece and at the first byte of the second.
  for (const std::size_t before : {65535u, 65536u, 65534u}) {
    const std::string first(before, 'x');
    const Lines lines = Split(first + "\r\ny\r\n");
    ASSERT_EQ(lines.size(), 2u) << before;
    EXPECT_EQ(lines[0], first);
    EXPECT_EQ(lines[1], "y");
  }
  const Lines lone = Split(std::string(65535, 'x') + "\r" + "y");
  ASSERT_EQ(lone.size(), 2u);
  EXPECT_EQ(lone[1], "y");
}

TEST(ReadLines, ManyPieces) {
  std::string bytes;
  Lines expected;
  for (int i = 0; i < 50000; ++i) {
    expected.push_back("Zeile " + std::to_string(i));
    bytes += expected.back() + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
  }
  EXPECT_EQ(Split(bytes), expected);
}

struct CharsetCase {
  const char* name;
  std::string bytes;
  Lines lines;
  bool converted;

  friend void PrintTo(const CharsetCase& c, std::ostream* os) { *os << c.name; }
};

class ReadHtmlLinesCases : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(ReadHtmlLinesCases, Converts) {
  const THtmlFileLines r = Html(GetParam().bytes);
  EXPECT_EQ(r.Lines, GetParam().lines);
  EXPECT_EQ(r.ConvertedFromUtf8, GetParam().converted);
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, ReadHtmlLinesCases,
    ::testing::Values(
        CharsetCase{"AsciiStays", "<p>Hallo</p>\r\n", {"<p>Hallo</p>"}, false},
        CharsetCase{"Windows1252Stays", "<p>Gr\xFC\xDF \x80</p>", {"<p>Gr\xFC\xDF \x80</p>"}, false},
        CharsetCase{"Utf8WithBom", "\xEF\xBB\xBF<p>Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC</p>", {"<p>Gr\xFC\xDF \x80</p>"},
                    true},
        CharsetCase{"BomOnAsciiFile", "\xEF\xBB\xBF<p>a</p>\r\nb", {"<p>a</p>", "b"}, true},
        CharsetCase{"Utf8WithoutBom", "<p>\xC3\xA4</p>\n<p>\xE2\x80\x9Ez\xE2\x80\x9C</p>",
                    {"<p>\xE4</p>", "<p>\x84z\x93</p>"}, true},
        CharsetCase{"CharactersWithoutWindows1252FormBecomeReferences",
                    "\xE2\x86\x92 \xF0\x9F\x98\x80 \xE4\xB8\xAD \xC5\x81", {"&#8594; &#128512; &#20013; &#321;"}, true},
        CharsetCase{"MetaDeclarationOnAsciiFileIsRewritten", "<meta charset=\"utf-8\"><p>a</p>",
                    {"<meta charset=\"windows-1252\"><p>a</p>"}, true},
        CharsetCase{"MetaContentTypeOverTwoLines",
                    "<META http-equiv=\"Content-Type\"\r\n content=\"text/html; charset=UTF-8\">\r\n\xC3\xA9",
                    {"<META http-equiv=\"Content-Type\"", " content=\"text/html; charset=windows-1252\">", "\xE9"},
                    true},
        CharsetCase{"MetaUtf8WithoutHyphen", "<meta charset=utf8>", {"<meta charset=windows-1252>"}, true},
        // Declared UTF-8 but written as Windows-1252: the stray bytes stay
        // the characters they are.
        CharsetCase{"DeclaredButInvalidBytesKept", "<meta charset=utf-8>\n\xE4 \xC3\xA4 \xC3", {"<meta charset=windows-1252>", "\xE4 \xE4 \xC3"},
                    true},
        CharsetCase{"CharsetOutsideMetaIsText", "<p>charset=utf-8</p>\xE4", {"<p>charset=utf-8</p>\xE4"}, false},
        CharsetCase{"OtherDeclaredCharsetStays", "<meta charset=iso-8859-1>\xE4", {"<meta charset=iso-8859-1>\xE4"},
                    false},
        CharsetCase{"ValidLineThenInvalidLineIsNotUtf8", "\xC3\xA4\n\xE4", {"\xC3\xA4", "\xE4"}, false},
        CharsetCase{"OverlongFormIsNotUtf8", "\xC0\xAF", {"\xC0\xAF"}, false},
        CharsetCase{"SurrogateIsNotUtf8", "\xED\xA0\x80", {"\xED\xA0\x80"}, false}),
    [](const ::testing::TestParamInfo<CharsetCase>& info) { return std::string(info.param.name); });

TEST(ReadHtmlFile, ReadsAFile) {
  postello::test::TempDir dir;
  postello::test::WriteFile(dir.file("a.htm"), "\xEF\xBB\xBF<p>\xC3\xBC</p>\r\n<p>2</p>\r\n");
  const THtmlFileLines r = ReadHtmlFile(dir.file("a.htm"));
  EXPECT_EQ(r.Lines, (Lines{"<p>\xFC</p>", "<p>2</p>"}));
  EXPECT_TRUE(r.ConvertedFromUtf8);
  EXPECT_EQ(ReadCp1252File(dir.file("a.htm")), (Lines{"\xEF\xBB\xBF<p>\xC3\xBC</p>", "<p>2</p>"}));
}

TEST(ReadHtmlFile, UnreadableFileNamesFileAndReason) {
  postello::test::TempDir dir;
  for (const std::string& path : {dir.file("fehlt.htm"), dir.path()}) {
    try {
      ReadHtmlFile(path);
      FAIL() << path;
    } catch (const std::runtime_error& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find("Die Datei \"" + path + "\" konnte nicht gelesen werden: "), std::string::npos) << m;
    }
    EXPECT_THROW(ReadCp1252File(path), std::runtime_error);
  }
}

} // namespace
