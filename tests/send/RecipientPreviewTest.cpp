// The mail as each recipient gets it: merged subject and parts, and the
// placeholders that name no field.
#include "send/RecipientPreview.h"
#include "send/SendRunSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace postello;
using postello::test::MakeAddressTable;
using postello::test::TTempDir;

TEST(RecipientPreview, EachRecordGetsItsOwnMailAndUnknownPlaceholdersAreNamed) {
  TTempDir dir;
  TDbf table;
  MakeAddressTable(table, (dir.Path() / "adr.dbf").string(),
                   {{"eva@example.org", "Roth", "Eva", "Frau", "a\r\nb", ""},
                    {"max@example.org", "Muster", "Max", "Herr", "", ""},
                    {"jo@example.org", "Lang", "Jo", "", "", ""}});
  TMailRecFields mail;
  mail.Subject = "Hallo [%Vorname] [%Info 1]";
  mail.MergeSubject = true;
  mail.MailType = 1;
  mail.HtmlText = "<p>[%Anrede] [%Name] [%Tippfehler]</p>";
  mail.PlainText = "[%Name], [%Tippfehler] [%Rabatt] [%Name";
  struct Row {
    std::uint32_t position;
    const char* subject;
    const char* html;
    const char* text;
  } rows[] = {
      {0, "Hallo Eva a  b", "<p>Frau Roth [%Tippfehler]</p>", "Roth, [%Tippfehler] [%Rabatt] [%Name"},
      {1, "Hallo Max ", "<p>Herr Muster [%Tippfehler]</p>", "Muster, [%Tippfehler] [%Rabatt] [%Name"},
      {2, "Hallo Jo ", "<p> Lang [%Tippfehler]</p>", "Lang, [%Tippfehler] [%Rabatt] [%Name"},
  };
  for (const Row& r : rows) {
    const TRecipientPreview p = PreviewForRecord(mail, table, r.position);
    EXPECT_EQ(p.Subject, r.subject) << r.position;
    EXPECT_TRUE(p.HasHtml);
    EXPECT_EQ(p.Html, r.html) << r.position;
    EXPECT_EQ(p.Text, r.text) << r.position;
    EXPECT_EQ(p.Unknown, (std::vector<std::string>{"[%Tippfehler]", "[%Rabatt]"})) << r.position;
  }
  EXPECT_THROW(PreviewForRecord(mail, table, 3), std::out_of_range);

  // Unmerged subject, text mail: no HTML part, the subject as written.
  mail.MergeSubject = false;
  mail.MailType = 2;
  const TRecipientPreview p = PreviewForRecord(mail, table, 1);
  EXPECT_EQ(p.Subject, "Hallo [%Vorname] [%Info 1]");
  EXPECT_FALSE(p.HasHtml);
  EXPECT_EQ(p.Html, "");
}

TEST(RecipientPreview, MarkPlaceholdersWrapsEveryOccurrence) {
  EXPECT_EQ(MarkPlaceholders("<p>[%X] und [%X]</p>", {"[%X]"}),
            "<p><mark style=\"background:#ffd54f;color:#000\">[%X]</mark> und "
            "<mark style=\"background:#ffd54f;color:#000\">[%X]</mark></p>");
  EXPECT_EQ(MarkPlaceholders("<p>ohne</p>", {"[%X]"}), "<p>ohne</p>");
}
