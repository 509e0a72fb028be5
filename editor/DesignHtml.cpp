#include "editor/DesignHtml.h"

namespace postello {

namespace {

// A face with a blank must be quoted, or the recipient's mail program reads
// only its first word; one-word faces keep the unquoted form.
bool NeedsQuotes(const std::string& face) {
  for (const char c : face) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') return true;
  }
  return false;
}

// Font tag of the heading or footer band: quoted face, then colour, then size.
std::string BandFontTag(const std::string& face, std::uint32_t color, int size) {
  return "<font face=\"" + face + "\" color=#" + HtmlHex(color) + " size=" + FontSizeToHtml(size) + ">";
}

std::string StylesOn(std::uint8_t style) {
  std::string s;
  if (style & fsBold) s += "<b>";
  if (style & fsItalic) s += "<i>";
  if (style & fsUnderline) s += "<u>";
  return s;
}

std::string StylesOff(std::uint8_t style) {
  std::string s;
  if (style & fsBold) s += "</b>";
  if (style & fsItalic) s += "</i>";
  if (style & fsUnderline) s += "</u>";
  return s;
}

const char* AlignPrefix(TParaAlign align) {
  switch (align) {
  case paCenter: return "<div align=center>";
  case paRight: return "<div align=right>";
  default: return "<div align=left>";
  }
}

// One paragraph as one line. The "last written" state starts empty in every
// paragraph, so each paragraph opens with a complete font tag.
std::string ParagraphLine(const TParagraph& p) {
  std::string line = AlignPrefix(p.Align);
  if (p.Bullet) line += "<ul><li>";
  bool any = false;
  std::string lastFace, lastSize, lastColor;
  bool bold = false, underline = false, italic = false;
  for (const TTextRun& run : p.Runs) {
    if (run.Text.empty()) continue;
    const TCharFormat& f = run.Format;
    const std::string size = FontSizeToHtml(f.Size);
    const std::string color = HtmlHex(f.Color);
    if (!any || f.Face != lastFace || size != lastSize || color != lastColor) {
      line += "<font face=";
      if (NeedsQuotes(f.Face)) {
        line += '"' + f.Face + '"';
      } else {
        line += f.Face;
      }
      line += " size=" + size + " color=#" + color + ">";
      lastFace = f.Face;
      lastSize = size;
      lastColor = color;
    }
    if (f.Bold != bold) line += f.Bold ? "<b>" : "</b>";
    if (f.Underline != underline) line += f.Underline ? "<u>" : "</u>";
    if (f.Italic != italic) line += f.Italic ? "<i>" : "</i>";
    bold = f.Bold;
    underline = f.Underline;
    italic = f.Italic;
    any = true;
    line += run.Text;
  }
  if (!any) line += "<br>";
  if (bold) line += "</b>";
  if (underline) line += "</u>";
  if (italic) line += "</i>";
  if (p.Bullet) line += "</li></ul>";
  return line;
}

} // namespace

std::string FontSizeToHtml(int points) {
  if (points <= 8) return "1";
  if (points <= 10) return "2";
  if (points <= 12) return "3";
  if (points <= 14) return "4";
  if (points <= 18) return "5";
  if (points <= 24) return "6";
  return "7";
}

std::string HtmlHex(std::uint32_t color) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s(6, '0');
  for (int k = 0; k < 3; ++k) {
    const unsigned byte = (color >> (8 * k)) & 0xFF;
    s[2 * k] = digits[byte >> 4];
    s[2 * k + 1] = digits[byte & 0xF];
  }
  return s;
}

std::vector<std::string> BuildDesignHtml(const TDesignDocument& doc, std::uint32_t backColor, bool newsletter,
                                         const TNewsDesign& d) {
  static const std::string kBandEnd = "</td><td width=1></td></tr><tr></tr>";
  static const std::string kBandStart = "<tr><td width=1></td><td><table ";
  std::vector<std::string> lines;
  lines.reserve(doc.Paragraphs.size() + 10);
  if (newsletter) {
    lines.push_back("<html><body bgcolor=#" + HtmlHex(d.BackColor) + ">");
    lines.push_back("<table align=center width=" + std::to_string(d.Width) + " bgcolor=#" + HtmlHex(d.BorderColor) +
                    " cellpadding=0 cellspacing=0><tr></tr>");
    lines.push_back(kBandStart + "width=100% bgcolor=#" + HtmlHex(d.HeadBackColor) +
                    " cellpadding=4 cellspacing=0><tr><td>" + BandFontTag(d.HeadFontName, d.HeadFontColor, d.HeadFontSize) +
                    StylesOn(d.HeadFontStyle) + d.HeadText + StylesOff(d.HeadFontStyle) + "</td></tr></table>" + kBandEnd);
    lines.push_back(kBandStart + "Height=" + std::to_string(d.MinHeight) + " width=100% bgcolor=#" + HtmlHex(backColor) +
                    " cellpadding=4 cellspacing=0><tr><td valign=top >");
  } else {
    lines.push_back("<html><body bgcolor=#" + HtmlHex(backColor) + ">");
  }
  for (const TParagraph& p : doc.Paragraphs) lines.push_back(ParagraphLine(p));
  if (newsletter) {
    lines.emplace_back();
    lines.push_back("</td></tr></table>" + kBandEnd + kBandStart + "width=100% bgcolor=#" + HtmlHex(d.FootBackColor) +
                    " cellpadding=4 cellspacing=0><tr><td>");
    lines.push_back(BandFontTag(d.FootFontName, d.FootFontColor, d.FootFontSize));
    lines.push_back(StylesOn(d.FootFontStyle) + d.FootText + StylesOff(d.FootFontStyle) + "</td></tr></table>" + kBandEnd);
    lines.push_back("</table>");
  }
  lines.push_back("</body></html>");
  return lines;
}

} // namespace postello
