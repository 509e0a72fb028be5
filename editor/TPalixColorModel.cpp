#include "editor/TPalixColorModel.h"

#include "editor/AsciiCase.h"

namespace postello {
namespace {

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }

constexpr std::uint32_t kFixed[16] = {
    Rgb(0, 0, 0),     Rgb(128, 0, 0),   Rgb(0, 128, 0),     Rgb(128, 128, 0),
    Rgb(0, 0, 128),   Rgb(128, 0, 128), Rgb(0, 128, 128),   Rgb(128, 128, 128),
    Rgb(192, 192, 192), Rgb(255, 0, 0), Rgb(0, 255, 0),     Rgb(255, 255, 0),
    Rgb(0, 0, 255),   Rgb(255, 0, 255), Rgb(0, 255, 255),   Rgb(255, 255, 255)};

// Windows-1252 names, one column per language.
constexpr const char* kNames[17][3] = {
    {"Black", "Schwarz", "Noir"},
    {"Maroon", "Dunkelrot", "Rouge fonc\xE9"},
    {"Green", "Gr\xFCn", "Vert"},
    {"Olive", "Oliv", "Marron clair"},
    {"Navy", "Dunkelblau", "Bleu fonc\xE9"},
    {"Purple", "Purpur", "Violet"},
    {"Teal", "Gr\xFCnblau", "Bleu-vert"},
    {"Gray", "Grau", "Gris"},
    {"Silver", "Silber", "Argent\xE9"},
    {"Red", "Rot", "Rouge"},
    {"Lime", "Hellgr\xFCn", "Vert"},
    {"Yellow", "Gelb", "Jaune"},
    {"Blue", "Blau", "Bleu"},
    {"Fuchsia", "Rosa", "Fuchsia"},
    {"Aqua", "Hellblau", "Vert d'eau"},
    {"White", "Wei\xDF", "Blanc"},
    {"More...", "Mehr...", "Autres...."}};

// The standard Windows colours of the system colour indexes 0 to 30
// (scroll bar, desktop, captions, menu, window, ...); stored mails may name
// them instead of a colour.
constexpr std::uint32_t kSystem[31] = {
    Rgb(200, 200, 200), Rgb(0, 0, 0),       Rgb(153, 180, 209), Rgb(191, 205, 219), Rgb(240, 240, 240),
    Rgb(255, 255, 255), Rgb(100, 100, 100), Rgb(0, 0, 0),       Rgb(0, 0, 0),       Rgb(0, 0, 0),
    Rgb(180, 180, 180), Rgb(244, 247, 252), Rgb(171, 171, 171), Rgb(0, 120, 215),   Rgb(255, 255, 255),
    Rgb(240, 240, 240), Rgb(160, 160, 160), Rgb(109, 109, 109), Rgb(0, 0, 0),       Rgb(0, 0, 0),
    Rgb(255, 255, 255), Rgb(105, 105, 105), Rgb(227, 227, 227), Rgb(0, 0, 0),       Rgb(255, 255, 225),
    Rgb(0, 0, 0),       Rgb(0, 102, 204),   Rgb(185, 209, 234), Rgb(215, 228, 242), Rgb(51, 153, 255),
    Rgb(240, 240, 240)};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads up to two hex digits of text from the 1-based position pos; a
// piece cut short by the end of the text counts with what is there, an
// empty one cannot be read.
bool ReadHexByte(const std::string& text, std::size_t pos, std::uint32_t& value) {
  if (text.size() < pos) return false;
  const std::string piece = text.substr(pos - 1, 2);
  value = 0;
  for (const char c : piece) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return true;
}

std::string HashHex(std::uint32_t rgb) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "#";
  for (int shift = 0; shift <= 16; shift += 8) {
    const std::uint32_t byte = (rgb >> shift) & 0xFF;
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

} // namespace

std::uint32_t TPalixColorModel::FixedColor(int entry) {
  return entry >= 0 && entry < CustomEntry ? kFixed[entry] : 0;
}

const char* TPalixColorModel::EntryName(int entry, TPalixLanguage language) {
  if (entry < 0 || entry >= EntryCount) return "";
  const int column = language <= lgFrensh ? language : lgEnglish;
  return kNames[entry][column];
}

bool TPalixColorModel::ResolveColor(std::uint32_t color, std::uint32_t& rgb) {
  if ((color >> 24) != 0x80) {
    rgb = color & 0xFFFFFF;
    return true;
  }
  const std::uint32_t index = color & 0xFFFFFF;
  if (index >= sizeof kSystem / sizeof kSystem[0]) return false;
  rgb = kSystem[index];
  return true;
}

std::uint32_t TPalixColorModel::SwatchColor(int entry) const {
  if (entry >= 0 && entry < CustomEntry) return kFixed[entry];
  std::uint32_t rgb = 0;
  return ResolveColor(FColorValue, rgb) ? rgb : 0;
}

void TPalixColorModel::SetColorValue(std::uint32_t v) {
  std::uint32_t rgb = 0;
  if (!ResolveColor(v, rgb)) return;
  FItemIndex = CustomEntry;
  for (int i = 0; i < CustomEntry; ++i) {
    if (kFixed[i] == v) {
      FItemIndex = i;
      break;
    }
  }
  FColorValue = v;
  FHTMLcolor = HashHex(rgb);
}

void TPalixColorModel::SetHTMLcolor(const std::string& t) {
  std::string text = t.empty() ? std::string("#000000") : UpperAscii(t);
  // The box holds at most 255 characters.
  if (text.size() > 255) text.resize(255);
  std::uint32_t r = 0, g = 0, b = 0;
  if (!ReadHexByte(text, 2, r) || !ReadHexByte(text, 4, g) || !ReadHexByte(text, 6, b)) return;
  const std::uint32_t color = r | (g << 8) | (b << 16);
  if (color != FColorValue) SetColorValue(color);
  FHTMLcolor = std::move(text);
}

bool TPalixColorModel::UserSelect(int entry) {
  if (entry >= 0 && entry < CustomEntry) {
    SetColorValue(kFixed[entry]);
    return false;
  }
  if (entry != CustomEntry) return false;
  FItemIndex = CustomEntry;
  return true;
}

} // namespace postello
