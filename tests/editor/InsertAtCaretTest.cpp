// Inserting at the caret, whose line breaks count two characters, and the
// conversion from and to Qt's positions, whose line breaks count one.
#include "editor/InsertAtCaret.h"

#include <gtest/gtest.h>

using namespace postello;

namespace {

using Lines = std::vector<std::string>;

struct CaretCase {
  const char* name;
  Lines lines;
  std::size_t caret;
  Lines expected;
  std::size_t newCaret;
  std::size_t line;
  bool appended;

  friend void PrintTo(const CaretCase& c, std::ostream* os) { *os << c.name; }
};

class InsertAtCaretCases : public ::testing::TestWithParam<CaretCase> {};

TEST_P(InsertAtCaretCases, Inserts) {
  const CaretCase& c = GetParam();
  const TCaretInsert r = InsertAtCaret(c.lines, c.caret, "[%Name]");
  EXPECT_EQ(r.Lines, c.expected);
  EXPECT_EQ(r.Caret, c.newCaret);
  EXPECT_EQ(r.Line, c.line);
  EXPECT_EQ(r.Appended, c.appended);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, InsertAtCaretCases,
    ::testing::Values(
        // After the space of "Hallo Welt": nothing is lost and the caret
        // stands right after the closing bracket.
        CaretCase{"HalloWelt", {"Hallo Welt"}, 6, {"Hallo [%Name]Welt"}, 13, 0, false},
        CaretCase{"StartOfFirstLine", {"abc", "def"}, 0, {"[%Name]abc", "def"}, 7, 0, false},
        CaretCase{"StartOfSecondLine", {"abc", "def"}, 5, {"abc", "[%Name]def"}, 12, 1, false},
        CaretCase{"EndOfFirstLine", {"abc", "def"}, 3, {"abc[%Name]", "def"}, 10, 0, false},
        CaretCase{"EndOfLastLine", {"abc", "def"}, 8, {"abc", "def[%Name]"}, 15, 1, false},
        CaretCase{"BetweenCrAndLfCountsAsLineEnd", {"abc", "def"}, 4, {"abc[%Name]", "def"}, 11, 0, false},
        CaretCase{"EmptyLineInTheMiddle", {"a", "", "b"}, 3, {"a", "[%Name]", "b"}, 10, 1, false},
        CaretCase{"EmptyTargetGetsTheOnlyLine", {}, 0, {"[%Name]"}, 0, 0, true},
        CaretCase{"OneEmptyLine", {""}, 0, {"[%Name]"}, 7, 0, false},
        CaretCase{"BehindTheLastLineBreak", {"abc"}, 5, {"abc", "[%Name]"}, 5, 1, true},
        CaretCase{"BeyondTheEnd", {"abc"}, 99, {"abc", "[%Name]"}, 99, 1, true}),
    [](const ::testing::TestParamInfo<CaretCase>& info) { return std::string(info.param.name); });

TEST(CaretPositions, FromQtPositions) {
  const Lines lines = {"abc", "de", ""};
  // Qt: a b c | d e | (end)   positions 0..3, 4..6, 7
  const std::vector<std::size_t> expected = {0, 1, 2, 3, 5, 6, 7, 9};
  for (std::size_t pos = 0; pos < expected.size(); ++pos) {
    EXPECT_EQ(CaretFromQtPosition(lines, pos), expected[pos]) << pos;
    EXPECT_EQ(QtPositionFromCaret(lines, expected[pos]), pos) << pos;
  }
  EXPECT_EQ(CaretFromQtPosition(lines, 100), 9u);
}

TEST(CaretPositions, CaretInsideALineBreakOrBeyondGivesALineEnd) {
  const Lines lines = {"abc", "de"};
  EXPECT_EQ(QtPositionFromCaret(lines, 4), 3u);
  EXPECT_EQ(QtPositionFromCaret(lines, 7), 6u);
  EXPECT_EQ(QtPositionFromCaret(lines, 8), 6u);
  EXPECT_EQ(QtPositionFromCaret(lines, 50), 6u);
  EXPECT_EQ(QtPositionFromCaret({}, 5), 0u);
  EXPECT_EQ(CaretFromQtPosition({}, 5), 0u);
}

TEST(CaretPositions, InsertThroughQtPositionsOnASecondLine) {
  const Lines lines = {"Liebe Leser,", "Hallo Welt"};
  const std::size_t qt = 13 + 6;  // after "Hallo " on the second block
  const TCaretInsert r = InsertAtCaret(lines, CaretFromQtPosition(lines, qt), "[%Name]");
  EXPECT_EQ(r.Lines, (Lines{"Liebe Leser,", "Hallo [%Name]Welt"}));
  EXPECT_EQ(QtPositionFromCaret(r.Lines, r.Caret), qt + 7);
}

} // namespace
