#include "mime/ZIzorAvarivi2000.h"

#include "MimeTestSupport.h"
#include "mime/MakeBoundary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace postello;
using namespace postello::mimetest;

namespace {

const std::string kMailer = "X-Mailer: Duver Erevuv http://www.postello.example/";

class MessageTest : public ::testing::Test {
protected:
  void SetUp() override {
    Zone.Set("CET-1");
    Msg.ApplyFormSettings();
    WriteFile(Dir.Path("logo.gif"), "GIF89a");
    WriteFile(Dir.Path("preise.pdf"), "%PDF-1.4");
  }

  // The send run's sequence for one personalised message of an HTML kind.
  void ComposeExample(bool fromBytes = false) {
    Msg.ClearMessage();
    Msg.SetSender("Vertrieb", "s@example.org");
    Msg.SetReplyAddress("Vertrieb", "a@example.org");
    Msg.SetSubjectLine("Angebot Dezember");
    Msg.SetSendDate({2026, 12, 8, 2, 0, 33});
    Msg.ToRecipients.RemoveAll();
    Msg.ToRecipients.AddAddress("", "r@example.org");
    Msg.BccRecipients.RemoveAll();
    Msg.SetHtmlBody("<p>Hi</p>");
    Msg.SetPlainBody("Hallo");
    if (fromBytes) {
      Msg.AddAttachmentBytes(ZIzorAvarivi2000::ReadAttachmentBytes(Dir.Path("logo.gif")), Dir.Path("logo.gif"), "",
                             true);
      Msg.AddAttachmentBytes(ZIzorAvarivi2000::ReadAttachmentBytes(Dir.Path("preise.pdf")),
                             Dir.Path("preise.pdf"), "", false);
    } else {
      Msg.AddAttachmentFile(Dir.Path("logo.gif"), "", true);
      Msg.AddAttachmentFile(Dir.Path("preise.pdf"), "", false);
    }
    Msg.ComposeBody();
  }

  TZoneGuard Zone;
  TTempDir Dir;
  ZIzorAvarivi2000 Msg;
};

std::vector<std::string> Draw(std::uint32_t seed, int count) {
  SeedBoundaries(seed);
  std::vector<std::string> boundaries;
  for (int i = 0; i < count; ++i) boundaries.push_back(MakeBoundary());
  SeedBoundaries(seed);
  return boundaries;
}

} // namespace

TEST_F(MessageTest, PersonalisedMessageEndToEnd) {
  // Four rebuilds draw 0, 1, 2 and 3 boundaries; the last three stay.
  const std::vector<std::string> b = Draw(7, 6);
  const std::string X = b[3] + "_mixed", Y = b[4] + "_related", Z = b[5] + "_alternative";
  ComposeExample();

  const std::string body =
      "This is a multipart message in mime format.\r\n"
      "\r\n"
      "--" + X + "\r\n"
      "Content-Type: multipart/related; boundary=\"" + Y + "\"\r\n"
      "\r\n"
      "\r\n"
      "--" + Y + "\r\n"
      "Content-Type: multipart/alternative; boundary=\"" + Z + "\"\r\n"
      "\r\n"
      "\r\n"
      "--" + Z + "\r\n"
      "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: inline\r\n"
      "Content-Length: 10\r\n"
      "\r\n"
      "SGFsbG8=\r\n"
      "\r\n"
      "--" + Z + "\r\n"
      "Content-Type: text/html; charset=\"iso-8859-1\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: inline\r\n"
      "Content-Length: 14\r\n"
      "\r\n"
      "PHA+SGk8L3A+\r\n"
      "\r\n"
      "--" + Z + "--\r\n"
      "\r\n"
      "--" + Y + "\r\n"
      "Content-Type: image/gif\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "X-Vezi2000-Attachment: \"logo.gif\"; embedded=yes\r\n"
      "Content-Length: 10\r\n"
      "Content-Disposition: inline\r\n"
      "Content-ID: <LOGO.GIF>\r\n"
      "\r\n"
      "R0lGODlh\r\n"
      "\r\n"
      "--" + Y + "--\r\n"
      "\r\n"
      "--" + X + "\r\n"
      "Content-Type: application/pdf; name=\"preise.pdf\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "X-Vezi2000-Attachment: \"preise.pdf\"; embedded=no\r\n"
      "Content-Length: 14\r\n"
      "Content-Disposition: attachment; filename=\"preise.pdf\"\r\n"
      "\r\n"
      "JVBERi0xLjQ=\r\n"
      "\r\n"
      "--" + X + "--\r\n";
  const std::string header =
      "From: \"Vertrieb\" <s@example.org>\r\n"
      "Reply-To: \"Vertrieb\" <a@example.org>\r\n"
      "Subject: =?iso-8859-1?Q?Angebot=20Dezember?=\r\n"
      "Date: Tue, 08 Dec 2026 02:00:33 +0100\r\n"
      "To: <r@example.org>\r\n"
      "Mime-Version: 1.0\r\n" +
      kMailer + "\r\n"
      "Content-Type: multipart/mixed; boundary=\"" + X + "\"\r\n"
      "Content-Length: " + std::to_string(body.size()) + "\r\n";
  EXPECT_EQ(Msg.HeaderText(), header);
  EXPECT_EQ(Msg.EncodedBody, body);
  EXPECT_EQ(Msg.MessageText(), header + "\r\n" + body);
  // Only the parts of the final tree are left alive.
  EXPECT_EQ(Msg.OwnedPartCount(), 6);
  EXPECT_EQ(Msg.AttachList.Count(), 2);
}

TEST_F(MessageTest, AttachmentsReadOnceGiveTheSameBytes) {
  SeedBoundaries(99);
  ComposeExample(false);
  const std::string fromFiles = Msg.MessageText();
  SeedBoundaries(99);
  ComposeExample(true);
  EXPECT_EQ(Msg.MessageText(), fromFiles);

  // Bytes encoded otherwise than the message wants are encoded anew.
  TAttachmentBytes qp = ZIzorAvarivi2000::ReadAttachmentBytes(Dir.Path("preise.pdf"), etQuotedPrintable);
  EXPECT_EQ(qp.Encoded, "%PDF-1.4\r\n");
  Msg.ClearMessage();
  Msg.AddAttachmentBytes(qp, Dir.Path("preise.pdf"), "", false);
  EXPECT_EQ(Msg.EncodedBody, "JVBERi0xLjQ=\r\n");
}

TEST_F(MessageTest, SinglePlainTextMessage) {
  Msg.SetSender("", "s@example.org");
  Msg.SetSubjectLine("Hallo");
  Msg.SetSendDate({2026, 1, 1, 23, 59, 59});
  Msg.SetPlainBody("Hallo");
  Msg.ComposeBody();
  EXPECT_EQ(Msg.MessageText(),
            "From: <s@example.org>\r\n"
            "Subject: Hallo\r\n"
            "Date: Thu, 01 Jan 2026 23:59:59 +0100\r\n"
            "Mime-Version: 1.0\r\n" +
                kMailer + "\r\n"
                "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "Content-Disposition: inline\r\n"
                "Content-Length: 10\r\n"
                "\r\n"
                "SGFsbG8=\r\n");
  EXPECT_EQ(Msg.PlainLines, (std::vector<std::string>{"Hallo"}));
}

TEST_F(MessageTest, TextLineEndsBecomeCrLf) {
  Msg.SetPlainBody("a\nb\rc\r\nd");
  EXPECT_EQ(Msg.DecodedBody, "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(Msg.PlainLines, (std::vector<std::string>{"a", "b", "c", "d"}));
  // Setting the same text again replaces it in place without a rebuild.
  SeedBoundaries(1);
  const auto header = Msg.Header;
  Msg.SetPlainBody("neu");
  EXPECT_EQ(Msg.DecodedBody, "neu");
  EXPECT_EQ(Msg.Header.size(), header.size());
  EXPECT_EQ(Msg.PlainPart, static_cast<TMailPart*>(&Msg));
}

TEST_F(MessageTest, HtmlGivenFirstStillFollowsThePlainText) {
  const std::vector<std::string> b = Draw(3, 1);
  Msg.SetHtmlBody("<b>x</b>");
  Msg.SetPlainBody("x");
  Msg.ComposeBody();
  const std::string Z = b[0] + "_alternative";
  EXPECT_EQ(Describe(Msg), "multipart/alternative(text/plain,text/html)");
  EXPECT_EQ(Msg.HeaderValue("Content-Type"), "multipart/alternative");
  EXPECT_EQ(Msg.BoundaryParam(), Z);
  EXPECT_EQ(Msg.EncodedBody,
            "This is a multipart message in mime format.\r\n"
            "\r\n--" + Z + "\r\n"
            "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: inline\r\n"
            "Content-Length: 6\r\n"
            "\r\n"
            "eA==\r\n"
            "\r\n--" + Z + "\r\n"
            "Content-Type: text/html; charset=\"iso-8859-1\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: inline\r\n"
            "Content-Length: 14\r\n"
            "\r\n"
            "PGI+eDwvYj4=\r\n"
            "\r\n--" + Z + "--\r\n");
  EXPECT_EQ(Msg.OwnedPartCount(), 2);
}

TEST_F(MessageTest, PictureAndAttachmentInEitherOrderGiveTheSameTree) {
  const std::string expected =
      "multipart/mixed(multipart/related(multipart/alternative(text/plain,text/html),image/gif),application/pdf)";
  for (bool pictureFirst : {true, false}) {
    Msg.ClearMessage();
    Msg.SetHtmlBody("<p>Hi</p>");
    Msg.SetPlainBody("Hi");
    if (pictureFirst) Msg.AddAttachmentFile(Dir.Path("logo.gif"), "", true);
    Msg.AddAttachmentFile(Dir.Path("preise.pdf"), "", false);
    if (!pictureFirst) Msg.AddAttachmentFile(Dir.Path("logo.gif"), "", true);
    Msg.ComposeBody();
    EXPECT_EQ(Describe(Msg), expected) << pictureFirst;
    EXPECT_EQ(Msg.OwnedPartCount(), 6) << pictureFirst;
    EXPECT_EQ(Msg.MixedPart, static_cast<TMailPart*>(&Msg));
    ASSERT_NE(Msg.RelatedPart, nullptr);
    EXPECT_EQ(Msg.RelatedPart->ParentPart, static_cast<TMailPart*>(&Msg));
    EXPECT_EQ(Msg.TextContainer, Msg.AlternativePart);
    EXPECT_EQ(Msg.AlternativePart->ParentBoundary, Msg.RelatedPart->BoundaryParam());
  }
}

TEST_F(MessageTest, OneAttachmentAloneIsCarriedByTheMessage) {
  Msg.AddAttachmentFile(Dir.Path("preise.pdf"), "", false);
  Msg.ComposeBody();
  EXPECT_EQ(Msg.Header, (std::vector<std::string>{
                            "Mime-Version: 1.0", kMailer,
                            "Content-Type: application/pdf; name=\"preise.pdf\"",
                            "Content-Transfer-Encoding: base64",
                            "X-Vezi2000-Attachment: \"preise.pdf\"; embedded=no",
                            "Content-Length: 14",
                            "Content-Disposition: attachment; filename=\"preise.pdf\"",
                        }));
  EXPECT_EQ(Msg.EncodedBody, "JVBERi0xLjQ=\r\n");
  EXPECT_EQ(Msg.AttachList.Count(), 1);
  EXPECT_EQ(Msg.AttachList[0], static_cast<TMailPart*>(&Msg));
  EXPECT_EQ(Msg.OwnedPartCount(), 0);
}

TEST_F(MessageTest, TwoAttachmentsWithoutTextAreMixed) {
  const std::vector<std::string> b = Draw(11, 1);
  const std::string X = b[0] + "_mixed";
  Msg.AddAttachmentFile(Dir.Path("preise.pdf"), "", false);
  Msg.AddAttachmentFile(Dir.Path("logo.gif"), "image/x-own", false);
  Msg.ComposeBody();
  EXPECT_EQ(Describe(Msg), "multipart/mixed(application/pdf,image/x-own)");
  EXPECT_EQ(Msg.EncodedBody,
            "This is a multipart message in mime format.\r\n"
            "\r\n--" + X + "\r\n"
            // The first part was the message's own: its content lines moved,
            // and its name came back from the name parameter.
            "Content-Type: application/pdf; name=\"preise.pdf\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Length: 14\r\n"
            "Content-Disposition: attachment; filename=\"preise.pdf\"\r\n"
            "X-Vezi2000-Attachment: \"preise.pdf\"; embedded=no\r\n"
            "\r\n"
            "JVBERi0xLjQ=\r\n"
            "\r\n--" + X + "\r\n"
            "Content-Type: image/x-own; name=\"logo.gif\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "X-Vezi2000-Attachment: \"logo.gif\"; embedded=no\r\n"
            "Content-Length: 10\r\n"
            "Content-Disposition: attachment; filename=\"logo.gif\"\r\n"
            "\r\n"
            "R0lGODlh\r\n"
            "\r\n--" + X + "--\r\n");
  EXPECT_EQ(Msg.HeaderValue("X-Vezi2000-Attachment"), "");
  EXPECT_EQ(Msg.HeaderValue("Content-Transfer-Encoding"), "");
}

TEST_F(MessageTest, PicturesWithoutTextAreRelatedAndTextWithPictureNestsTheText) {
  Msg.AddAttachmentFile(Dir.Path("logo.gif"), "", true);
  Msg.ComposeBody();
  Msg.AddAttachmentStream(std::string_view("\x89PNG"), "/x/y/bild.png", "", true);
  Msg.ComposeBody();
  EXPECT_EQ(Describe(Msg), "multipart/related(image/gif,image/png)");
  EXPECT_EQ(Msg.OwnedPartCount(), 2);
  EXPECT_EQ(Msg.AttachList[1]->HeaderValue("Content-ID"), "<BILD.PNG>");

  Msg.ClearMessage();
  Msg.SetPlainBody("nur Text");
  Msg.AddAttachmentFile(Dir.Path("logo.gif"), "", true);
  Msg.ComposeBody();
  EXPECT_EQ(Describe(Msg), "multipart/related(text/plain,image/gif)");
  EXPECT_EQ(Msg.PlainPart->ParentPart, static_cast<TMailPart*>(&Msg));
}

TEST_F(MessageTest, EmptyTextsStillGiveBothPartsWithABlank) {
  Msg.SetHtmlBody("");
  Msg.SetPlainBody("");
  Msg.AddAttachmentFile(Dir.Path("preise.pdf"), "", false);
  Msg.ComposeBody();
  EXPECT_EQ(Describe(Msg), "multipart/mixed(multipart/alternative(text/plain,text/html),application/pdf)");
  EXPECT_EQ(Msg.PlainPart->EncodedBody, "IA==\r\n");
  EXPECT_EQ(Msg.HtmlPart->EncodedBody, "IA==\r\n");
}

TEST_F(MessageTest, SubjectAndNamesAreEncodedOnlyWhenNeeded) {
  Msg.SetSubjectLine("Angebot");
  EXPECT_EQ(Msg.Header.back(), "Subject: Angebot");
  Msg.SetSubjectLine("Gr\xFC\xDF" "e");
  EXPECT_EQ(Msg.Header.back(), "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=");
  Msg.SetSubjectLine("");
  EXPECT_FALSE(Msg.HasHeader("Subject"));
  Msg.SetSender("Max M\xFCller", "m@example.org");
  EXPECT_EQ(Msg.Header.back(), "From: \"=?iso-8859-1?Q?Max=20M=FCller?=\" <m@example.org>");
  Msg.SetReplyAddress("Vertrieb", "");
  EXPECT_FALSE(Msg.HasHeader("Reply-To"));
  Msg.SetSender("Vertrieb", "");
  EXPECT_TRUE(Msg.Header.empty());
}

// Regression: a subject of several encoded words went out on one line of
// well over 76 characters. It is folded between the words only.
TEST_F(MessageTest, LongEncodedHeadersAreFoldedBetweenTheirWords) {
  for (std::size_t length : {10u, 60u, 200u, 600u}) {
    SCOPED_TRACE(length);
    const std::string subject = "\x80 " + std::string(length, 'a') + " \xFC";
    Msg.SetSubjectLine(subject);
    Msg.SetHeaderValue("X-Long", std::string(100, 'x') + " =?a?Q?b?= =?a?Q?c?=");
    const std::string text = Msg.HeaderText();
    EXPECT_EQ(text.size(), Msg.HeaderTextLength());
    std::string unfolded = text;
    for (std::size_t at; (at = unfolded.find("\r\n ")) != std::string::npos;) unfolded.erase(at, 2);
    EXPECT_EQ(unfolded, Msg.Header[0] + "\r\n" + Msg.Header[1] + "\r\n");
    std::size_t lineStart = 0;
    for (std::size_t end; (end = text.find("\r\n", lineStart)) != std::string::npos; lineStart = end + 2) {
      const std::string line = text.substr(lineStart, end - lineStart);
      if (line.rfind("Subject:", 0) == 0) EXPECT_LE(line.size(), 84u) << line;  // "Subject: " and one word
      if (line[0] != ' ') continue;
      EXPECT_LE(line.size(), 76u) << line;
      EXPECT_EQ(line.rfind(" =?", 0), 0u) << line;
    }
    Msg.Header.clear();
  }
}

TEST_F(MessageTest, FileNamesWithBlanksAndUmlautsStandAsEncodedWords) {
  Msg.SetPlainBody("x");
  Msg.AddAttachmentStream(std::string_view("data"), "/tmp/Preis Liste \xE4.pdf", "", false);
  Msg.AddAttachmentStream(std::string_view("gif"), "/tmp/l\xF6go.gif", "", true);
  Msg.ComposeBody();
  const TMailPart* pdf = Msg.AttachList[0];
  const std::string word = "\"=?iso-8859-1?Q?Preis=20Liste=20=E4.pdf?=\"";
  EXPECT_EQ(pdf->Header[0], "Content-Type: application/pdf; name=" + word);
  EXPECT_EQ(pdf->Header[2], "X-Vezi2000-Attachment: " + word + "; embedded=no");
  EXPECT_EQ(pdf->Header[4], "Content-Disposition: attachment; filename=" + word);
  EXPECT_EQ(pdf->AttachmentName(), "Preis Liste \xE4.pdf");
  // Content-ID capitals only a to z.
  EXPECT_EQ(Msg.AttachList[1]->HeaderValue("Content-ID"), "<L\xF6GO.GIF>");
}

// A file name is a value from outside: a line break in it must not start a
// header line of its own.
TEST_F(MessageTest, LineBreakInAFileNameCannotInjectHeaderLines) {
  Msg.SetPlainBody("x");
  Msg.AddAttachmentStream(std::string_view("gif"), "/tmp/a\r\nBcc: x@y.gif", "", true);
  Msg.ComposeBody();
  const std::string text = Msg.MessageText();
  EXPECT_EQ(text.find("\r\nBcc"), std::string::npos);
  EXPECT_EQ(Msg.AttachList[0]->HeaderValue("Content-ID"), "<A  BCC: X@Y.GIF>");
}

TEST_F(MessageTest, ContentLocationWhenEmbeddingByLocationAndQuotedPrintableTexts) {
  ZIzorAvarivi2000 plain; // the component's own defaults
  plain.SetPlainBody("Gr\xFC\xDF" "e");
  EXPECT_EQ(plain.EncodedBody, "Gr=FC=DFe\r\n");
  EXPECT_EQ(plain.HeaderValue("Content-Transfer-Encoding"), "quoted-printable");
  plain.AddAttachmentFile(Dir.Path("logo.gif"), "", true);
  plain.ComposeBody();
  EXPECT_EQ(plain.AttachList[0]->HeaderValue("Content-Location"), "http://127.0.0.1/logo.gif");
  EXPECT_FALSE(plain.AttachList[0]->HasHeader("Content-ID"));
  EXPECT_EQ(plain.PlainPart->DecodedBody, "Gr\xFC\xDF" "e\r\n");
}

TEST_F(MessageTest, DateUsesTheZoneOffsetAndGmtForZero) {
  EXPECT_EQ(FormatMailDate({2026, 12, 8, 2, 0, 33}, 0), "Tue, 08 Dec 2026 02:00:33 GMT");
  EXPECT_EQ(FormatMailDate({2026, 12, 8, 2, 0, 33}, 60), "Tue, 08 Dec 2026 02:00:33 +0100");
  EXPECT_EQ(FormatMailDate({2024, 2, 29, 14, 5, 9}, -210), "Thu, 29 Feb 2024 14:05:09 -0330");
  EXPECT_EQ(FormatMailDate({2000, 7, 2, 0, 0, 0}, 330), "Sun, 02 Jul 2000 00:00:00 +0530");
  Zone.Set("UTC0");
  EXPECT_EQ(LocalZoneOffset(), 0);
  Msg.SetSendDate({2026, 12, 8, 2, 0, 33});
  EXPECT_EQ(Msg.Header.back(), "Date: Tue, 08 Dec 2026 02:00:33 GMT");
  Zone.Set("<-0330>3:30");
  EXPECT_EQ(LocalZoneOffset(), -210);
  Msg.SetSendDate({2026, 12, 8, 2, 0, 33});
  EXPECT_EQ(Msg.Header, (std::vector<std::string>{"Date: Tue, 08 Dec 2026 02:00:33 -0330"}));
}

TEST_F(MessageTest, EveryMessageDrawsNewBoundariesAndClosesEveryContainer) {
  ComposeExample();
  const std::string first = Msg.BoundaryParam();
  const std::string text1 = Msg.MessageText();
  ComposeExample();
  const std::string second = Msg.BoundaryParam();
  EXPECT_NE(first, second);
  for (const std::string& boundary : {first, second}) {
    EXPECT_EQ(boundary.size(), 8u + 8u + 6u);
    EXPECT_EQ(boundary.substr(0, 8), "boundary");
    EXPECT_EQ(boundary.find_first_not_of("0123456789ABCDEF", 8), 16u);
  }
  const std::string body = Msg.EncodedBody;
  for (const TMailPart* container : {Msg.MixedPart, Msg.RelatedPart, Msg.AlternativePart}) {
    const std::string boundary = container->BoundaryParam();
    EXPECT_NE(Msg.MessageText().find("boundary=\"" + boundary + "\"\r\n"), std::string::npos);
    EXPECT_NE(body.find("\r\n\r\n--" + boundary + "--\r\n"), std::string::npos) << boundary;
    EXPECT_EQ(text1.find(boundary), std::string::npos);
  }
}

TEST_F(MessageTest, ComposeOnlyAfterAChange) {
  Msg.SetPlainBody("a");
  Msg.SetHtmlBody("b");
  Msg.ComposeBody();
  EXPECT_FALSE(Msg.BodyChanged);
  Msg.EncodedBody = "untouched";
  Msg.ComposeBody();
  EXPECT_EQ(Msg.EncodedBody, "untouched");
  Msg.AddAttachmentFile(Dir.Path("preise.pdf"), "", false);
  EXPECT_TRUE(Msg.BodyChanged);
  Msg.ComposeBody();
  EXPECT_EQ(Describe(Msg), "multipart/mixed(multipart/alternative(text/plain,text/html),application/pdf)");
  EXPECT_EQ(Msg.HeaderValue("Content-Length"), std::to_string(Msg.EncodedBody.size()));
  EXPECT_EQ(Msg.OwnedPartCount(), 4);
}

TEST_F(MessageTest, UnreadableFileLeavesTheMessageUnchanged) {
  Msg.SetPlainBody("x");
  Msg.SetHtmlBody("y");
  Msg.ComposeBody();
  const auto header = Msg.Header;
  const std::string body = Msg.EncodedBody;
  const int parts = Msg.OwnedPartCount();
  try {
    Msg.AddAttachmentFile(Dir.Path("fehlt.pdf"), "", false);
    FAIL() << "no error for a missing file";
  } catch (const EFOpenError& error) {
    // A missing attachment at sending time: German, with the file and the reason.
    EXPECT_EQ(std::string(error.what()), "Die Datei \"" + Dir.Path("fehlt.pdf") +
                                             "\" kann nicht ge\xF6" "ffnet werden: Die Datei oder der Ordner existiert nicht.");
  }
  EXPECT_EQ(Msg.Header, header);
  EXPECT_EQ(Msg.EncodedBody, body);
  EXPECT_EQ(Msg.OwnedPartCount(), parts);
  EXPECT_EQ(Msg.AttachList.Count(), 0);
  EXPECT_FALSE(Msg.BodyChanged);
  EXPECT_THROW(ZIzorAvarivi2000::ReadAttachmentBytes(Dir.Path("fehlt.pdf")), EFOpenError);
}

TEST_F(MessageTest, MessageIdCanGoRightAfterDate) {
  ComposeExample();
  Msg.SetHeaderValueAfter("Message-ID", "<1.2@example.org>", "Date");
  EXPECT_EQ(Msg.Header[3], "Date: Tue, 08 Dec 2026 02:00:33 +0100");
  EXPECT_EQ(Msg.Header[4], "Message-ID: <1.2@example.org>");
  EXPECT_EQ(Msg.Header[5], "To: <r@example.org>");
}

TEST_F(MessageTest, StreamIsReadFromItsStart) {
  std::istringstream stream("GIF89a");
  stream.seekg(3);
  Msg.AddAttachmentStream(stream, "logo.gif", "", false);
  EXPECT_EQ(Msg.EncodedBody, "R0lGODlh\r\n");
}
