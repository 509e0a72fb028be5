#include "mime/TMailRecipients.h"
#include "mime/ZIzorAvarivi2000.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(MailRecipients, AddAddressAppendsTheLineAndRemoveAllTakesItAway) {
  ZIzorAvarivi2000 msg;
  msg.SetHeaderValue("From", "<s@example.org>");
  msg.ToRecipients.RemoveAll();
  msg.ToRecipients.AddAddress("", "r@example.org");
  EXPECT_EQ(msg.Header, (std::vector<std::string>{"From: <s@example.org>", "To: <r@example.org>"}));
  msg.SetHeaderValue("Subject", "x");
  msg.ToRecipients.AddAddress("Max", "m@example.org");
  // The line is written anew, so it moves to the end.
  EXPECT_EQ(msg.Header, (std::vector<std::string>{"From: <s@example.org>", "Subject: x",
                                                  "To: <r@example.org>, \"Max\" <m@example.org>"}));
  msg.ToRecipients.RemoveAll();
  EXPECT_EQ(msg.Header, (std::vector<std::string>{"From: <s@example.org>", "Subject: x"}));
  EXPECT_TRUE(msg.ToRecipients.Addresses.empty());
  msg.BccRecipients.RemoveAll();
  EXPECT_EQ(msg.Header.size(), 2u);
}

TEST(MailRecipients, NamesAreQuotedAndEncodedWhenNeeded) {
  ZIzorAvarivi2000 msg;
  msg.CcRecipients.AddAddress(" Max M\xFCller ", " mm@example.org ");
  msg.CcRecipients.AddAddress("Vertrieb", "v@example.org");
  msg.CcRecipients.AddAddress("Max Mustermann", "x@example.org");
  ASSERT_EQ(msg.Header.size(), 1u);
  EXPECT_EQ(msg.Header[0],
            "Cc: \"=?iso-8859-1?Q?Max=20M=FCller?=\" <mm@example.org>, \"Vertrieb\" <v@example.org>, "
            "\"=?iso-8859-1?Q?Max=20Mustermann?=\" <x@example.org>");
}

TEST(MailRecipients, ReadFromHeaderParsesQuotedNamesCommentsAndBareAddresses) {
  ZIzorAvarivi2000 msg;
  msg.Header = {"To: \"Max\" <m@x.de>, plain@y.de, z@w.de (Zed), \"=?iso-8859-1?Q?Gr=FC=DFe?=\" <g@h.de>, "
                "<only@a.de>, Bare Name <b @ n.de>"};
  msg.ToRecipients.ReadFromHeader();
  EXPECT_EQ(msg.ToRecipients.Addresses,
            (std::vector<std::string>{"m@x.de", "plain@y.de", "z@w.de", "g@h.de", "only@a.de", "b@n.de"}));
  EXPECT_EQ(msg.ToRecipients.Names,
            (std::vector<std::string>{"Max", "", "Zed", "Gr\xFC\xDF" "e", "", "Bare Name"}));
}

TEST(MailRecipients, ListsFollowTheHeaderOnlyWhenItsLengthChanged) {
  ZIzorAvarivi2000 msg;
  msg.ToRecipients.RemoveAll();
  msg.ToRecipients.AddAddress("", "a@b.de");
  // Same length: taken to be current, not parsed again.
  msg.Header[0] = "To: <c@d.de>";
  msg.ToRecipients.AddAddress("", "e@f.de");
  EXPECT_EQ(msg.Header, (std::vector<std::string>{"To: <a@b.de>, <e@f.de>"}));
  // Another length: parsed from the header first.
  msg.Header[0] = "To: <long@name.de>";
  msg.ToRecipients.AddAddress("", "g@h.de");
  EXPECT_EQ(msg.Header, (std::vector<std::string>{"To: <long@name.de>, <g@h.de>"}));
}

// An address taken from the database must not be able to add a header line.
TEST(MailRecipients, AddressWithLineBreakStaysInItsLine) {
  ZIzorAvarivi2000 msg;
  msg.ToRecipients.RemoveAll();
  msg.ToRecipients.AddAddress("", "r@example.org>\r\nBcc: <victim@example.org");
  ASSERT_EQ(msg.Header.size(), 1u);
  EXPECT_EQ(msg.Header[0], "To: <r@example.org>  Bcc: <victim@example.org>");
}
