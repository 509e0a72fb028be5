// The preview: embedded parts' references point at their files, and the
// preview file is replaced safely.
#include "editor/PreviewHtml.h"

#include "core/SafeFile.h"
#include "../core/TestBytes.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace postello;

namespace {

using Lines = std::vector<std::string>;

const std::vector<TAttachRec> kRows = {
    {"/bilder/a.gif", "A.GIF"}, {"/bilder/anhang.pdf", ""}, {"/bilder/b.png", "B.PNG"}, {"/zweit/a.gif", "A.GIF"}};

struct PreviewCase {
  const char* name;
  std::string in;
  std::string out;

  friend void PrintTo(const PreviewCase& c, std::ostream* os) { *os << c.name; }
};

class PreviewHtmlCases : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewHtmlCases, Rewrites) {
  EXPECT_EQ(PreviewHtmlLines({GetParam().in}, kRows), Lines{GetParam().out});
}

INSTANTIATE_TEST_SUITE_P(
    References, PreviewHtmlCases,
    ::testing::Values(
        PreviewCase{"TwoOnOneLine", "<img src=\"cid:A.GIF\" border=0><img src=\"cid:B.PNG\">",
                    "<img src=\"/bilder/a.gif\" border=0><img src=\"/bilder/b.png\">"},
        PreviewCase{"AnyCase", "<IMG SRC=\"CID:b.png\"><img src=\"Cid:a.Gif\">",
                    "<IMG SRC=\"/bilder/b.png\"><img src=\"/bilder/a.gif\">"},
        PreviewCase{"UnmatchedNameLeavesEmptyQuotes", "<img src=\"cid:FEHLT.GIF\">x", "<img src=\"\">x"},
        PreviewCase{"NoClosingQuote", "<img src=\"cid:A.GIF", "<img src=\"/bilder/a.gif"},
        PreviewCase{"WithoutQuoteNotAReference", "<img src=cid:A.GIF>", "<img src=cid:A.GIF>"},
        PreviewCase{"EmptyNameMatchesNoPlainAttachment", "<img src=\"cid:\">", "<img src=\"\">"},
        PreviewCase{"TextOutsideTagsToo", "Siehe \"cid:A.GIF\"!", "Siehe \"/bilder/a.gif\"!"},
        PreviewCase{"NothingToDo", "<p>\"cid\" &amp; cid:A.GIF</p>", "<p>\"cid\" &amp; cid:A.GIF</p>"}),
    [](const ::testing::TestParamInfo<PreviewCase>& info) { return std::string(info.param.name); });

TEST(PreviewHtml, LinesKeepTheirNumberAndOrder) {
  const Lines in = {"<html>", "<img src=\"cid:A.GIF\">", "", "</html>"};
  EXPECT_EQ(PreviewHtmlLines(in, kRows), (Lines{"<html>", "<img src=\"/bilder/a.gif\">", "", "</html>"}));
  EXPECT_EQ(PreviewHtmlLines(in, {}), (Lines{"<html>", "<img src=\"\">", "", "</html>"}));
}

TEST(PreviewHtml, PathsThatWouldCutTheReferenceAreEncoded) {
  const std::vector<TAttachRec> rows = {{"/tmp/Bild #1 \"neu\" 100%?.gif", "X"},
                                        {"/tmp/B\xC3\xBCro.gif", "Y"}};
  EXPECT_EQ(PreviewHtmlLines({"<img src=\"cid:X\"><img src=\"cid:Y\">"}, rows),
            Lines{"<img src=\"/tmp/Bild%20%231%20%22neu%22%20100%25%3F.gif\"><img src=\"/tmp/B%C3%BCro.gif\">"});
  EXPECT_EQ(FilePathAsUrl("/a-b_c.d~e/f(1),g;h=i&j+k@l:m!n$o'p*q"), "/a-b_c.d~e/f(1),g;h=i&j+k@l:m!n$o'p*q");
}

TEST(PreviewHtml, FileIsInTheFolderOfTheStateFiles) {
  EXPECT_EQ(PreviewFilePath("/home/x/.local/share/Postello/"), "/home/x/.local/share/Postello/mail~.htm");
}

TEST(PreviewHtml, WritesLinesWithCrLfAndReplacesTheFile) {
  postello::test::TempDir dir;
  const std::string path = PreviewFilePath(dir.path());
  postello::test::WriteFile(path, "alt, und l\xE4nger als der neue Inhalt");
  WritePreviewFile(path, {"<html>", "", "Gr\xFC\xDF"});
  EXPECT_EQ(postello::test::ReadFile(path), "<html>\r\n\r\nGr\xFC\xDF\r\n");
  // No temporary file stays behind.
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1u);
}

TEST(PreviewHtml, FailureNamesTheFileAndTheReason) {
  postello::test::TempDir dir;
  const std::string path = dir.file("fehlt/mail~.htm");
  try {
    WritePreviewFile(path, {"x"});
    FAIL();
  } catch (const ESaveError& e) {
    EXPECT_STREQ(e.what(), ("Die Datei \"" + path + "\" konnte nicht gespeichert werden: No such file or directory").c_str());
  }
}

} // namespace
