#include "editor/TNewsDesign.h"

namespace postello {

std::string TNewsDesign::DefaultFootText() {
  // "©" is 0xA9 in Windows-1252.
  return "\xA9 2026 Ihre Firma. Alle Rechte vorbehalten.";
}

TNewsDesign TNewsDesign::FromMailRec(const TMailRecFields& m) {
  TNewsDesign d;
  d.BackColor = m.NewsBackColor;
  d.HeadBackColor = m.NewsHeadBackColor;
  d.FootBackColor = m.NewsFootBackColor;
  d.BorderColor = m.NewsBorderColor;
  d.HeadFontName = m.NewsHeadFontName;
  d.HeadFontSize = m.NewsHeadFontSize;
  d.HeadFontColor = m.NewsHeadFontColor;
  d.HeadFontStyle = m.NewsHeadFontStyle;
  d.FootFontName = m.NewsFootFontName;
  d.FootFontSize = m.NewsFootFontSize;
  d.FootFontColor = m.NewsFootFontColor;
  d.FootFontStyle = m.NewsFootFontStyle;
  d.Width = m.NewsWidth;
  d.MinHeight = m.NewsMinHeight;
  d.HeadText = m.NewsHeadText;
  d.FootText = m.NewsFootText;
  return d;
}

void TNewsDesign::ToMailRec(TMailRecFields& m) const {
  m.NewsBackColor = BackColor;
  m.NewsHeadBackColor = HeadBackColor;
  m.NewsFootBackColor = FootBackColor;
  m.NewsBorderColor = BorderColor;
  m.NewsHeadFontName = HeadFontName;
  m.NewsHeadFontSize = HeadFontSize;
  m.NewsHeadFontColor = HeadFontColor;
  m.NewsHeadFontStyle = HeadFontStyle;
  m.NewsFootFontName = FootFontName;
  m.NewsFootFontSize = FootFontSize;
  m.NewsFootFontColor = FootFontColor;
  m.NewsFootFontStyle = FootFontStyle;
  m.NewsWidth = Width;
  m.NewsMinHeight = MinHeight;
  m.NewsHeadText = HeadText;
  m.NewsFootText = FootText;
}

} // namespace postello
