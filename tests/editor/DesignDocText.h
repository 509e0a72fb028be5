#pragma once
// Test helpers for design documents: a compact way to build one, and a
// readable description to compare one with, so a failing test shows which
// paragraph and which attribute differ.
#include "editor/TDesignDocument.h"

#include <cstdio>
#include <string>

namespace postello::test {

inline TCharFormat Fmt(const std::string& face = "Arial", int size = 10, std::uint32_t color = 0,
                       const std::string& styles = "") {
  TCharFormat f;
  f.Face = face;
  f.Size = size;
  f.Color = color;
  f.Bold = styles.find('b') != std::string::npos;
  f.Italic = styles.find('i') != std::string::npos;
  f.Underline = styles.find('u') != std::string::npos;
  return f;
}

inline TTextRun Txt(const std::string& text, const TCharFormat& f = Fmt()) { return TTextRun{f, text}; }

inline TParagraph Para(std::vector<TTextRun> runs, TParaAlign align = paLeft, bool bullet = false) {
  TParagraph p;
  p.Align = align;
  p.Bullet = bullet;
  p.Runs = std::move(runs);
  return p;
}

// One line per paragraph ("center bullet:"), then one line per stretch of
// equal format ("  Arial 10 #FF0000 bi: text", red first). Neighbouring runs of one
// format are described as one, and empty runs not at all: the model allows
// both without a change of meaning.
inline std::string Describe(const TDesignDocument& doc) {
  std::string out;
  for (const TParagraph& p : doc.Paragraphs) {
    out += p.Align == paCenter ? "center" : p.Align == paRight ? "right" : "left";
    if (p.Bullet) out += " bullet";
    out += ":\n";
    const TCharFormat* last = nullptr;
    for (const TTextRun& r : p.Runs) {
      if (r.Text.empty()) continue;
      if (last == nullptr || !(*last == r.Format)) {
        if (last != nullptr) out += "\n";
        char color[16];
        const unsigned c = r.Format.Color;
        std::snprintf(color, sizeof color, "%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        out += "  " + r.Format.Face + " " + std::to_string(r.Format.Size) + " #" + color;
        std::string styles;
        if (r.Format.Bold) styles += 'b';
        if (r.Format.Italic) styles += 'i';
        if (r.Format.Underline) styles += 'u';
        if (!styles.empty()) out += " " + styles;
        out += ": ";
        last = &r.Format;
      }
      out += r.Text;
    }
    if (last != nullptr) out += "\n";
  }
  return out;
}

// All characters, paragraphs separated by '\n'.
inline std::string PlainText(const TDesignDocument& doc) {
  std::string out;
  for (std::size_t k = 0; k < doc.Paragraphs.size(); ++k) {
    if (k > 0) out += '\n';
    for (const TTextRun& r : doc.Paragraphs[k].Runs) out += r.Text;
  }
  return out;
}

} // namespace postello::test
