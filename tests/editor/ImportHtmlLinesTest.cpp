// The HTML import: which picture references become embedded parts, how the
// tag is rewritten, and that nothing else of the file changes.
#include "editor/ImportHtmlLines.h"

#include "../core/TestBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace postello;

namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::pair<std::string, std::string>>;

// Files that exist for the import, without touching the disk.
const std::set<std::string> kFiles = {"/h/bilder/logo.gif", "/h/a.gif", "/h/b.png", "/abs/c.jpg",
                                      "/h/b\xC3\xA4r.gif", "/h/Zwei W\xC3\xB6rter.png"};

bool InFiles(const std::string& path) { return kFiles.count(path) > 0; }

Rows RowsOf(const THtmlImport& r) {
  Rows rows;
  for (const TAttachRec& a : r.Rows) rows.emplace_back(a.FileName, a.ContentId);
  return rows;
}

struct ImportCase {
  const char* name;
  Lines in;
  Lines out;
  Rows rows;

  friend void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }
};

class ImportHtmlLinesCases : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportHtmlLinesCases, RewritesAndCollects) {
  const ImportCase& c = GetParam();
  const THtmlImport r = ImportHtmlLines(c.in, "/h/", InFiles);
  EXPECT_EQ(r.Lines, c.out);
  EXPECT_EQ(RowsOf(r), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ImportHtmlLinesCases,
    ::testing::Values(
        ImportCase{"PictureInSubfolder",
                   {"<img src=\"bilder/logo.gif\">"},
                   {"<img src=\"cid:LOGO.GIF\">"},
                   {{"/h/bilder/logo.gif", "LOGO.GIF"}}},
        ImportCase{"UpperCaseTagAndRestKept",
                   {"x<IMG SRC=\"a.gif\" border=0 alt=\"A\">y"},
                   {"x<IMG SRC=\"cid:A.GIF\" border=0 alt=\"A\">y"},
                   {{"/h/a.gif", "A.GIF"}}},
        ImportCase{"SrcAfterOtherAttributes",
                   {"<img width=3 src=\"b.png\">"},
                   {"<img width=3 src=\"cid:B.PNG\">"},
                   {{"/h/b.png", "B.PNG"}}},
        ImportCase{"AbsoluteReference",
                   {"<img src=\"/abs/c.jpg\">"},
                   {"<img src=\"cid:C.JPG\">"},
                   {{"/abs/c.jpg", "C.JPG"}}},
        ImportCase{"SingleQuotesNotRewritten", {"<img src='a.gif'>"}, {"<img src='a.gif'>"}, {}},
        ImportCase{"UnquotedNotRewritten", {"<img src=a.gif>"}, {"<img src=a.gif>"}, {}},
        ImportCase{"SpacesAroundEqualsNotRewritten", {"<img src = \"a.gif\">"}, {"<img src = \"a.gif\">"}, {}},
        ImportCase{"SpaceBeforeEqualsNotRewritten", {"<img src =\"a.gif\">"}, {"<img src =\"a.gif\">"}, {}},
        ImportCase{"SpaceAfterEqualsNotRewritten", {"<img src= \"a.gif\">"}, {"<img src= \"a.gif\">"}, {}},
        ImportCase{"MissingFileNotRewritten",
                   {"<img src=\"http://example.org/a.gif\">"},
                   {"<img src=\"http://example.org/a.gif\">"},
                   {}},
        ImportCase{"OtherTagsNotRewritten",
                   {"<a href=\"a.gif\"><image src=\"a.gif\"><imgsrc=\"a.gif\"><input src=\"a.gif\">"},
                   {"<a href=\"a.gif\"><image src=\"a.gif\"><imgsrc=\"a.gif\"><input src=\"a.gif\">"},
                   {}},
        ImportCase{"PictureTwiceGivesTwoRows",
                   {"<img src=\"a.gif\"><img src=\"a.gif\">"},
                   {"<img src=\"cid:A.GIF\"><img src=\"cid:A.GIF\">"},
                   {{"/h/a.gif", "A.GIF"}, {"/h/a.gif", "A.GIF"}}},
        ImportCase{"FirstSrcCountsEvenInsideLongerName",
                   {"<img datasrc=\"a.gif\" src=\"b.png\">"},
                   {"<img datasrc=\"cid:A.GIF\" src=\"b.png\">"},
                   {{"/h/a.gif", "A.GIF"}}},
        // Quotes mean nothing to the import: the first ">" ends the tag,
        // and the src after it is text.
        ImportCase{"GreaterThanInsideQuotesEndsTheTag",
                   {"<img alt=\"1>2\" src=\"a.gif\">"},
                   {"<img alt=\"1>2\" src=\"a.gif\">"},
                   {}},
        ImportCase{"ReferenceWithoutClosingQuoteGetsOne",
                   {"<img src=\"a.gif>x"},
                   {"<img src=\"cid:A.GIF\">x"},
                   {{"/h/a.gif", "A.GIF"}}},
        ImportCase{"UmlautNamesOnlyAToZUpperCased",
                   {"<img src=\"b\xE4r.gif\">"},
                   {"<img src=\"cid:B\xE4R.GIF\">"},
                   {{"/h/b\xC3\xA4r.gif", "B\xE4R.GIF"}}},
        ImportCase{"BlankInName",
                   {"<img src=\"Zwei W\xF6rter.png\">"},
                   {"<img src=\"cid:ZWEI W\xF6RTER.PNG\">"},
                   {{"/h/Zwei W\xC3\xB6rter.png", "ZWEI W\xF6RTER.PNG"}}},
        ImportCase{"TagOverTwoLinesKeepsItsLineBreak",
                   {"<p><img", "src=\"a.gif\" border=0>x"},
                   {"<p><img", "src=\"cid:A.GIF\" border=0>x"},
                   {{"/h/a.gif", "A.GIF"}}},
        ImportCase{"TagOverThreeLines",
                   {"a<img src=\"b.png\"", "", " alt=\"B\">c"},
                   {"a<img src=\"cid:B.PNG\"", "", " alt=\"B\">c"},
                   {{"/h/b.png", "B.PNG"}}},
        ImportCase{"ReferenceBrokenOverLinesStays",
                   {"<img src=\"a", ".gif\">"},
                   {"<img src=\"a", ".gif\">"},
                   {}},
        ImportCase{"UnfinishedLastTagKept",
                   {"text", "<img src=\"a.gif\""},
                   {"text", "<img src=\"a.gif\""},
                   {}},
        ImportCase{"UnfinishedTagOverLinesKept", {"a<b", "", "c"}, {"a<b", "", "c"}, {}},
        ImportCase{"LoneOpeningBracketAtEndKept", {"x<"}, {"x<"}, {}},
        ImportCase{"EmptyFile", {}, {}, {}}),
    [](const ::testing::TestParamInfo<ImportCase>& info) { return std::string(info.param.name); });

TEST(ImportHtmlLines, FileWithoutPicturesComesBackByteForByte) {
  const Lines in = {"<!DOCTYPE html>",
                    "<html><head><title>T &amp; \xE4</title>",
                    "<style>p > a { color: red }</style></head>",
                    "<body><p class=\"x\">Text <b>fett</b><br/>",
                    "<a",
                    "  href=\"x.htm\">Link</a>",
                    "",
                    "<img src=\"fehlt.gif\"></body></html>"};
  const THtmlImport r = ImportHtmlLines(in, "/h/", InFiles);
  EXPECT_EQ(r.Lines, in);
  EXPECT_TRUE(r.Rows.empty());
}

TEST(ImportHtmlLines, ExistenceIsAskedForTheResolvedPath) {
  std::vector<std::string> asked;
  const auto exists = [&](const std::string& p) {
    asked.push_back(p);
    return false;
  };
  ImportHtmlLines({"<img src=\"x/y.gif\"><img src=\"/z.gif\"><img src=\"\xFC.gif\">"}, "/ordner/", exists);
  EXPECT_EQ(asked, (Lines{"/ordner/x/y.gif", "/z.gif", "/ordner/\xC3\xBC.gif"}));
  asked.clear();
  ImportHtmlLines({"<img src=\"y.gif\">"}, "", exists);
  EXPECT_EQ(asked, Lines{"y.gif"});
}

TEST(ImportHtmlLines, ProgressPerLineInPercent) {
  std::vector<int> seen;
  const auto progress = [&](int p) { seen.push_back(p); };
  ImportHtmlLines({"a", "b", "c"}, "/h/", InFiles, progress);
  EXPECT_EQ(seen, (std::vector<int>{0, 50, 100}));
  seen.clear();
  ImportHtmlLines({"a", "b", "c", "d"}, "/h/", InFiles, progress);
  EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));
  seen.clear();
  // A single line leaves the bar where it is.
  const THtmlImport one = ImportHtmlLines({"<img src=\"a.gif\">"}, "/h/", InFiles, progress);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(one.Lines, Lines{"<img src=\"cid:A.GIF\">"});
}

TEST(ImportHtmlLines, ContentIdIsTheUpperCasedNameWithoutFolder) {
  EXPECT_EQ(EmbeddedContentId("/x/y/Logo.gif"), "LOGO.GIF");
  EXPECT_EQ(EmbeddedContentId("Bild.Jpeg"), "BILD.JPEG");
  EXPECT_EQ(EmbeddedContentId("/x/\xC3\xA4rger-\xC3\x9F.png"), "\xE4RGER-\xDF.PNG");
}

TEST(ImportHtmlLines, ReferenceResolution) {
  EXPECT_EQ(ResolveHtmlReference("/h/", "a/b.gif"), "/h/a/b.gif");
  EXPECT_EQ(ResolveHtmlReference("/h/", "/c.gif"), "/c.gif");
  EXPECT_EQ(ResolveHtmlReference("/h/", "../c.gif"), "/h/../c.gif");
  EXPECT_EQ(ResolveHtmlReference("", "c.gif"), "c.gif");
}

TEST(ImportHtmlLines, ExistenceOnDiskMeansARegularFile) {
  postello::test::TempDir dir;
  postello::test::WriteFile(dir.file("bild.gif"), "GIF89a");
  std::filesystem::create_directory(dir.file("ordner"));
  EXPECT_TRUE(FileExistsOnDisk(dir.file("bild.gif")));
  EXPECT_FALSE(FileExistsOnDisk(dir.file("fehlt.gif")));
  EXPECT_FALSE(FileExistsOnDisk(dir.file("ordner")));
  // src="" names the folder itself: no picture.
  const THtmlImport r = ImportHtmlLines({"<img src=\"\"><img src=\"bild.gif\">"}, dir.path());
  EXPECT_EQ(r.Lines, Lines{"<img src=\"\"><img src=\"cid:BILD.GIF\">"});
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Rows[0].FileName, dir.file("bild.gif"));
}

} // namespace
