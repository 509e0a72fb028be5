// The plain text of a design mail framed as a newsletter, through the real
// generated frame.
#include "editor/DesignHtml.h"
#include "editor/HtmlToPlainText.h"

#include <gtest/gtest.h>

namespace postello {
// Weak, so this program still links while the design HTML generation is
// not part of the build; the test then skips.
__attribute__((weak)) std::vector<std::string> BuildDesignHtml(const TDesignDocument& doc, std::uint32_t backColor,
                                                                bool newsletter, const TNewsDesign& design);
} // namespace postello

using namespace postello;

TEST(FramedMailText, DefaultDesignAroundHallo) {
  if (&BuildDesignHtml == nullptr) GTEST_SKIP() << "BuildDesignHtml is not built yet";
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
