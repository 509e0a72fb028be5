#pragma once
// The rules of the design toolbar that are not about drawing: the entries
// of the size list, which entry follows the caret, and how a typed size is
// read.
#include <array>
#include <string_view>

namespace postello {

// The size list, in points, as shown.
inline constexpr std::array<std::string_view, 7> kFontSizeEntries = {"8", "10", "12", "14", "18", "24", "36"};
// The entry selected when the window is made.
inline constexpr int kStartFontSizeEntry = 1; // "10"

// The size the text of the size list asks for: a whole number of points
// from 1 to 999 (blanks around it allowed). Anything else, an empty text
// included, gives 12.
int FontSizeFromText(std::string_view text);

// The first entry of the size list that equals size written in decimal, or
// -1 when none does (the list then keeps its selection).
int FontSizeEntry(int size);

// The three toggles of the toolbar that have keys.
enum TFormatToggle { ftBold, ftItalic, ftUnderline };

// Keys of the toggles, all with Ctrl: the letters most editors use (B, I,
// U) and, with Shift, those of German word processors (F fett, K kursiv,
// U unterstrichen).
struct TFormatKey {
  char Letter; // upper case
  bool Shift;
  TFormatToggle Toggle;
};
inline constexpr std::array<TFormatKey, 6> kFormatKeys = {{
    {'B', false, ftBold},
    {'I', false, ftItalic},
    {'U', false, ftUnderline},
    {'F', true, ftBold},
    {'K', true, ftItalic},
    {'U', true, ftUnderline},
}};

} // namespace postello
