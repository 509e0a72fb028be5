#pragma once
// Tables written by DOS programs hold their text in an OEM code page, named
// by the table's language driver byte. The program works in Windows-1252, so
// such text is converted when read and converted back when written.
#include <cstdint>
#include <string>
#include <string_view>

namespace postello {

// Code page a language driver byte names: 437 or 850 for the DOS code pages
// converted here, 1252 for everything else (0 and unknown bytes included:
// the text is taken as it stands).
int CodePageOfLanguageId(std::uint8_t languageId);

// OEM bytes (code page 437 or 850) to Windows-1252; a character Windows-1252
// lacks (box drawing, Greek letters) becomes '?'. Other code pages: unchanged.
std::string OemToCp1252(std::string_view text, int codePage);

// Windows-1252 to OEM bytes; a character the OEM page lacks becomes '?'.
std::string Cp1252ToOem(std::string_view text, int codePage);

} // namespace postello
