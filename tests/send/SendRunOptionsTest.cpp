// The mail options in the send run: List-Unsubscribe headers and the
// subject merged per recipient, read back by Python's email package.
#include "send/ListUnsubscribe.h"
#include "send/PreSendCheck.h"
#include "send/TSendRun.h"
#include "send/SendRunSupport.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace postello::test;

namespace {

class SendRunOptionsTest : public TSendRunParts {
protected:
  void SetUp() override {
    MakeAddressTable(Table, (Dir.Path() / "adr.dbf").string(),
                     {{"eva@example.org", "R\xF6th", "\xC4nne", "", "", ""},
                      {"max@example.org", "Gro\xDF", "J\xFCrgen Paul", "", "", ""},
                      {"ole@example.org", "Lund", "Ole\r\nBcc: x@evil.example", "", "", ""}});
    TKontoRec* k = Konten.Add();
    k->Absender = "Versand";
    k->Email = "versand@example.org";
    k->Antwort = "versand@example.org";
    k->Server = "127.0.0.1:25";
    TMailRec* m = Mails.Add();
    m->Subject = "[%Vorname], Ihr Angebot f\xFCr M\xE4rz";
    m->MailType = 2;
    m->PlainText = "Hallo [%Vorname]";
  }

  TSendChoice Choice(bool batch = false) {
    TSendChoice c;
    c.BatchMode = batch;
    c.KontoIndex = 0;
    c.MailIndex = 0;
    return c;
  }

  // Runs and describes every message as Python reads it.
  std::string RunAndDescribe(const TSendChoice& choice) {
    std::filesystem::create_directories(Dir.Path() / "out");
    std::vector<std::filesystem::path> files;
    Run.Run(choice, ReadRecipientList(Table, 0), Konten, Mails, [&](const TOutgoingMail& mail) {
      const auto base = Dir.Path() / "out" / std::to_string(mail.Index + 1);
      Sent.push_back(mail.MessageText());
      WriteBytes(base.string() + ".eml", Sent.back());
      files.push_back(base.string() + ".eml");
      return true;
    });
    return DescribeSent(files);
  }
  std::vector<std::string> Sent;
};

} // namespace

TEST_F(SendRunOptionsTest, SubjectMergedPerRecipientWithUmlauts) {
  Mails[0].MergeSubject = true;
  const std::string all = RunAndDescribe(Choice());
  EXPECT_EQ(Line(Block(all, "1.eml"), "subject"), "\xC4nne, Ihr Angebot f\xFCr M\xE4rz") << all;
  EXPECT_EQ(Line(Block(all, "2.eml"), "subject"), "J\xFCrgen Paul, Ihr Angebot f\xFCr M\xE4rz") << all;
  // A line break in a field cannot start a header of its own.
  const std::string third = Block(all, "3.eml");
  EXPECT_EQ(Line(third, "subject"), "Ole  Bcc: x@evil.example, Ihr Angebot f\xFCr M\xE4rz") << all;
  EXPECT_EQ(Line(third, "headers"), "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,"
                                    "Content-Transfer-Encoding,Content-Disposition,Content-Length");
  for (const char* f : {"1.eml", "2.eml", "3.eml"}) EXPECT_EQ(Line(Block(all, f), "defects"), "0") << all;
}

TEST_F(SendRunOptionsTest, StoredMailWithoutTheOptionKeepsItsLiteralSubject) {
  const std::string all = RunAndDescribe(Choice());
  for (const char* f : {"1.eml", "2.eml", "3.eml"})
    EXPECT_EQ(Line(Block(all, f), "subject"), "[%Vorname], Ihr Angebot f\xFCr M\xE4rz") << all;
  EXPECT_EQ(PreSendNotes(Mails[0]), std::vector<std::string>{kSubjectPlaceholderNote});
  Mails[0].MergeSubject = true;
  EXPECT_EQ(PreSendNotes(Mails[0]), std::vector<std::string>{});
}

TEST_F(SendRunOptionsTest, BatchAndTypedAddressLeaveTheSubjectAsItIs) {
  Mails[0].MergeSubject = true;
  EXPECT_EQ(Line(Block(RunAndDescribe(Choice(true)), "1.eml"), "subject"), "[%Vorname], Ihr Angebot f\xFCr M\xE4rz");
  TSendChoice one = Choice();
  one.Recipients = TRecipientChoice::One;
  one.TypedAddress = "x@example.org";
  std::filesystem::remove_all(Dir.Path() / "out");
  EXPECT_EQ(Line(Block(RunAndDescribe(one), "1.eml"), "subject"), "[%Vorname], Ihr Angebot f\xFCr M\xE4rz");
}

TEST_F(SendRunOptionsTest, ListUnsubscribeHeadersPerRecipient) {
  Mails[0].Unsubscribe = "mailto:abmelden@example.org?subject=[%eMail], https://example.org/ab?u=[%eMail]&n=[%Name]";
  const std::string all = RunAndDescribe(Choice());
  const std::string first = Block(all, "1.eml");
  EXPECT_EQ(Line(first, "headers"),
            "From,Reply-To,Subject,Date,Message-ID,List-Unsubscribe,List-Unsubscribe-Post,To,Mime-Version,"
            "X-Mailer,Content-Type,Content-Transfer-Encoding,Content-Disposition,Content-Length");
  EXPECT_EQ(Line(first, "list-unsubscribe"),
            "<mailto:abmelden@example.org?subject=eva@example.org>, "
            "<https://example.org/ab?u=eva@example.org&n=R%F6th>");
  EXPECT_EQ(Line(first, "list-unsubscribe-post"), "List-Unsubscribe=One-Click");
  EXPECT_EQ(Line(Block(all, "2.eml"), "list-unsubscribe"),
            "<mailto:abmelden@example.org?subject=max@example.org>, "
            "<https://example.org/ab?u=max@example.org&n=Gro%DF>");
  EXPECT_EQ(Line(first, "defects"), "0");
}

TEST_F(SendRunOptionsTest, MailtoAloneHasNoOneClickHeader) {
  Mails[0].Unsubscribe = "mailto:weg@example.org";
  const std::string first = Block(RunAndDescribe(Choice()), "1.eml");
  EXPECT_EQ(Line(first, "list-unsubscribe"), "<mailto:weg@example.org>");
  EXPECT_EQ(Line(first, "list-unsubscribe-post"), "(no list-unsubscribe-post)");
}

TEST_F(SendRunOptionsTest, FieldValuesCannotBreakTheUnsubscribeHeader) {
  Mails[0].Unsubscribe = "https://example.org/ab?v=[%Vorname]";
  const std::string third = Block(RunAndDescribe(Choice()), "3.eml");
  EXPECT_EQ(Line(third, "list-unsubscribe"), "<https://example.org/ab?v=Ole%0D%0ABcc:%20x@evil.example>");
  EXPECT_EQ(Line(third, "defects"), "0");
}

TEST(ListUnsubscribe, TargetsAreCheckedSplitAndEscaped) {
  EXPECT_EQ(SplitUnsubscribeTargets(" mailto:a@b , ,https://x/y "),
            (std::vector<std::string>{"mailto:a@b", "https://x/y"}));
  EXPECT_EQ(CheckUnsubscribeText(""), "");
  EXPECT_EQ(CheckUnsubscribeText("MAILTO:a@b, HTTPS://x"), "");
  EXPECT_NE(CheckUnsubscribeText("http://x"), "");
  EXPECT_NE(CheckUnsubscribeText("mailto:"), "");
  EXPECT_NE(CheckUnsubscribeText("https://x\n"), "");
  EXPECT_NE(CheckUnsubscribeText("javascript:alert(1)"), "");
  EXPECT_EQ(EscapeUnsubscribeTarget("a b<c>\"\x7F\xE4%"), "a%20b%3Cc%3E%22%7F%E4%");
  // Targets of another scheme never reach the header.
  EXPECT_EQ(ListUnsubscribeValue({"ftp://x", "https://y"}), "<https://y>");
  EXPECT_EQ(ListUnsubscribeValue({"ftp://x"}), "");
  EXPECT_FALSE(HasOneClickTarget({"mailto:a@b", "http://x"}));
}

// Batch messages carry the empty recipient group where a personalised one
// has its To line, unless the mail turns it off; Python reads it cleanly.
TEST_F(SendRunOptionsTest, BatchMessagesCarryTheUndisclosedRecipientsGroup) {
  struct TCase {
    bool Batch, BccToLine;
    const char* ToLine; // "" : no To line at all
    const char* Headers;
  };
  const TCase cases[] = {
      {true, true, "To: undisclosed-recipients:;\r\n",
       "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,"},
      {true, false, "", "From,Reply-To,Subject,Date,Message-ID,Mime-Version,X-Mailer,Content-Type,"},
      {false, true, "To: <eva@example.org>\r\n",
       "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,"},
  };
  for (const TCase& c : cases) {
    Mails[0].BccToLine = c.BccToLine;
    std::filesystem::remove_all(Dir.Path() / "out");
    Sent.clear();
    const std::string all = RunAndDescribe(Choice(c.Batch));
    ASSERT_FALSE(Sent.empty());
    const std::string head = Sent[0].substr(0, Sent[0].find("\r\n\r\n") + 2);
    const std::size_t to = head.find("\r\nTo:");
    EXPECT_EQ(to == std::string::npos ? "" : head.substr(to + 2, head.find("\r\n", to + 2) - to), c.ToLine) << head;
    EXPECT_EQ(Line(Block(all, "1.eml"), "headers").rfind(c.Headers, 0), 0u) << all;
    EXPECT_EQ(Line(Block(all, "1.eml"), "defects"), "0") << all;
  }
}
