#include "editor/MemoText.h"

#include <gtest/gtest.h>

using namespace postello;

namespace {

struct TSplitCase {
  const char* name;
  std::string text;
  std::vector<std::string> lines;
};

class SplitMemoLinesTest : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitMemoLinesTest, Splits) { EXPECT_EQ(SplitMemoLines(GetParam().text), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitMemoLinesTest,
    ::testing::Values(TSplitCase{"Empty", "", {}}, TSplitCase{"OneLine", "abc", {"abc"}},
                      TSplitCase{"CrLf", "a\r\nb", {"a", "b"}},
                      TSplitCase{"TrailingCrLf", "a\r\n", {"a", ""}},
                      TSplitCase{"OnlyCrLf", "\r\n", {"", ""}},
                      TSplitCase{"LoneLf", "a\nb\n\nc", {"a", "b", "", "c"}},
                      TSplitCase{"LoneCr", "a\rb", {"a", "b"}},
                      TSplitCase{"LfCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
                      TSplitCase{"HighBytesStay", "Gr\xFC\xDF" "e\r\n\xA0\x80", {"Gr\xFC\xDF" "e", "\xA0\x80"}},
                      TSplitCase{"NulInside", std::string("a\0b", 3), {std::string("a\0b", 3)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JoinMemoLinesTest, PutsCrLfBetweenLinesOnly) {
  EXPECT_EQ(JoinMemoLines({}), "");
  EXPECT_EQ(JoinMemoLines({""}), "");
  EXPECT_EQ(JoinMemoLines({"a"}), "a");
  EXPECT_EQ(JoinMemoLines({"a", "b"}), "a\r\nb");
  EXPECT_EQ(JoinMemoLines({"a", ""}), "a\r\n");
  EXPECT_EQ(JoinMemoLines({"", "", ""}), "\r\n\r\n");
}

TEST(JoinMemoLinesTest, CrLfTextsSurviveSplitAndJoin) {
  for (const std::string text : {"a", "a\r\nb", "a\r\n", "\r\n\r\nx", "<html>\r\n<body>\r\n\r\n</body></html>"}) {
    EXPECT_EQ(JoinMemoLines(SplitMemoLines(text)), text);
  }
}

} // namespace
