// The plain text of a design mail framed as a newsletter, through the real
// generated frame.
#include "editor/DesignHtml.h"
#include "editor/HtmlToPlainText.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(FramedMailText, DefaultDesignAroundHallo) {
  TDesignDocument doc;
  TParagraph p;
  p.Runs.push_back({TCharFormat{}, "Hallo"});
  doc.Paragraphs.push_back(p);
  const TNewsDesign design;
  const std::vector<std::string> text = HtmlToPlainText(BuildDesignHtml(doc, 0xFFFFFF, true, design));
  // Heading; the empty lines of the content cell ("valign=top " passes as
  // a paragraph) and of the paragraph's div; the paragraph with a blank per
  // line end after it; the footer.
  EXPECT_EQ(text, (std::vector<std::string>{design.HeadText, "", "", "Hallo  ", design.FootText}));
}
