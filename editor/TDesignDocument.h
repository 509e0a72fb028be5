#pragma once
// The formatted design document of a design mail, without any toolkit:
// what the editor shows, what RTF stores and what the HTML is built from.
#include <cstdint>
#include <string>
#include <vector>

namespace postello {

// Paragraph alignment of the design document.
enum TParaAlign : std::uint8_t { paLeft, paCenter, paRight };

// Attributes every character carries. Colour is 0x00BBGGRR (red in the low
// byte). The defaults are the editor's default font: Arial, 10 points,
// black.
struct TCharFormat {
  std::string Face = "Arial";
  int Size = 10;                 // whole points
  std::uint32_t Color = 0;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;

  bool operator==(const TCharFormat&) const = default;
};

// A stretch of characters sharing one format. Text is Windows-1252 bytes
// and never holds a line break (one editor line is one paragraph); a tab
// is an ordinary character.
struct TTextRun {
  TCharFormat Format;
  std::string Text;

  bool operator==(const TTextRun&) const = default;
};

// One line of the editor. Runs may be empty (an empty paragraph); two
// neighbouring runs of the same format are allowed but need not be kept.
struct TParagraph {
  TParaAlign Align = paLeft;
  bool Bullet = false;
  std::vector<TTextRun> Runs;

  bool operator==(const TParagraph&) const = default;
};

// The whole document: its paragraphs in order and one background colour
// (0x00BBGGRR, white by default). An empty document has no paragraphs.
struct TDesignDocument {
  std::vector<TParagraph> Paragraphs;
  std::uint32_t BackColor = 0xFFFFFF;

  bool operator==(const TDesignDocument&) const = default;
};

} // namespace postello
