#pragma once
// Transfer encodings of the message text: quoted-printable (body and header
// mode), RFC 2047 "Q" words, base64 and uuencoded lines, and the small line
// helpers they share. All functions are stateless and work on 8-bit strings;
// no character set is converted, a charset name is only declared (and chosen
// for Windows-1252 text).
// Everything produced ends its lines with CR LF.
#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

namespace postello {

// Quoted-printable. Header mode escapes every blank and control character
// and the characters " ' ( ) < > ? _ so the result can stand inside an
// encoded word; it adds no line ends. Body mode keeps CR LF pairs, escapes
// blanks before a line end, cuts lines longer than 71 characters with a soft
// break (no escape is ever split) and ends every line, the last one too,
// with CR LF.
std::string EncodeQuotedPrintable(std::string_view text, bool headerMode);

// Reverses quoted-printable: "=" CR LF is a soft break, "=" and two
// upper-case hex digits a byte. An "=" followed by anything else is dropped
// with the two characters after it; an "=" with fewer than two characters
// after it ends the text.
std::string DecodeQuotedPrintable(std::string_view text);

// The text itself when quoted-printable in header mode leaves it unchanged,
// otherwise encoded words "=?charset?Q?...?=" of at most 75 characters each
// (the limit of RFC 2047), separated by one blank; an escape is never split.
// Empty text gives empty text.
std::string EncodeHeaderWord(std::string_view text, std::string_view charset);

// The character set a Windows-1252 text is declared with: "windows-1252"
// when it holds one of the characters the code page keeps at 0x80..0x9F
// (such as the euro sign, dashes and German quotation marks), which Latin-1
// readers show as control characters; "iso-8859-1" otherwise, so every
// other text keeps the label it always had. The five bytes the code page
// leaves undefined do not count: they are no character under either label.
std::string_view Cp1252TextCharset(std::string_view text);

// Replaces every encoded word (B, Q or U encoding) of a header text by its
// decoded bytes; the declared character set is ignored. The text is first
// stripped of leading tabs and blanks and trailing blanks. Blanks, tabs and
// line ends between two encoded words are dropped, as RFC 2047 wants, so a
// text split into several words reads as one. Decoding stops at the first
// "=?" that does not start a well-formed word. Each word is decoded once:
// decoded text that looks like a word stays as it is.
std::string DecodeHeaderWords(std::string_view text);

// Base64 in lines of 76 characters, each followed by CR LF (the last, shorter
// line too). Empty source gives empty output. The destination is cleared
// first.
void EncodeBase64Stream(std::string_view source, std::string& destination);
// The same for a stream, read from its start in blocks of 2280 bytes
// (40 lines' worth), so no copy of the whole source is made.
void EncodeBase64Stream(std::istream& source, std::string& destination);

// Decodes one line of base64. Every input character occupies a position in
// the current group of four; a character outside the alphabet (blank, CR,
// LF) leaves the value its position held in the previous group. "=" pads; an
// incomplete last group is dropped, so a line with its CR LF decodes exactly.
std::string DecodeBase64Text(std::string_view text);

// Decodes one uuencoded line (without its line end). The first character
// gives the byte count (at most 45). A character outside the uuencode table
// is a format error: the line then yields no bytes.
std::string DecodeUULine(std::string_view line);

// The line starting at the 1-based position, including its CR LF. The
// position is moved behind the LF, or set to -1 when the text ended without
// one (the returned line is then the rest of the text).
std::string NextLine(std::string_view text, int& position);

// Strips leading tabs and blanks, then keeps the last `width` characters or
// prepends `pad` until the text is `width` long.
std::string PadLeft(std::string_view text, std::size_t width, std::string_view pad);

// The text without leading tabs and blanks.
std::string TrimLeadingBlanks(std::string_view text);

} // namespace postello
