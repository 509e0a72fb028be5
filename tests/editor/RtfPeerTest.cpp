// unrtf, an independent RTF reader, reads what we write with the same text
// and formatting.
#include "editor/RtfWriter.h"

#include "DesignDocText.h"
#include "../core/TestBytes.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace postello;
using namespace postello::test;

namespace {

// unrtf's HTML for our RTF of doc, with line ends removed (unrtf breaks
// lines where it likes).
std::string UnrtfHtml(const TDesignDocument& doc) {
  TempDir dir;
  WriteFile(dir.file("in.rtf"), WriteRtf(doc));
  const std::string cmd = "unrtf --html " + dir.file("in.rtf") + " >" + dir.file("out.html") + " 2>/dev/null";
  const int rc = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << "unrtf failed; is the package unrtf installed?";
  std::string html = ReadFile(dir.file("out.html"));
  std::string flat;
  for (const char c : html) {
    if (c != '\n' && c != '\r') flat += c;
  }
  return flat;
}

} // namespace

TEST(RtfPeer, UnrtfSeesTextAndFormatting) {
  TDesignDocument doc;
  doc.Paragraphs = {
      Para({Txt("Gr\xFC\xDF" "e an "), Txt("fett", Fmt("Arial", 10, 0, "b")), Txt(" und "),
            Txt("kursiv", Fmt("Arial", 10, 0, "i")), Txt(" und "), Txt("unterstrichen", Fmt("Arial", 10, 0, "u")),
            Txt(" und "), Txt("rot", Fmt("Arial", 10, 0x0000FF)), Txt(" [%Name] 12 \x80")}),
      Para({Txt("Mitte", Fmt("Times New Roman", 14))}, paCenter),
      Para({Txt("rechts")}, paRight),
      Para({Txt("Punkt")}, paLeft, true),
      Para({Txt("{Klammern} \\ Backslash")}),
  };
  const std::string html = UnrtfHtml(doc);
  for (const std::string expected :
       {"Gr&uuml;&szlig;e an ", "<b>fett</b>", "<i>kursiv</i>", "<u>unterstrichen</u>",
        "<font color=\"#ff0000\">rot</font>", "[%Name] 12 &euro;", "<font face=\"Times New Roman\">",
        "<font size=\"4\"><center>Mitte", "<div align=\"right\">rechts", "&bull;", "Punkt",
        "{Klammern} \\ Backslash"}) {
    EXPECT_NE(html.find(expected), std::string::npos) << expected << "\n" << html;
  }
  // The bullet comes before its paragraph's text, and only once.
  EXPECT_LT(html.find("&bull;"), html.find("Punkt"));
  EXPECT_EQ(html.find("&bull;", html.find("&bull;") + 1), std::string::npos);
}
