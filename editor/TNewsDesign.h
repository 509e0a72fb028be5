#pragma once
// The newsletter frame's settings: colours, the fonts of the heading and
// footer bands, the box size and the two band texts. One set per mail;
// the defaults are those the design dialog starts with.
#include "core/TMailRec.h"

#include <cstdint>
#include <string>

namespace postello {

struct TNewsDesign {
  std::uint32_t BackColor = 0x808080;        // page around the box
  std::uint32_t HeadBackColor = 0x000000;    // heading band
  std::uint32_t FootBackColor = 0x000000;    // footer band
  std::uint32_t BorderColor = 0x000000;      // the box itself, seen as its frame
  std::string HeadFontName = "Arial Black";
  std::int32_t HeadFontSize = 14;
  std::uint32_t HeadFontColor = 0xFFFFFF;
  std::uint8_t HeadFontStyle = 0;            // fsBold | fsItalic | fsUnderline | fsStrikeOut
  std::string FootFontName = "Arial";
  std::int32_t FootFontSize = 8;
  std::uint32_t FootFontColor = 0xFFFFFF;
  std::uint8_t FootFontStyle = 0;
  std::int32_t Width = 550;                  // 100 to 1024 pixels
  std::int32_t MinHeight = 400;              // 10 to 10000 pixels
  std::string HeadText = "Newsletter";
  std::string FootText = DefaultFootText();

  // The footer text a new design starts with (Windows-1252).
  static std::string DefaultFootText();

  // The settings stored in a mail, and back.
  static TNewsDesign FromMailRec(const TMailRecFields& mail);
  void ToMailRec(TMailRecFields& mail) const;

  bool operator==(const TNewsDesign&) const = default;
};

} // namespace postello
