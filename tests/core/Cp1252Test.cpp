#include "core/Cp1252.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252, UmlautsAndEuroMapToTheirUtf8Forms) {
  EXPECT_EQ(Cp1252ToUtf8("\xE4\xF6\xFC\xDF"), "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F");
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8ToCp1252("\xE2\x80\x9E" "x"), "\x84x");
}

TEST(Cp1252, CharactersOutsideTheCodePageAndBrokenUtf8BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xBD"), "?");      // rouble sign
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!"); // emoji
  EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");             // cut sequence
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");          // overlong '/'
}

TEST(Cp1252, Utf8IsRecognisedOnlyWhenValidAndNonAscii) {
  EXPECT_TRUE(LooksLikeUtf8("M\xC3\xBCller"));
  EXPECT_FALSE(LooksLikeUtf8("M\xFCller"));
  EXPECT_FALSE(LooksLikeUtf8("Mueller"));
}
