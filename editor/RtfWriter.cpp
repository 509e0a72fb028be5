#include "editor/RtfWriter.h"

#include <map>
#include <utility>

namespace postello {

namespace {

const char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char c) {
  out += "\\'";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

// A font name inside the font table: the semicolon ends the name there, so
// it goes out as a hex escape like every byte the 7-bit file cannot carry.
std::string EscapeFontName(const std::string& face) {
  std::string out;
  for (const char ch : face) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20) continue;
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += ch;
    } else if (c == ';' || c >= 0x7F) {
      AppendHexByte(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

// Builds the body while tracking the character state a reader has at each
// point, so that a control word is written only where the state changes.
class TRtfBody {
public:
  TRtfBody(std::map<std::string, int>& fonts, std::map<std::uint32_t, int>& colors, int bulletFont)
      : FFonts(fonts), FColors(colors), FBulletFont(bulletFont) {}

  void Paragraph(const TParagraph& p) {
    Control("\\pard");
    if (p.Align == paCenter) Control("\\qc");
    if (p.Align == paRight) Control("\\qr");
    if (p.Bullet) {
      // The rich edit control's own bullet form: the bullet as text for
      // readers without lists, then the list properties.
      const std::string f = std::to_string(FBulletFont);
      FOut += "{\\pntext\\f" + f + "\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + f + "\\pnindent0{\\pntxtb\\'b7}}";
      Control("\\fi-360\\li360");
    }
    for (const TTextRun& run : p.Runs) {
      if (run.Text.empty()) continue;
      Format(run.Format);
      for (const char ch : run.Text) Char(ch);
    }
    Control("\\par");
    FOut += "\r\n";
    FSpace = false;
  }

  std::string& Text() { return FOut; }

private:
  void Control(const std::string& word) {
    FOut += word;
    FSpace = true;
  }

  void Format(const TCharFormat& f) {
    const int color = FColors.at(f.Color & 0xFFFFFF);
    const int font = FFonts.at(f.Face);
    if (!FStarted || color != FColor) Control("\\cf" + std::to_string(color));
    if (!FStarted || font != FFont) Control("\\f" + std::to_string(font));
    if (!FStarted || f.Size != FSize) Control("\\fs" + std::to_string(static_cast<long long>(f.Size) * 2));
    if (f.Bold != FBold) Control(f.Bold ? "\\b" : "\\b0");
    if (f.Italic != FItalic) Control(f.Italic ? "\\i" : "\\i0");
    if (f.Underline != FUnderline) Control(f.Underline ? "\\ul" : "\\ulnone");
    FStarted = true;
    FColor = color;
    FFont = font;
    FSize = f.Size;
    FBold = f.Bold;
    FItalic = f.Italic;
    FUnderline = f.Underline;
  }

  void Char(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\t') {
      Control("\\tab");
      return;
    }
    if (c == '\\' || c == '{' || c == '}') {
      FOut += '\\';
      FOut += ch;
      FSpace = false;
      return;
    }
    if (c < 0x20) return;  // no control character but the tab has a place in a line
    if (c >= 0x7F) {
      AppendHexByte(FOut, c);
      FSpace = false;
      return;
    }
    if (FSpace) FOut += ' ';
    FSpace = false;
    FOut += ch;
  }

  std::map<std::string, int>& FFonts;
  std::map<std::uint32_t, int>& FColors;
  int FBulletFont;
  std::string FOut;
  bool FSpace = false;  // a control word was written last: text needs the delimiter
  bool FStarted = false;
  int FColor = 0, FFont = 0, FSize = 0;
  bool FBold = false, FItalic = false, FUnderline = false;
};

} // namespace

std::string WriteRtf(const TDesignDocument& doc) {
  // Fonts and colours in the order of first use; the default font is the
  // first one, and the colour table starts with the empty automatic entry.
  std::map<std::string, int> fonts;
  std::vector<const std::string*> fontOrder;
  std::map<std::uint32_t, int> colors;
  std::vector<std::uint32_t> colorOrder;
  bool bullets = false;
  for (const TParagraph& p : doc.Paragraphs) {
    bullets = bullets || p.Bullet;
    for (const TTextRun& run : p.Runs) {
      if (run.Text.empty()) continue;
      if (fonts.emplace(run.Format.Face, static_cast<int>(fonts.size())).second) fontOrder.push_back(&run.Format.Face);
      const std::uint32_t color = run.Format.Color & 0xFFFFFF;
      if (colors.emplace(color, static_cast<int>(colors.size()) + 1).second) colorOrder.push_back(color);
    }
  }
  const std::string defaultFace = "Arial";
  if (fontOrder.empty()) {
    fonts.emplace(defaultFace, 0);
    fontOrder.push_back(&defaultFace);
  }
  const int bulletFont = static_cast<int>(fontOrder.size());

  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl";
  for (std::size_t k = 0; k < fontOrder.size(); ++k) {
    out += "{\\f" + std::to_string(k) + "\\fnil\\fcharset0 " + EscapeFontName(*fontOrder[k]) + ";}";
  }
  if (bullets) out += "{\\f" + std::to_string(bulletFont) + "\\fnil\\fcharset2 Symbol;}";
  out += "}\r\n";
  if (!colorOrder.empty()) {
    out += "{\\colortbl ;";
    for (const std::uint32_t c : colorOrder) {
      out += "\\red" + std::to_string(c & 0xFF) + "\\green" + std::to_string((c >> 8) & 0xFF) + "\\blue" +
             std::to_string((c >> 16) & 0xFF) + ";";
    }
    out += "}\r\n";
  }
  out += "\\viewkind4\\uc1";
  TRtfBody body(fonts, colors, bulletFont);
  for (const TParagraph& p : doc.Paragraphs) body.Paragraph(p);
  out += body.Text();
  if (doc.Paragraphs.empty()) out += "\\pard\\f0\\fs20\r\n";
  out += "}\r\n";
  return out;
}

} // namespace postello
