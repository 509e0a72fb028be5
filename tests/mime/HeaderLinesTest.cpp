#include "mime/HeaderLines.h"
#include "mime/TMailPart.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(HeaderLines, FindLineByPrefixIgnoringCaseAndCountingOccurrences) {
  const std::vector<std::string> lines = {"Content-Type: text/plain", "To: <a@b>", "content-length: 4",
                                          "TO: <c@d>"};
  EXPECT_EQ(FindHeaderLine(lines, "to:"), 1);
  EXPECT_EQ(FindHeaderLine(lines, "To:", 1), 3);
  EXPECT_EQ(FindHeaderLine(lines, "To:", 2), -1);
  EXPECT_EQ(FindHeaderLine(lines, "Content-"), 0);
  EXPECT_EQ(FindHeaderLine(lines, "Content-", 1), 2);
  EXPECT_EQ(FindHeaderLine(lines, "Cc:"), -1);
}

TEST(HeaderLines, ValueAndParametersRespectQuotes) {
  const std::string line = "Content-Type: text/html; charset=\"iso-8859-1\"";
  EXPECT_EQ(HeaderLineValue(line), "text/html");
  EXPECT_EQ(HeaderLineParam(line, "charset"), "iso-8859-1");
  EXPECT_EQ(HeaderLineParam(line, " CHARSET "), "iso-8859-1");
  EXPECT_EQ(HeaderLineParam(line, "name"), "");

  const std::string quoted = "X-Vezi2000-Attachment: \"a:b;c.txt\"; embedded=no";
  EXPECT_EQ(HeaderLineValue(quoted), "a:b;c.txt");
  EXPECT_EQ(HeaderLineParam(quoted, "embedded"), "no");
  const std::string inName = "Content-Type: application/pdf; name=\"x;y=z.pdf\"; q=1";
  EXPECT_EQ(HeaderLineParam(inName, "name"), "x;y=z.pdf");
  EXPECT_EQ(HeaderLineParam(inName, "q"), "1");
  EXPECT_EQ(HeaderLineParam(inName, "y"), "");
  EXPECT_EQ(HeaderLineValue("Subject:   Hallo  "), "Hallo");
  EXPECT_EQ(HeaderLineValue("no colon"), "");
}

TEST(HeaderLines, ReplacingTheValueKeepsTheParameters) {
  EXPECT_EQ(ReplaceHeaderLineValue("Content-Type: text/html; charset=\"iso-8859-1\"", "multipart/alternative"),
            "Content-Type: multipart/alternative; charset=\"iso-8859-1\"");
  EXPECT_EQ(ReplaceHeaderLineValue("Content-Type: text/html; charset=\"iso-8859-1\"", "text/plain"),
            "Content-Type: text/plain; charset=\"iso-8859-1\"");
  EXPECT_EQ(ReplaceHeaderLineValue("Subject: ", " Neu "), "Subject: Neu");
  EXPECT_EQ(ReplaceHeaderLineValue("X: \"a;b\"; p=1", "c"), "X: c; p=1");
}

TEST(HeaderLines, SettingAParameterAppendsOnceThenReplacesInPlace) {
  std::string line = "Content-Type: multipart/mixed";
  line = ReplaceHeaderLineParam(line, "boundary", "\"b1_mixed\"");
  EXPECT_EQ(line, "Content-Type: multipart/mixed; boundary=\"b1_mixed\"");
  line = ReplaceHeaderLineParam(line, "boundary", "\"b2_mixed\"");
  EXPECT_EQ(line, "Content-Type: multipart/mixed; boundary=\"b2_mixed\"");
  line = ReplaceHeaderLineParam(line, "charset", "x");
  EXPECT_EQ(line, "Content-Type: multipart/mixed; boundary=\"b2_mixed\"; charset=x");
  EXPECT_EQ(ReplaceHeaderLineParam(line, "BOUNDARY", "\"q;r\""),
            "Content-Type: multipart/mixed; boundary=\"q;r\"; charset=x");
}

TEST(HeaderLines, SafeFileNameReplacesWhatFileSystemsRefuse) {
  EXPECT_EQ(SafeFileName("  a'b:c\\d/e*f?g\"h<i>j|k\x01l\x1Fm.txt "), "a_b_c_d_e_f_g_h_i_j_k_l_m.txt");
  EXPECT_EQ(SafeFileName(std::string(300, 'n')), std::string(254, 'n'));
  EXPECT_EQ(SafeFileName("Gr\xFC\xDF" "e.pdf"), "Gr\xFC\xDF" "e.pdf");
}

TEST(MailPartHeader, EmptyValueRemovesOnlyTheFirstLine) {
  TMailPart part;
  part.SetHeaderValue("Subject", "");
  EXPECT_TRUE(part.Header.empty());
  part.Header = {"From: <a@b>", "Subject: eins", "Subject: zwei", "To: <c@d>"};
  part.SetHeaderValue("subject", "");
  EXPECT_EQ(part.Header, (std::vector<std::string>{"From: <a@b>", "Subject: zwei", "To: <c@d>"}));
}

TEST(MailPartHeader, LinesKeepTheirPlaceAndReturnAtTheEndAfterRemoval) {
  TMailPart part;
  part.SetHeaderValue("From", "<a@b>");
  part.SetHeaderValue("Subject", "eins");
  part.SetHeaderValue("To", "<c@d>");
  part.SetHeaderValue("SUBJECT", "zwei");
  EXPECT_EQ(part.Header, (std::vector<std::string>{"From: <a@b>", "Subject: zwei", "To: <c@d>"}));
  part.SetHeaderValue("Subject", "");
  part.SetHeaderValue("Subject", "drei");
  EXPECT_EQ(part.Header, (std::vector<std::string>{"From: <a@b>", "To: <c@d>", "Subject: drei"}));
  EXPECT_EQ(part.HeaderText(), "From: <a@b>\r\nTo: <c@d>\r\nSubject: drei\r\n");
  EXPECT_EQ(part.HeaderTextLength(), part.HeaderText().size());
}

TEST(MailPartHeader, ContentTypeChangeKeepsCharsetAndBoundaryIsSetOnce) {
  TMailPart part;
  part.SetHeaderValue("Content-Type", "text/html");
  part.SetHeaderParam("Content-Type", "charset", "\"iso-8859-1\"");
  part.SetHeaderValue("Content-Type", "text/plain");
  EXPECT_EQ(part.Header, (std::vector<std::string>{"Content-Type: text/plain; charset=\"iso-8859-1\""}));
  EXPECT_EQ(part.MediaType(), "text/plain");
  EXPECT_EQ(part.HeaderParam("content-type", "Charset"), "iso-8859-1");
  EXPECT_TRUE(part.HasHeaderParam("Content-Type", "charset"));
  EXPECT_FALSE(part.HasHeaderParam("Content-Type", "boundary"));

  TMailPart container;
  container.SetHeaderValue("Content-Type", "Multipart/Mixed");
  container.SetHeaderParam("Content-Type", "boundary", "\"boundary00000001_mixed\"");
  container.SetHeaderParam("Content-Type", "boundary", "\"boundary00000002_mixed\"");
  EXPECT_EQ(container.Header,
            (std::vector<std::string>{"Content-Type: Multipart/Mixed; boundary=\"boundary00000002_mixed\""}));
  EXPECT_EQ(container.BoundaryParam(), "boundary00000002_mixed");
  EXPECT_EQ(container.MediaType(), "multipart/mixed");
  // A parameter on a missing line creates the line.
  TMailPart bare;
  bare.SetHeaderParam("Content-Disposition", "filename", "\"a.pdf\"");
  bare.SetHeaderValue("Content-Disposition", "attachment");
  EXPECT_EQ(bare.Header, (std::vector<std::string>{"Content-Disposition: attachment; filename=\"a.pdf\""}));
}

TEST(MailPartHeader, ValuesLoseOneLayerOfQuotes) {
  TMailPart part;
  part.Header = {"A: 'abc'", "B: \"abc\"", "C: ''", "D: \"'x'\"", "E:   spaced  "};
  EXPECT_EQ(part.HeaderValue("A"), "abc");
  EXPECT_EQ(part.HeaderValue("B"), "abc");
  EXPECT_EQ(part.HeaderValue("C"), "''");
  EXPECT_EQ(part.HeaderValue("D"), "x");
  EXPECT_EQ(part.HeaderValue("E"), "spaced");
  EXPECT_EQ(part.HeaderValue("F"), "");
  EXPECT_TRUE(part.HasHeader("e"));
  EXPECT_FALSE(part.HasHeader("F"));
}

// A value with CR LF once let a recipient address add a Bcc line of its own.
TEST(MailPartHeader, LineBreaksInValuesCannotInjectHeaderLines) {
  TMailPart part;
  part.SetHeaderValue("To", "<a@b>\r\nBcc: victim@example.org");
  part.SetHeaderParam("Content-Type", "name", "\"x.pdf\"\nX-Evil: 1");
  part.SetHeaderValue("Subject", "eins\rzwei");
  ASSERT_EQ(part.Header.size(), 3u);
  EXPECT_EQ(part.Header[0], "To: <a@b>  Bcc: victim@example.org");
  EXPECT_EQ(part.Header[2], "Subject: eins zwei");
  for (const std::string& line : part.Header) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  EXPECT_EQ(part.HeaderText().find("\r\nBcc"), std::string::npos);
}

TEST(MailPartHeader, LineAfterAGivenLabel) {
  TMailPart part;
  part.SetHeaderValue("From", "<a@b>");
  part.SetHeaderValue("Date", "Tue, 08 Dec 2026 02:00:33 +0100");
  part.SetHeaderValue("To", "<c@d>");
  part.SetHeaderValueAfter("Message-ID", "<1@b>", "Date");
  part.SetHeaderValueAfter("Message-ID", "<2@b>", "From"); // an existing line keeps its place
  part.SetHeaderValueAfter("X-Extra", "1", "Missing");
  EXPECT_EQ(part.Header, (std::vector<std::string>{"From: <a@b>", "Date: Tue, 08 Dec 2026 02:00:33 +0100",
                                                   "Message-ID: <2@b>", "To: <c@d>", "X-Extra: 1"}));
}

TEST(MailPartName, AttachmentNameFromTheFirstNamingHeader) {
  TMailPart vezi;
  vezi.Header = {"Content-Type: text/plain; name=\"other.txt\"", "X-Vezi2000-Attachment: \"a'b.txt\"; embedded=no"};
  EXPECT_EQ(vezi.AttachmentName(), "a_b.txt");

  TMailPart typed;
  typed.Header = {"Content-Type: image/gif"};
  EXPECT_EQ(typed.AttachmentName(), "image_gif.gif");

  TMailPart named;
  named.Header = {"Content-Type: application/pdf; name=\"=?iso-8859-1?Q?Preis=20Liste?=\""};
  EXPECT_EQ(named.AttachmentName(), "Preis Liste.pdf");

  TMailPart disposition;
  disposition.Header = {"Content-Disposition: attachment; filename=\"brief.txt\""};
  EXPECT_EQ(disposition.AttachmentName(), "brief.txt");

  TMailPart location;
  location.Header = {"Content-Location: http://127.0.0.1/bild.png"};
  EXPECT_EQ(location.AttachmentName(), "http___127.0.0.1_bild.png");

  TMailPart nothing;
  EXPECT_EQ(nothing.AttachmentName(), "unknown");
}

TEST(MailPartBody, DecodeByTransferEncodingOnce) {
  TMailPart base64;
  base64.Header = {"Content-Transfer-Encoding: BASE64"};
  base64.EncodedBody = "  SGFs\r\nbG8g\r\nV2VsdA==\r\n";
  EXPECT_TRUE(base64.DecodeBody());
  EXPECT_EQ(base64.DecodedBody, "Hallo Welt");
  base64.EncodedBody = "QUJD\r\n";
  base64.DecodeBody(); // already decoded: nothing happens
  EXPECT_EQ(base64.DecodedBody, "Hallo Welt");

  TMailPart qp;
  qp.Header = {"Content-Transfer-Encoding: quoted-printable"};
  qp.EncodedBody = "Gr=FC=DFe=\r\n aus=3D\r\n";
  qp.DecodeBody();
  EXPECT_EQ(qp.DecodedBody, "Gr\xFC\xDF" "e aus=\r\n");

  TMailPart uu;
  uu.Header = {"Content-Type: text/plain", "Content-Transfer-Encoding: x-uuencode"};
  uu.EncodedBody = "begin 644 cat.txt\r\n#0V%T\r\n`\r\nend\r\n";
  uu.DecodeBody();
  EXPECT_EQ(uu.DecodedBody, "Cat");
  // A uuencoded body is re-encoded as base64.
  EXPECT_EQ(uu.EncodedBody, "Q2F0\r\n");
  EXPECT_EQ(uu.HeaderValue("Content-Transfer-Encoding"), "base64");

  TMailPart plain;
  plain.EncodedBody = "as is =41";
  plain.DecodeBody();
  EXPECT_EQ(plain.DecodedBody, "as is =41");
}

TEST(MailPartBody, EncodeSetsOrRemovesTheTransferEncoding) {
  TMailPart part;
  part.DecodedBody = "a=b";
  part.EncodeBody(etQuotedPrintable);
  EXPECT_EQ(part.EncodedBody, "a=3Db\r\n");
  EXPECT_EQ(part.Header, (std::vector<std::string>{"Content-Transfer-Encoding: quoted-printable"}));
  part.EncodeBody(etBase64);
  EXPECT_EQ(part.EncodedBody, "YT1i\r\n");
  EXPECT_EQ(part.Header, (std::vector<std::string>{"Content-Transfer-Encoding: base64"}));
  part.EncodeBody(etNoEncoding);
  EXPECT_EQ(part.EncodedBody, "a=b");
  EXPECT_TRUE(part.Header.empty());
  part.DecodedBody.clear();
  part.EncodeBody(etQuotedPrintable);
  EXPECT_EQ(part.EncodedBody, "");
}
