#include "mime/Encodings.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace postello;

namespace {

std::string AllBytes() {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  return all;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  int position = 1;
  while (position != -1) {
    std::string line = NextLine(text, position);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// Decodes encoder output the way a part body is decoded: line by line.
std::string DecodeBase64Lines(const std::string& encoded) {
  std::string out;
  for (const std::string& line : Lines(encoded)) out += DecodeBase64Text(line);
  return out;
}

} // namespace

TEST(QuotedPrintableBody, LongLineIsCutAt71WithSoftBreak) {
  std::string text(100, 'x');
  EXPECT_EQ(EncodeQuotedPrintable(text, false), std::string(71, 'x') + "=\r\n" + std::string(29, 'x') + "\r\n");
  // 71 characters fit; 72 do not.
  EXPECT_EQ(EncodeQuotedPrintable(std::string(71, 'x'), false), std::string(71, 'x') + "\r\n");
  EXPECT_EQ(EncodeQuotedPrintable(std::string(72, 'x'), false), std::string(71, 'x') + "=\r\nx\r\n");
  // Long lines are cut again and again.
  EXPECT_EQ(EncodeQuotedPrintable(std::string(150, 'x'), false),
            std::string(71, 'x') + "=\r\n" + std::string(71, 'x') + "=\r\n" + std::string(8, 'x') + "\r\n");
}

TEST(QuotedPrintableBody, CutNeverSplitsAnEscape) {
  // The escape =FC would straddle the cut at 71: the cut moves before its "=".
  EXPECT_EQ(EncodeQuotedPrintable(std::string(70, 'a') + "\xFC" + "xyz", false),
            std::string(70, 'a') + "=\r\n=FCxyz\r\n");
  EXPECT_EQ(EncodeQuotedPrintable(std::string(69, 'a') + "\xFC" + "xyz", false),
            std::string(69, 'a') + "=\r\n=FCxyz\r\n");
  // An escape that ends exactly at 71 stays on the first line.
  EXPECT_EQ(EncodeQuotedPrintable(std::string(68, 'a') + "\xFC" + "xyz", false),
            std::string(68, 'a') + "=FC=\r\nxyz\r\n");
}

TEST(QuotedPrintableBody, EscapesEqualsLoneLineBreaksAndBlanksBeforeLineEnds) {
  EXPECT_EQ(EncodeQuotedPrintable("a=b", false), "a=3Db\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("a\nb", false), "a=0Ab\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("\nb", false), "=0Ab\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("a\rb", false), "a=0Db\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("a\r", false), "a=0D\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("a\n\r\n", false), "a=0A\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("abc \r\ndef", false), "abc=20\r\ndef\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("a \t \r\nb", false), "a=20=09=20\r\nb\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("Gr\xFC\xDF" "e", false), "Gr=FC=DFe\r\n");
  EXPECT_EQ(EncodeQuotedPrintable(std::string("a\0b", 3), false), "a=00b\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("\x7F", false), "\x7F\r\n"); // DEL counts as printable
}

TEST(QuotedPrintableBody, TrailingBlankOfTheInputStaysAndLineEndsAreKept) {
  EXPECT_EQ(EncodeQuotedPrintable("abc ", false), "abc \r\n");
  EXPECT_EQ(EncodeQuotedPrintable("abc\r\n", false), "abc\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("a\r\n\r\nb", false), "a\r\n\r\nb\r\n");
  EXPECT_EQ(EncodeQuotedPrintable("", false), "");
  EXPECT_EQ(EncodeQuotedPrintable(" ", false), " \r\n");
}

TEST(QuotedPrintableHeader, EncodesEverythingAnEncodedWordCannotHold) {
  EXPECT_EQ(EncodeQuotedPrintable("a?b_c=d", true), "a=3Fb=5Fc=3Dd");
  EXPECT_EQ(EncodeQuotedPrintable("a b\tc", true), "a=20b=09c");
  EXPECT_EQ(EncodeQuotedPrintable("\"'()<>", true), "=22=27=28=29=3C=3E");
  EXPECT_EQ(EncodeQuotedPrintable("x\r\ny", true), "x=0D=0Ay");
  EXPECT_EQ(EncodeQuotedPrintable("max@example.org", true), "max@example.org");
  EXPECT_EQ(EncodeQuotedPrintable(std::string(100, 'x'), true), std::string(100, 'x'));
}

TEST(QuotedPrintableDecode, SoftBreaksEscapesAndMalformedEscapes) {
  EXPECT_EQ(DecodeQuotedPrintable("Gr=FC=DFe"), "Gr\xFC\xDF" "e");
  EXPECT_EQ(DecodeQuotedPrintable("ab=\r\ncd"), "abcd");
  // Lower-case hex is not an escape: dropped with its two characters.
  EXPECT_EQ(DecodeQuotedPrintable("a=fcb"), "ab");
  EXPECT_EQ(DecodeQuotedPrintable("a=XYb"), "ab");
  // Too short to be an escape: the rest of the text is dropped.
  EXPECT_EQ(DecodeQuotedPrintable("ab=4"), "ab");
  EXPECT_EQ(DecodeQuotedPrintable("ab="), "ab");
  EXPECT_EQ(DecodeQuotedPrintable(""), "");
}

TEST(QuotedPrintableBody, EveryByteAndRandomDataSurviveTheRoundTrip) {
  for (const std::string& data : {AllBytes(), RandomBytes(5000, 1), RandomBytes(777, 2), std::string(300, ' ')}) {
    const std::string encoded = EncodeQuotedPrintable(data, false);
    for (const std::string& line : Lines(encoded)) {
      ASSERT_LE(line.size(), 72u + 2) << line;
      ASSERT_EQ(line.substr(line.size() - 2), "\r\n");
      for (char c : line) ASSERT_LT(static_cast<unsigned char>(c), 128) << line;
    }
    // The encoder ends the text with a line end when it had none.
    EXPECT_EQ(DecodeQuotedPrintable(encoded), data + "\r\n");
  }
  const std::string withLines = "Zeile eins \r\nZeile zwei\t\r\n" + std::string(200, 'z') + "=\r\n";
  EXPECT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(withLines, false)), withLines);
  const std::string all = AllBytes();
  EXPECT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(all, true)), all);
}

TEST(HeaderWords, EncodeOnlyWhenNeededInWordsOfAtMost75) {
  const std::string a53(53, 'a'), a55(55, 'a'), a56(56, 'a'), a58(58, 'a');
  const struct {
    std::string text, charset, words;
  } cases[] = {
      {"Hallo Welt", "iso-8859-1", "=?iso-8859-1?Q?Hallo=20Welt?="},
      {"Hallo", "iso-8859-1", "Hallo"},
      {"Gr\xFC\xDF" "e", "iso-8859-1", "=?iso-8859-1?Q?Gr=FC=DFe?="},
      {"", "iso-8859-1", ""},
      // 56 characters fit beside "=?windows-1252?Q?" and "?=", 58 beside
      // the shorter label; an escape is never split.
      {a56 + " ", "windows-1252", "=?windows-1252?Q?" + a56 + "?= =?windows-1252?Q?=20?="},
      {a55 + "\x80", "windows-1252", "=?windows-1252?Q?" + a55 + "?= =?windows-1252?Q?=80?="},
      {a53 + "\x80" "b", "windows-1252", "=?windows-1252?Q?" + a53 + "=80?= =?windows-1252?Q?b?="},
      {a58 + "\xE4" + a58, "iso-8859-1", "=?iso-8859-1?Q?" + a58 + "?= =?iso-8859-1?Q?=E4" + a55 + "?= =?iso-8859-1?Q?aaa?="},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeHeaderWord(c.text, c.charset), c.words) << c.text;

  // Every length and byte: words of at most 75 characters that read back
  // as the text.
  const std::string all = AllBytes() + AllBytes();
  for (std::size_t n = 1; n <= all.size(); n += 7) {
    const std::string text = all.substr(all.size() - n);
    const std::string words = EncodeHeaderWord(text, "windows-1252");
    std::istringstream split(words);
    for (std::string word; split >> word;) ASSERT_LE(word.size(), 75u) << words;
    ASSERT_EQ(DecodeHeaderWords(words), text) << words;
  }
}

TEST(HeaderWords, CharsetOfWindowsText) {
  const struct {
    std::string text;
    std::string_view charset;
  } cases[] = {
      {"", "iso-8859-1"},
      {"Gr\xFC\xDF" "e \xA0\xA9\xFF\x7F", "iso-8859-1"},
      {"20 \x80", "windows-1252"},
      {"\x84" "Angebot\x93 \x96 \x85", "windows-1252"},
      {"\x9F", "windows-1252"},
      // Undefined in the code page: no character under either label.
      {"\x81\x8D\x8F\x90\x9D", "iso-8859-1"},
      {"\x81\x8A", "windows-1252"},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp1252TextCharset(c.text), c.charset) << c.text;
}

TEST(HeaderWords, DecodeQBAndUWordsInsideText) {
  EXPECT_EQ(DecodeHeaderWords("=?iso-8859-1?Q?Gr=FC=DFe?="), "Gr\xFC\xDF" "e");
  EXPECT_EQ(DecodeHeaderWords("  plain text  "), "plain text");
  EXPECT_EQ(DecodeHeaderWords(" \tx\t"), "x\t");
  EXPECT_EQ(DecodeHeaderWords("Re: =?iso-8859-1?q?Gr=FC=DFe_aus?= Berlin"), "Re: Gr\xFC\xDF" "e aus Berlin");
  EXPECT_EQ(DecodeHeaderWords("=?utf-8?B?SGFsbG8=?="), "Hallo");
  EXPECT_EQ(DecodeHeaderWords("=?x?b?QQBC?="), "A"); // B and U words end at a zero byte
  EXPECT_EQ(DecodeHeaderWords("=?x?U?#0V%T?="), "Cat");
  // White space between two words is dropped, other text stays.
  EXPECT_EQ(DecodeHeaderWords("=?a?Q?x?= =?a?Q?y?="), "xy");
  EXPECT_EQ(DecodeHeaderWords("=?a?Q?x?=\r\n\t =?a?Q?y?= z"), "xy z");
  EXPECT_EQ(DecodeHeaderWords("=?a?Q?x?= - =?a?Q?y?="), "x - y");
  // An encoded text that begins with "=".
  EXPECT_EQ(DecodeHeaderWords("=?iso-8859-1?Q?=3D=3Dx?="), "==x");
  // Unknown encoding letters are read as Q.
  EXPECT_EQ(DecodeHeaderWords("=?a?X?a=41?="), "aA");
  EXPECT_EQ(DecodeHeaderWords("=?a?Q?" "?="), "");
  // Not a word: left alone, and decoding stops there.
  EXPECT_EQ(DecodeHeaderWords("a =?broken"), "a =?broken");
  EXPECT_EQ(DecodeHeaderWords("a =?cs?Q?unterminated"), "a =?cs?Q?unterminated");
}

// Decoded text was searched again from the start, so a decoded text that
// looks like an encoded word was decoded a second time.
TEST(HeaderWords, DecodedTextIsNotDecodedAgain) {
  for (const std::string_view text : {"ab =?x?Q?y?= c", "=?x?Q?y?=", "=?a?B?QUJD?=", "x =?a?Q?=3D?= y",
                                 "=?a?Q?x?= =?a?Q?y?="}) {
    EXPECT_EQ(DecodeHeaderWords(EncodeHeaderWord(text, "iso-8859-1")), text);
  }
  // A word whose decoded text holds "=?" stays as decoded; the words after it
  // are still decoded.
  EXPECT_EQ(DecodeHeaderWords("=?a?Q?=3D=3Fx=3FQ=3Fy=3F=3D?= =?a?Q?z?="), "=?x?Q?y?=z");
  EXPECT_EQ(DecodeHeaderWords("=?a?Q?=3D?=?b?Q?c?="), "=?b?Q?c?=");
}

TEST(HeaderWords, EncodedAndDecodedAgainForEveryByte) {
  for (int b = 1; b < 256; ++b) {
    std::string text = std::string("a") + static_cast<char>(b) + "z";
    EXPECT_EQ(DecodeHeaderWords(EncodeHeaderWord(text, "iso-8859-1")), text) << b;
  }
}

TEST(Base64Encode, LineLengthsAndPadding) {
  EXPECT_EQ([] { std::string d = "junk"; EncodeBase64Stream(std::string_view(), d); return d; }(), "");
  auto encode = [](std::string_view s) {
    std::string d;
    EncodeBase64Stream(s, d);
    return d;
  };
  EXPECT_EQ(encode("abc"), "YWJj\r\n");
  EXPECT_EQ(encode("a"), "YQ==\r\n");
  EXPECT_EQ(encode("ab"), "YWI=\r\n");
  std::string nineteen;
  for (int i = 0; i < 19; ++i) nineteen += "YWFh";
  EXPECT_EQ(encode(std::string(57, 'a')), nineteen + "\r\n");
  EXPECT_EQ(encode(std::string(58, 'a')), nineteen + "\r\nYQ==\r\n");
  EXPECT_EQ(encode(std::string(114, 'a')), nineteen + "\r\n" + nineteen + "\r\n");
  EXPECT_EQ(encode("\xFF\xFE\xFD"), "//79\r\n");
  EXPECT_EQ(encode(std::string("\0\0\0", 3)), "AAAA\r\n");
}

TEST(Base64Encode, StreamGivesTheSameLinesAtEveryBlockEdge) {
  for (std::size_t n : {0u, 1u, 56u, 57u, 2279u, 2280u, 2281u, 4560u, 5000u, 100001u}) {
    const std::string data = RandomBytes(n, static_cast<unsigned>(n));
    std::string fromString, fromStream;
    EncodeBase64Stream(data, fromString);
    std::istringstream stream(data);
    stream.seekg(0, std::ios::end); // the stream is read from its start
    EncodeBase64Stream(stream, fromStream);
    EXPECT_EQ(fromStream, fromString) << n;
    const std::vector<std::string> lines = Lines(fromString);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) ASSERT_EQ(lines[i].size(), 78u);
    EXPECT_EQ(DecodeBase64Lines(fromString), data) << n;
  }
}

TEST(Base64Decode, PaddingGroupsAndCharactersOutsideTheAlphabet) {
  EXPECT_EQ(DecodeBase64Text("QQ=="), "A");
  EXPECT_EQ(DecodeBase64Text("QUI="), "AB");
  EXPECT_EQ(DecodeBase64Text("QUJD"), "ABC");
  EXPECT_EQ(DecodeBase64Text("QUJD\r\n"), "ABC"); // CR LF: an incomplete group, dropped
  EXPECT_EQ(DecodeBase64Text("QUJDQQ"), "ABC");
  EXPECT_EQ(DecodeBase64Text("=AAA"), "");
  // A character outside the alphabet takes a position and keeps the value
  // the position held in the previous group ("U" = 20 here).
  EXPECT_EQ(DecodeBase64Text("QUJDR*JD"), "ABCEBC");
  EXPECT_EQ(DecodeBase64Text(""), "");
}

TEST(Base64Decode, EveryByteAndRandomDataSurviveTheRoundTrip) {
  for (const std::string& data : {AllBytes(), RandomBytes(10000, 7), RandomBytes(1, 8), RandomBytes(2, 9)}) {
    std::string encoded;
    EncodeBase64Stream(data, encoded);
    EXPECT_EQ(DecodeBase64Lines(encoded), data);
  }
}

TEST(UUDecode, TableCountAndFormatErrors) {
  EXPECT_EQ(DecodeUULine("#0V%T"), "Cat");
  EXPECT_EQ(DecodeUULine("`"), "");
  EXPECT_EQ(DecodeUULine("!  "), std::string(1, '\0')); // blank counts as 0
  EXPECT_EQ(DecodeUULine("#0v%T"), "");                 // 'v' is outside the table
  EXPECT_EQ(DecodeUULine("begin 644 x.txt"), "");
  // Count 45: exactly the next 60 characters.
  EXPECT_EQ(DecodeUULine("M" + std::string(60, '`')), std::string(45, '\0'));
  EXPECT_EQ(DecodeUULine("M" + std::string(60, '_')), std::string(45, '\xFF'));
  // "_" counts 63, the grave accent 0: "!_`" is one byte 0xFC.
  EXPECT_EQ(DecodeUULine("!_`"), "\xFC");
}

TEST(Lines, NextLinePadLeftAndTrim) {
  int position = 1;
  EXPECT_EQ(NextLine("ab\r\ncd", position), "ab\r\n");
  EXPECT_EQ(position, 5);
  EXPECT_EQ(NextLine("ab\r\ncd", position), "cd");
  EXPECT_EQ(position, -1);
  position = 1;
  EXPECT_EQ(NextLine("a\nb\rc\r\n", position), "a\nb\rc\r\n");
  EXPECT_EQ(NextLine("a\nb\rc\r\n", position), "");
  EXPECT_EQ(position, -1);

  EXPECT_EQ(PadLeft(" f", 2, "0"), "0f");
  EXPECT_EQ(PadLeft("\t 7", 3, "0"), "007");
  EXPECT_EQ(PadLeft("abc", 2, "0"), "bc");
  EXPECT_EQ(TrimLeadingBlanks(" \t a "), "a ");
}
