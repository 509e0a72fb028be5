#pragma once
// What the newsletter dialog's colour box knows, without any widget: 17
// entries (16 fixed colours and a custom entry "Mehr..." that shows the
// current colour), the chosen colour as a colour value and as "#RRGGBB",
// and the entry names in three languages. The Qt box TPalixColorComboBox
// draws and forwards user choices to it.
//
// Invariant: ItemIndex() is the first fixed entry whose colour equals
// ColorValue(), or the custom entry when none does; only a cancelled custom
// colour choice leaves the custom entry selected on a fixed colour.
#include <cstdint>
#include <string>

namespace postello {

enum TPalixLanguage : std::uint8_t { lgEnglish, lgDeutsch, lgFrensh };

class TPalixColorModel {
public:
  static constexpr int EntryCount = 17;
  static constexpr int CustomEntry = 16;

  // Entry 0 (black) chosen, "#000000", names in English.
  TPalixColorModel() = default;

  // Colour value (0x00BBGGRR) of a fixed entry 0 to 15.
  static std::uint32_t FixedColor(int entry);
  // Name of entry 0 to 16 in a language, Windows-1252.
  static const char* EntryName(int entry, TPalixLanguage language);
  // The colour a system colour reference (high byte 0x80, low byte a
  // system colour index) stands for, with the standard colours of Windows;
  // other colour values unchanged. False for a reference to no known
  // system colour.
  static bool ResolveColor(std::uint32_t color, std::uint32_t& rgb);

  int ItemIndex() const { return FItemIndex; }
  std::uint32_t ColorValue() const { return FColorValue; }
  const std::string& HTMLcolor() const { return FHTMLcolor; }
  TPalixLanguage Language() const { return FLanguage; }
  // Only changes the names the box draws.
  void SetLanguage(TPalixLanguage language) { FLanguage = language; }

  // The colour an entry's swatch shows: its fixed colour, or for the
  // custom entry the current colour (resolved when it is a system colour).
  std::uint32_t SwatchColor(int entry) const;
  // The name an entry shows in the current language.
  const char* ItemName(int entry) const { return EntryName(entry, FLanguage); }

  // Selects the first fixed entry of colour v, or the custom entry, and
  // sets HTMLcolor to the resolved colour as "#RRGGBB". A reference to an
  // unknown system colour changes nothing.
  void SetColorValue(std::uint32_t v);

  // t upper-cased (a to z); empty means "#000000". Characters 2-3, 4-5 and
  // 6-7 are read as the hex red, green and blue bytes; a different colour
  // is set through SetColorValue; then HTMLcolor becomes t. A text that
  // cannot be read changes nothing.
  void SetHTMLcolor(const std::string& t);

  // The user chose an entry. A fixed entry takes its colour; the custom
  // entry is selected and true is returned: the caller asks for a colour
  // (preset ColorValue()) and passes a confirmed one to SetColorValue.
  bool UserSelect(int entry);

private:
  int FItemIndex = 0;
  std::uint32_t FColorValue = 0;
  std::string FHTMLcolor = "#000000";
  TPalixLanguage FLanguage = lgEnglish;
};

} // namespace postello
