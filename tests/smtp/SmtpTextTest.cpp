// The text helpers of the session: addresses, recipient lists, server text.
#include "smtp/TSMTPSend.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(SmtpText, ExtractAddressTakesTheTextInsideTheBrackets) {
  const struct {
    const char* text;
    const char* address;
  } rows[] = {
      {"a@example.org", "a@example.org"},
      {"Hans Meier <hans@example.org>", "hans@example.org"},
      {"<hans@example.org>", "hans@example.org"},
      {"  < hans@example.org >  ", "hans@example.org"},
      {"Hans <hans@example.org", "hans@example.org"},
      {"hans@example.org> rest", "hans@example.org"},
      {"a <b> <c>", "b"},
      {"\t\r\nx@y\r\n", "x@y"},
      {"<>", ""},
      {"", ""},
      {"Name only", "Name only"},
      {"M\xFCller <m\xFCller@example.org>", "m\xFCller@example.org"},
  };
  for (const auto& row : rows) EXPECT_EQ(ExtractAddress(row.text), row.address) << row.text;
}

TEST(SmtpText, RecipientListIsCutAtCommas) {
  EXPECT_EQ(SplitRecipientList("a@x"), std::vector<std::string>{"a@x"});
  EXPECT_EQ(SplitRecipientList("a@x, b@y"), (std::vector<std::string>{"a@x", "b@y"}));
  EXPECT_EQ(SplitRecipientList("A <a@x>,B <b@y> ,  c@z"),
            (std::vector<std::string>{"a@x", "b@y", "c@z"}));
  EXPECT_EQ(SplitRecipientList("a@x,,b@y"), (std::vector<std::string>{"a@x", "", "b@y"}));
  EXPECT_EQ(SplitRecipientList(", a@x"), (std::vector<std::string>{"", "a@x"}));
  EXPECT_EQ(SplitRecipientList("a@x,"), std::vector<std::string>{"a@x"});
  EXPECT_EQ(SplitRecipientList(""), std::vector<std::string>{""});
  EXPECT_EQ(SplitRecipientList("  "), std::vector<std::string>{""});
}

TEST(SmtpText, ControlCharactersAreFoundAnywhere) {
  EXPECT_FALSE(HasControlCharacter("a@example.org"));
  EXPECT_FALSE(HasControlCharacter("m\xFCller@example.org"));
  EXPECT_FALSE(HasControlCharacter(""));
  EXPECT_TRUE(HasControlCharacter("a\r@x"));
  EXPECT_TRUE(HasControlCharacter("a@x\n"));
  EXPECT_TRUE(HasControlCharacter(std::string("a\0@x", 4)));
  EXPECT_TRUE(HasControlCharacter("a\x1f@x"));
  EXPECT_TRUE(HasControlCharacter("a\x7f@x"));
}

TEST(SmtpText, SplitServerKeepsDefaultsWhereTheTextSaysNothing) {
  TSMTPSend session;
  EXPECT_EQ(session.ServerHost, "127.0.0.1");
  EXPECT_EQ(session.ServerPort, "smtp");
  EXPECT_EQ(session.ReadTimeout, 60000);
  EXPECT_FALSE(session.HeloName.empty());
  session.SplitServer("host:");
  EXPECT_EQ(session.ServerHost, "host");
  EXPECT_EQ(session.ServerPort, "smtp");
  session.SplitServer(":25");
  EXPECT_EQ(session.ServerHost, "");
  EXPECT_EQ(session.ServerPort, "25");
  // Only the first colon separates: the rest belongs to the port.
  session.SplitServer("h:1:2");
  EXPECT_EQ(session.ServerHost, "h:1:2");
}
