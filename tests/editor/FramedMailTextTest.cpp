// The plain text of design mails, through the real generated HTML.
#include "editor/DesignHtml.h"
#include "editor/HtmlToPlainText.h"

#include <gtest/gtest.h>

using namespace postello;

namespace {

TParagraph Paragraph(const std::string& text, bool bullet = false) {
  TParagraph p;
  p.Bullet = bullet;
  if (!text.empty()) p.Runs.push_back({TCharFormat{}, text});
  return p;
}

} // namespace

TEST(FramedMailText, DefaultDesignAroundHallo) {
  TDesignDocument doc;
  doc.Paragraphs.push_back(Paragraph("Hallo"));
  const TNewsDesign design;
  const std::vector<std::string> text = HtmlToPlainText(BuildDesignHtml(doc, 0xFFFFFF, true, design));
  // Heading; one empty line for the content cell ("valign=top " passes as
  // a paragraph) and the paragraph's div; the paragraph; the footer.
  EXPECT_EQ(text, (std::vector<std::string>{design.HeadText, "", "Hallo", design.FootText}));
}

// Empty paragraphs give one empty line, bullets keep their mark, no line
// keeps trailing blanks.
TEST(FramedMailText, ParagraphsAndBullets) {
  TDesignDocument doc;
  for (const TParagraph& p : {Paragraph("Hallo"), Paragraph(""), Paragraph(""), Paragraph("Erster Punkt", true),
                              Paragraph("Zweiter Punkt", true), Paragraph(""), Paragraph("Gr\xFC\xDF" "e")})
    doc.Paragraphs.push_back(p);
  EXPECT_EQ(HtmlToPlainText(BuildDesignHtml(doc, 0xFFFFFF, false, TNewsDesign{})),
            (std::vector<std::string>{"", "Hallo", "", "- Erster Punkt", "- Zweiter Punkt", "", "Gr\xFC\xDF" "e"}));
}
