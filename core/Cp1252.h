#pragma once
// Text inside Postello is Windows-1252 bytes. These convert at the edges:
// the window toolkit and the command line speak UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

namespace postello {

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 code points of the
// same value, so every byte string survives a round trip.
std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 to Windows-1252. A character the code page cannot hold, and a byte
// that is not valid UTF-8, becomes '?'.
std::string Utf8ToCp1252(std::string_view text);

// True when the bytes are valid UTF-8 and hold at least one byte above 127:
// a file in that state is almost certainly UTF-8, not Windows-1252.
bool LooksLikeUtf8(std::string_view text);

// Decodes the UTF-8 sequence at text[i] into cp and returns its length in
// bytes, or 0 when the bytes there are not valid UTF-8 (overlong forms and
// surrogates included). An ASCII byte is a sequence of length 1.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& cp);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);

// Unicode code point of one Windows-1252 byte.
char32_t Cp1252ToUnicode(unsigned char byte);

// Windows-1252 byte of a code point, or -1 when the code page lacks it.
int UnicodeToCp1252(char32_t cp);

} // namespace postello
